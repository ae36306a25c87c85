#!/usr/bin/env bash
# Runs a command on a fresh 24-bit virtual display with the project's Wine
# prefix ready: tools/wine-session.sh COMMAND [ARGS...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$root/build/wine}" WINEARCH=win32
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

exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" bash -c '
  # Start Wine'"'"'s services before the command, so that they do not inherit
  # (and hold open) the pipes of whoever reads its output.
  wineserver -p; wineboot >/dev/null 2>&1
  rc=0; "$@" || rc=$?
  wineserver -k; exit $rc' bash "$@"
