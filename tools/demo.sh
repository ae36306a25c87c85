#!/usr/bin/env bash
# The main job: under Wine on a virtual display, a presenter (zkhost present)
# shares an area of the screen where real content plays (pictures and
# sequences from the screen corpus, changing over time), and a viewer
# (zkhost view) beside it shows what it receives over TCP. At the end it
# prints the figures (updates and bytes sent, compression ratio, time from a
# change to the viewer showing it, how closely the viewer matches) and saves
# PNGs of the presenter's shared area and of the viewer's window.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/tools/setup.sh"

build=${ZK_BUILD_DIR:-$root/build/win32}
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C "$build" ZK ZKHooks zkhost zkcontent >/dev/null

out="$root/out/demo"
mkdir -p "$out"
rm -f "$out"/*.png "$out"/*.txt "$out/ZK.ini"
corpus=$(cd "$root/../shared/corpus" && pwd)

# Presenter's area and viewer's window side by side on the 1280 x 1024
# display, never overlapping: the presenter must not capture its viewer.
"$root/tools/wine-session.sh" bash -c '
  out=$1; bin=$2; corpus=$(winepath -w "$3"); save=$(winepath -w "$1")
  cd "$out"   # both sessions read .\ZK.ini from here
  wine "$bin/zkhost.exe" present --port 5905 --rect 0,0,624,600 --desktop > present.txt 2>&1 &
  presenter=$!
  wine "$bin/zkhost.exe" view --connect 127.0.0.1:5905 --at 648,0 > view.txt 2>&1 &
  viewer=$!
  wine "$bin/zkcontent.exe" --rect 0,0,624,600 --watch 648,0 --corpus "$corpus" \
    --save "$save" > content.txt 2>&1 || echo "zkcontent failed" >> content.txt
  # How often the presenter looked and sent: the default profile of zkhost.
  wine "$bin/zkhost.exe" send present-5905 profile > profile.txt 2>&1 || true
  wine "$bin/zkhost.exe" stop --port 5905 || true
  wait $presenter $viewer || true' bash "$out" "$build/bin" "$corpus"

echo "== presenter (zkhost present)"
grep -v '^figures' "$out/present.txt" || true
echo "profile: $(tr -d '\r' < "$out/profile.txt")"
echo "== viewer (zkhost view)"
grep -v '^figures' "$out/view.txt" || true
echo "== content and what the viewer showed (zkcontent)"
grep -E '^(latency|match)' "$out/content.txt" || cat "$out/content.txt"
echo
echo "Presenter's shared area: $out/presenter.png"
echo "Viewer's window:         $out/viewer.png"
echo "Logs: $out/present.txt $out/view.txt $out/content.txt"
[ -f "$out/presenter.png" ] && [ -f "$out/viewer.png" ]
