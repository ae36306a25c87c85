#!/bin/sh
# Runs a Win32 program under Wine with the project's prefix. ctest uses it as
# the cross-compiling emulator; tools/test.sh provides the display.
if [ -z "$DISPLAY" ]; then
  # Without a display CreateWindow fails and screen reads are black, silently.
  echo "wine-run.sh: DISPLAY is not set; run under Xvfb (see tools/test.sh)" >&2
  exit 2
fi
: "${WINEPREFIX:=$(cd "$(dirname "$0")/.." && pwd)/build/wine}"
export WINEPREFIX WINEARCH="${WINEARCH:-win32}"
export WINEDEBUG="${WINEDEBUG:-fixme-all}"
exec wine "$@"
