#!/usr/bin/env bash
# What a presenter's capture costs the other programs on its desktop: the
# probe (HookProbe.cpp), 32-bit and 64-bit, times posted messages, sent
# messages and paints, three runs without a presenter and three while
# `zkhost present --desktop` captures with its frame over the probe's window;
# prints the medians and their ratios; and the 32-bit probe with hooks of its
# own, of the two kinds a presenter sets on its threads, from a library that
# only passes each call on (PassOnHooks.cpp): the system's floor for them. Runs in a 64-bit Wine prefix of its own
# (build/wine64, where both kinds of program run) on a private display.
# Needs the cross build (build/win32, or ZK_WIN32_BUILD) with zkhost.
#   bench/hooks/run.sh [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
runs=${1:-3}
bin=${ZK_WIN32_BUILD:-$root/build/win32}/bin
out=$root/build/hooks-probe
[ -f "$bin/zkhost.exe" ] || { echo "run.sh: no $bin/zkhost.exe: build the cross build first" >&2; exit 1; }

# The probe needs no library of ours: a plain compile each, redone only when
# the source changed.
mkdir -p "$out"
build_probe() {  # compiler output
  [ "$2" -nt "$root/bench/hooks/HookProbe.cpp" ] ||
    "$1" -O2 -Wall -static -o "$2" "$root/bench/hooks/HookProbe.cpp" -lgdi32 -luser32
}
build_probe i686-w64-mingw32-g++-posix "$out/probe32.exe"
[ "$out/PassOnHooks.dll" -nt "$root/bench/hooks/PassOnHooks.cpp" ] ||
  i686-w64-mingw32-g++-posix -O2 -Wall -shared -static -Wl,--kill-at -o "$out/PassOnHooks.dll" \
    "$root/bench/hooks/PassOnHooks.cpp" -luser32
build_probe x86_64-w64-mingw32-g++-posix "$out/probe64.exe"

# The rounds run on a private display in the 64-bit prefix, which
# wine-session.sh makes ready; this script calls itself there.
if [ -z "${ZK_HOOKS_BENCH_DISPLAY:-}" ]; then
  command -v wine64 >/dev/null || [ -x /usr/lib/wine/wine64 ] ||
    { echo "run.sh: the 64-bit Wine (wine64) is missing: tools/setup.sh installs it" >&2; exit 1; }
  export WINEPREFIX=${ZK_WINE64_PREFIX:-$root/build/wine64} WINEARCH=win64 ZK_HOOKS_BENCH_DISPLAY=1
  exec "$root/tools/wine-session.sh" bash "$0" "$@"
fi

presenter_log=$(mktemp)
presenter=""
cleanup() {
  [ -n "$presenter" ] && kill "$presenter" 2>/dev/null
  rm -f "$presenter_log"
}
trap cleanup EXIT

median() { printf '%s\n' "$@" | sort -g | sed -n "$((($# + 1) / 2))p"; }

# Each run's figures, by probe and by case: "posted sent paints" lines.
declare -A figures
measure() {  # probe case [probe argument]
  figures[$1,$2]+="$(cd "$out" && wine "$1" 200 200 ${3:-} </dev/null)"$'\n'
}

# Prints the medians (posted sent paints) of one probe's runs in a case.
medians() {  # probe case
  local column
  for column in 1 2 3; do
    median $(awk -v c=$column 'NF == 3 { print $c }' <<<"${figures[$1,$2]}")
  done | { read -r posted; read -r sent; read -r paints; echo "$posted $sent $paints"; }
}

start_presenter() {
  (cd "$bin" && exec wine zkhost.exe present --port 0 --desktop --rect 100,100,640,480 \
     </dev/null >"$presenter_log" 2>&1) &
  presenter=$!
  for _ in $(seq 100); do
    grep -q 'presenting .* on port' "$presenter_log" && break
    sleep 0.2
  done
  grep -q 'presenting .* on port' "$presenter_log" ||
    { echo "run.sh: the presenter did not start:" >&2; cat "$presenter_log" >&2; exit 1; }
  # The frame is placed 200 ms after the start, and capture (with its hooks)
  # begins once it is shown.
  sleep 3
}

stop_presenter() {
  local port
  port=$(grep -o 'on port [0-9]*' "$presenter_log" | head -1 | grep -o '[0-9]*$')
  (cd "$bin" && wine zkhost.exe stop --port "$port" </dev/null >/dev/null 2>&1) || true
  wait "$presenter" 2>/dev/null || true
  presenter=""
}

# Without and with take turns, so that the load of the machine, which moves
# while the runs go on, weighs on both alike.
load=()
for _ in $(seq "$runs"); do
  for bits in 32 64; do measure "probe$bits.exe" without; done
  measure probe32.exe bare bare-hooks
  start_presenter
  for bits in 32 64; do measure "probe$bits.exe" with; done
  stop_presenter
  load+=("$(cut -d' ' -f1 /proc/loadavg)")
done

echo "load average (1 min) after each round: ${load[*]}   (medians of $runs runs, ms)"
printf '%-7s | %-26s | %-26s | %-26s\n' probe "20000 posted: without/with" \
  "5000 sent: without/with" "2000 paints: without/with"
for bits in 32 64; do
  read -r p0 s0 d0 <<<"$(medians "probe$bits.exe" without)"
  read -r p1 s1 d1 <<<"$(medians "probe$bits.exe" with)"
  ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1fx", b / a }'; }
  # A send to itself costs almost nothing without hooks: what one costs more
  # says more than a ratio.
  per_send() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%+.3f ms each", (b - a) / 5000 }'; }
  printf '%-7s | %8s / %8s  %6s | %7s / %7s  %s | %8s / %8s  %6s\n' "$bits-bit" \
    "$p0" "$p1" "$(ratio "$p0" "$p1")" "$s0" "$s1" "$(per_send "$s0" "$s1")" \
    "$d0" "$d1" "$(ratio "$d0" "$d1")"
done
read -r p0 s0 d0 <<<"$(medians probe32.exe without)"
read -r p1 s1 d1 <<<"$(medians probe32.exe bare)"
printf '%-7s | %8s / %8s  %6s | %7s / %7s  %s | %8s / %8s  %6s   (no presenter: pass-on hooks of its own)\n' \
  "32-bit" "$p0" "$p1" "$(ratio "$p0" "$p1")" "$s0" "$s1" "$(per_send "$s0" "$s1")" \
  "$d0" "$d1" "$(ratio "$d0" "$d1")"
