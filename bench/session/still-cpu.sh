#!/usr/bin/env bash
# What a presenter's CPU on a still screen is made of: zkhost present shares
# zkcontent's first picture (1920 x 1080, held still) with the live profile's
# settings, then without the whole-area poll, then also with the ticks slowed
# to one a second; each for SECONDS (default 20), its CPU and wineserver's
# read from /proc. No viewer is connected.
#   still-cpu.sh [SECONDS]
# Build folder: ZK_BUILD_DIR (Win32, default build/win32).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
"$root/tools/setup.sh"
win32=${ZK_BUILD_DIR:-$root/build/win32}
cmake -S "$root" -B "$win32" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C "$win32" -j2 ZK ZKHooks zkhost zkcontent >/dev/null
corpus=$(cd "$root/../shared/corpus" && pwd)
export WINEPREFIX="${WINEPREFIX:-$root/build/wine}" WINEARCH=win32 WINEDEBUG="${WINEDEBUG:-fixme-all}"
"$root/tools/wine-session.sh" true

wineserver -k 2>/dev/null || true
xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" \
  bash "$root/bench/session/still-measure.sh" "$win32/bin" "$corpus" "${1:-20}" | tr -d '\r'
wineserver -k 2>/dev/null || true
