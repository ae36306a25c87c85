#!/usr/bin/env bash
# What each step of a session costs on the session benchmark's display
# (grab, compare, compress, paint, idle worker), measured by zk_stage_costs
# under Wine while zkcontent shows the first picture of the corpus in the
# 1920 x 1080 area:
#   stage-costs.sh [CALLS]   (calls per figure, default 100)
# Build folder: ZK_BUILD_DIR (Win32, default build/win32).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
"$root/tools/setup.sh"
win32=${ZK_BUILD_DIR:-$root/build/win32}
cmake -S "$root" -B "$win32" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C "$win32" -j2 zk_stage_costs zkcontent >/dev/null
corpus=$(cd "$root/../shared/corpus" && pwd)
export WINEPREFIX="${WINEPREFIX:-$root/build/wine}" WINEARCH=win32 WINEDEBUG="${WINEDEBUG:-fixme-all}"
"$root/tools/wine-session.sh" true

wineserver -k 2>/dev/null || true
xvfb-run -a -s "-screen 0 3860x1100x24 -nolisten tcp" \
  bash "$root/bench/session/stage-measure.sh" "$win32/bin" "$corpus" "${1:-100}" | tr -d '\r'
wineserver -k 2>/dev/null || true
