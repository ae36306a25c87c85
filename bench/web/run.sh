#!/usr/bin/env bash
# The browser viewer's figures: decoding the recorded corpus streams
# natively (Release build) and in the WebAssembly module under node, and a
# 1920 x 1080 full frame decoded and painted in headless chromium.
#
#   bench/web/run.sh [ROUNDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
rounds=${1:-20}
release=${ZK_BENCH_BUILD:-build/bench-release}
cmake -S . -B "$release" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C "$release" -j2 zk_web_streams zk_web_replay >/dev/null
emcmake cmake -S . -B build/wasm -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null 2>&1
ninja -C build/wasm -j2 >/dev/null
streams="$release/bench-web"
mkdir -p "$streams"
"$release/tests/web/zk_web_streams" "$(cd ../shared/corpus && pwd)" "$streams"
for name in scroll mixed; do
  echo "== $name.link ($(stat -c %s "$streams/$name.link") bytes)"
  "$release/bench/web/zk_web_replay" "$streams/$name.link" "$rounds"
  node bench/web/decode.mjs "$root/build/wasm/web" "$streams/$name.link" "$rounds"
done
echo "== the page"
ZK_WASM_DIR="$root/build/wasm/web" ZK_WEB_STREAMS="$streams" node bench/web/paint.mjs "$streams"
