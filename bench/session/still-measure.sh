#!/usr/bin/env bash
# The measurements of still-cpu.sh, on the virtual display it started:
#   still-measure.sh WIN32_BIN CORPUS SECONDS
set -uo pipefail
bin=$1 seconds=$3
source "$(dirname "$0")/processes.sh"
source "$(dirname "$0")/display-frame.sh"
work=$(mktemp -d)
cd "$work"
show_still_picture "$bin" "$2" 3600 content.txt
server=$(wineserver_pid)

# zkhost's live profile, written out as the library's settings so that each
# part can be left out.
live='PollProgressive=0
PollInterval=10000
UpdateInterval=200
InputUpdateInterval=50
ReportSendDelay=10
DispatchOnPost=1
PaintUpdatesAtOnce=1
InputTimerOnDemand=1'
measure() {
  local name=$1 settings=$2 pid c0 s0 c1 s1
  printf '[ZK]\n%s\n' "$settings" > ZK.ini
  wine "$bin/zkhost.exe" present --port 0 --profile library --desktop --rect 0,0,1920,1080 \
    --name still-cpu > present.txt 2>&1 &
  until grep -q '^invitation' present.txt 2>/dev/null; do sleep 0.2; done
  pid=$(wine_pid "zkhost.exe present")
  sleep 3  # the first look at the picture stays out
  c0=$(cpu_seconds "$pid") s0=$(cpu_seconds "$server")
  sleep "$seconds"
  c1=$(cpu_seconds "$pid") s1=$(cpu_seconds "$server")
  wine "$bin/zkhost.exe" send still-cpu stop > /dev/null
  wait $!
  awk -v n="$name" -v a="$c0" -v b="$c1" -v x="$s0" -v y="$s1" -v t="$seconds" 'BEGIN {
    printf "%-44s presenter %.2f %% of a core, wineserver %.2f %%\n", n, (b - a) * 100 / t, (y - x) * 100 / t }'
}
measure "live profile" "$live"
measure "without the whole-area poll" "$live
EnablePolling=0"
measure "without the poll, ticks every 1000 ms" "$(echo "$live" | sed 's/^\(Update\|InputUpdate\)Interval=.*/\1Interval=1000/')
EnablePolling=0"
kill %1 2>/dev/null
wineserver -k
rm -rf "$work"
