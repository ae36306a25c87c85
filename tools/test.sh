#!/usr/bin/env bash
# Builds the trees and runs every test: the browser viewer's WebAssembly
# module, the portable core natively under AddressSanitizer and UBSan (the
# browser viewer's tests with it), the Win32 library and its tests under
# Wine on a virtual display, and (when CI=true or ZK_FUZZ_SECONDS is set) a short
# time-boxed fuzzing run.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/tools/setup.sh" || exit 1

jobs=$(nproc)
failed=()
step() { echo; echo "=== $*"; }

# The browser viewer's module: its tests run with the native ones (tests/web).
step "WebAssembly build (the browser viewer)"
wasm=""
if emcmake cmake -S . -B build/wasm -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null &&
   ninja -C build/wasm -j"$jobs"; then
  wasm="$root/build/wasm/web"
else
  failed+=(wasm-build)
fi

# Both trees are built before any test runs: some native tests (the Linux
# viewer's end to end) run the Win32 presenter under Wine, and skip without it.
step "native build (ASan, UBSan)"
native_built=false
if cmake -S . -B build/native -G Ninja -DZK_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
     -DZK_WASM_DIR="$wasm" >/dev/null &&
   ninja -C build/native -j"$jobs"; then
  native_built=true
else
  failed+=(native-build)
fi

step "cross build (mingw-w64 i686)"
win32_built=false
if mbedtls=$("$root/tools/mbedtls.sh") &&
   cmake -S . -B build/win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
     -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZK_MBEDTLS_I686="$mbedtls" -DZK_WASM_DIR="$wasm" >/dev/null &&
   ninja -C build/win32 -j"$jobs"; then
  win32_built=true
else
  failed+=(win32-build)
fi

if $native_built; then
  step "native tests"
  ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build/native -j"$jobs" --output-on-failure --timeout 600 || failed+=(native)
fi

if $win32_built; then
  step "Win32 tests under Wine"
  "$root/tools/wine-session.sh" ctest --test-dir build/win32 -j"$jobs" --output-on-failure --timeout 300 || failed+=(win32)
fi

seconds=${ZK_FUZZ_SECONDS:-}
[ -z "$seconds" ] && [ "${CI:-}" = true ] && seconds=20
if [ -n "$seconds" ] && [ -x fuzz/run.sh ]; then
  step "fuzzing, $seconds s per target"
  if CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DZK_FUZZ=ON -DZK_BENCH=OFF \
       -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null && ninja -C build/fuzz -j"$jobs"; then
    fuzz/run.sh build/fuzz "$seconds" || failed+=(fuzz)
  else
    failed+=(fuzz-build)
  fi
fi

echo
if ((${#failed[@]})); then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "All test stages passed."
