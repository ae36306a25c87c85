#!/bin/sh
# Builds zk_bench in Release (no sanitizers) and runs it. Arguments go to
# zk_bench (--corpus DIR, --json FILE, --lzmax N). The build folder can be
# chosen with ZK_BENCH_BUILD; it defaults to build/bench-release.
set -e
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${ZK_BENCH_BUILD:-$repo/build/bench-release}
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZK_SANITIZE=OFF -DZK_BENCH=ON >/dev/null
ninja -C "$build" -j2 zk_bench >/dev/null
exec "$build/bench/zk_bench" "$@"
