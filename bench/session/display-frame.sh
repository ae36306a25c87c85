# Helpers of the measuring scripts beside this file (sourced): the frame
# each of them runs in.

# From outside: builds TARGETS of the cross build, readies the project's Wine
# prefix, and runs SCRIPT on a virtual display of SCREEN (W x H) with the
# build's bin folder, the corpus and ARGUMENT.
#   run_on_bench_display "TARGETS" SCREEN SCRIPT ARGUMENT
run_on_bench_display() {
  local root win32 corpus
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
  "$root/tools/setup.sh"
  win32=${ZK_BUILD_DIR:-$root/build/win32}
  cmake -S "$root" -B "$win32" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  # shellcheck disable=SC2086  # one word per target
  ninja -C "$win32" -j2 $1 >/dev/null
  corpus=$(cd "$root/../shared/corpus" && pwd)
  export WINEPREFIX="${WINEPREFIX:-$root/build/wine}" WINEARCH=win32 WINEDEBUG="${WINEDEBUG:-fixme-all}"
  "$root/tools/wine-session.sh" true

  wineserver -k 2>/dev/null || true
  xvfb-run -a -s "-screen 0 ${2}x24 -nolisten tcp" \
    bash "$3" "$win32/bin" "$corpus" "$4" | tr -d '\r'
  wineserver -k 2>/dev/null || true
}

# On the display: starts Wine's services and zkcontent holding the corpus's
# first picture still in the 1920 x 1080 area for IDLE seconds; returns once
# it is shown. zkcontent's output goes to LOG.
#   show_still_picture WIN32_BIN CORPUS IDLE LOG
show_still_picture() {
  wineserver -p
  wineboot >/dev/null 2>&1
  wine "$1/zkcontent.exe" --rect 0,0,1920,1080 --corpus "$(winepath -w "$2")" --idle "$3" \
    > "$4" 2>&1 &
  until grep -q '^phase still' "$4" 2>/dev/null; do sleep 0.2; done
}
