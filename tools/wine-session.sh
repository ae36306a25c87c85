#!/usr/bin/env bash
# Runs a command on a fresh 24-bit virtual display with the project's Wine
# prefix ready: tools/wine-session.sh COMMAND [ARGS...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$root/build/wine}" WINEARCH="${WINEARCH:-win32}"
export WINEDEBUG="${WINEDEBUG:-fixme-all}"

# A wineserver left from another display breaks the next GUI run.
wineserver -k 2>/dev/null || true
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w
fi
# Without a window manager, every hide or destroy waits 2 s, and keys reach a
# window only while the pointer is over it, unless Wine manages the frames
# itself. Looked at on every run: a prefix once made without it ran the whole
# suite that way.
if ! grep -q '^"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  wineserver -w
  grep -q '^"Managed"="N"' "$WINEPREFIX/user.reg" ||
    { echo "wine-session.sh: could not set Wine's X11 Driver Managed=N in $WINEPREFIX" >&2; exit 1; }
fi

# The display is the X server's own choice of a free number (-displayfd), so
# that two runs on one machine never pick the same one.
ready=$(mktemp -u) log=$(mktemp)
mkfifo "$ready"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$ready" >"$log" 2>&1 &
xvfb=$!
# Wine goes with the display, however the command ends.
trap 'wineserver -k 2>/dev/null; kill $xvfb 2>/dev/null; rm -f "$ready" "$log"' EXIT
read -r number <"$ready" || true
[ -n "$number" ] || { echo "wine-session.sh: Xvfb did not start:" >&2; cat "$log" >&2; exit 1; }
export DISPLAY=":$number"

# Start Wine's services before the command, so that they do not inherit (and
# hold open) the pipes of whoever reads its output.
wineserver -p || true
wineboot >/dev/null 2>&1 || true
rc=0
"$@" || rc=$?
exit $rc
