#!/usr/bin/env bash
# The measurements of stage-costs.sh, on the virtual display it started:
#   stage-measure.sh WIN32_BIN CORPUS CALLS
set -uo pipefail
bin=$1 calls=$3
source "$(dirname "$0")/processes.sh"
source "$(dirname "$0")/display-frame.sh"
work=$(mktemp -d)
show_still_picture "$bin" "$2" 600 "$work/content.txt"
server=$(wineserver_pid)
wine "$bin/zk_stage_costs.exe" --rect 0,0,1920,1080 --repeat "$calls"

# The idle worker loop, measured from here: the process and wineserver.
for mode in sleep5 wait; do
  wine "$bin/zk_stage_costs.exe" --idle "$mode" --seconds 12 > "$work/idle.txt" &
  until grep -q start "$work/idle.txt" 2>/dev/null; do sleep 0.1; done
  pid=$(wine_pid "zk_stage_costs.exe --idle")
  c0=$(cpu_seconds "$pid") s0=$(cpu_seconds "$server")
  sleep 10
  c1=$(cpu_seconds "$pid") s1=$(cpu_seconds "$server")
  wait $!
  awk -v m="$mode" -v a="$c0" -v b="$c1" -v x="$s0" -v y="$s1" 'BEGIN {
    printf "idle worker loop (%s): %.1f ms CPU per s, wineserver %.1f ms per s\n", m, (b - a) * 100, (y - x) * 100
    printf "figures idle_%s_cpu_ms_per_s=%.1f idle_%s_wineserver_ms_per_s=%.1f\n", m, (b - a) * 100, m, (y - x) * 100 }'
done
wineserver -k
rm -rf "$work"
