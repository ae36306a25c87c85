#!/bin/sh
# Runs every fuzz target built in a fuzz tree for a fixed time each, over a
# copy of its seed corpus (the checked-in corpus stays as it is).
#   fuzz/run.sh <fuzz-build-dir> <seconds-per-target>
# Exits non-zero when a target finds a crash; the input is left in the
# printed findings folder, to be added to fuzz/regressions/<name>/ with the fix.
set -u
if [ $# -ne 2 ]; then
  echo "usage: $0 <fuzz-build-dir> <seconds-per-target>" >&2
  exit 2
fi
build=$1
seconds=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/zk-fuzz.XXXXXX")
status=0
found=0
for target in "$build"/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target" | sed 's/^fuzz_//')
  case "$name" in replay_*) continue ;; esac  # the replay tests, not fuzzers
  found=1
  corpus="$work/$name/corpus"
  findings="$work/$name/findings"
  mkdir -p "$corpus" "$findings"
  if [ -d "$here/corpus/$name" ]; then cp "$here/corpus/$name"/* "$corpus"/ 2>/dev/null; fi
  if [ -d "$here/regressions/$name" ]; then cp "$here/regressions/$name"/* "$corpus"/ 2>/dev/null; fi
  echo "== $name: $seconds s"
  if ! "$target" -max_total_time="$seconds" -print_final_stats=1 \
       -artifact_prefix="$findings/" "$corpus" > "$work/$name/log" 2>&1; then
    echo "!! $name found a crash: $findings" >&2
    tail -40 "$work/$name/log" >&2
    status=1
  fi
  grep -E '^stat::number_of_executed_units' "$work/$name/log" | sed "s/^/   /"
done
if [ "$found" -eq 0 ]; then
  echo "no fuzz targets in $build/fuzz (configure with -DZK_FUZZ=ON)" >&2
  exit 2
fi
[ "$status" -eq 0 ] && rm -rf "$work"
exit $status
