#!/usr/bin/env bash
# Runs a Win32 test program in a 64-bit Wine prefix (build/wine64), where the
# 32-bit library and zkhost run under WoW64 beside 64-bit programs, on a
# display of its own: tests/wide-desktop.sh TEST.exe [ARGUMENTS...]
# Exits 77 (ctest: skipped) on a machine without the 64-bit Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ ! -x /usr/lib/wine/wine64 ] && ! command -v wine64 >/dev/null; then
  echo "wide-desktop.sh: no 64-bit Wine (tools/setup.sh installs wine64): skipped"
  exit 77
fi
export WINEPREFIX="${ZK_WINE64_PREFIX:-$root/build/wine64}" WINEARCH=win64
exec "$root/tools/wine-session.sh" "$root/cmake/wine-run.sh" "$@"
