#!/usr/bin/env bash
# Session benchmark, one run: a presenter (zkhost present, its default profile)
# shares a 1920 x 1080 area of a virtual display under Wine while the screen
# first stays still and then plays the corpus sequences; a viewer beside it
# shows what it receives. Measured: the presenter's CPU per second in both
# parts, bytes sent per second, and the time from a change on screen to the
# viewer's paint. Then the same content again, shared by a VNC server from
# Debian (X0tigervnc, the scraping server) to a byte-counting RFB client
# asking for 16-bit pixels: its CPU and bytes, as ratios to ours, and the
# time from each change to the framebuffer update that completes it.
#
# Build folders: ZK_BUILD_DIR (Win32, default build/win32) and ZK_BENCH_BUILD
# (native, default build/bench-release). Output: out/bench-session/.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
"$root/tools/setup.sh"
win32=${ZK_BUILD_DIR:-$root/build/win32}
native=${ZK_BENCH_BUILD:-$root/build/bench-release}
cmake -S "$root" -B "$win32" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C "$win32" -j2 ZK ZKHooks zkhost zkcontent >/dev/null
cmake -S "$root" -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZK_SANITIZE=OFF -DZK_BENCH=ON >/dev/null
ninja -C "$native" -j2 rfb_byte_counter >/dev/null

out="$root/out/bench-session"
rm -rf "$out"
mkdir -p "$out"
corpus=$(cd "$root/../shared/corpus" && pwd)
export WINEPREFIX="${WINEPREFIX:-$root/build/wine}" WINEARCH=win32 WINEDEBUG="${WINEDEBUG:-fixme-all}"
# A one-off command initialises the prefix on a fresh machine.
"$root/tools/wine-session.sh" true

wineserver -k 2>/dev/null || true
xvfb-run -a -s "-screen 0 3860x1100x24 -nolisten tcp" \
  bash "$root/bench/session/phases.sh" "$out" "$win32/bin" "$native/bench/session" "$corpus"
wineserver -k 2>/dev/null || true

bash "$root/bench/session/report.sh" "$out"
