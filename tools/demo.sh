#!/usr/bin/env bash
# The main job: builds the Win32 library and the sample host, runs a session
# under Wine on a virtual display, and saves a screenshot of the display.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/tools/setup.sh"

cmake -S . -B build/win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build/win32 ZK ZKHooks zkhost >/dev/null

out="$root/out/demo"
mkdir -p "$out"
"$root/tools/wine-session.sh" bash -c '
  out=$1; host=$2
  wine "$host" local --rect 120,90,800,600 --seconds 4 > "$out/session.txt" 2>&1 &
  pid=$!
  sleep 2.5   # let the session window appear, then photograph the display
  import -window root "$out/screen.png"
  wait $pid' bash "$out" "$root/build/win32/bin/zkhost.exe"

cat "$out/session.txt"
echo "Screenshot of the virtual display: $out/screen.png"
