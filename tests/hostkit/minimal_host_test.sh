#!/usr/bin/env bash
# The example host as a host's developer builds it: ZK installed into a
# fresh prefix, the example configured on its own against it with
# find_package(ZK) and the strictest C flags, then run under Wine by the
# checker, which compares the viewer's picture with the presenter's.
#   minimal_host_test.sh BUILD_DIR TOOLCHAIN_FILE EXAMPLE_DIR EMULATOR CHECKER
set -euo pipefail
build=$1 toolchain=$2 example=$3 emulator=$4 checker=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null
cmake -S "$example" -B "$work/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_PREFIX_PATH="$work/prefix" -DCMAKE_C_FLAGS="-std=c99 -Wall -Wextra -pedantic -Werror" \
  >/dev/null
cmake --build "$work/build"

# No ZK.ini where it runs: the library's defaults. Wine shows / as Z:.
cd "$work"
ZK_MINIMAL_HOST="Z:$(tr / '\\' <<<"$work/build/minimal-host.exe")" "$emulator" "$checker"
