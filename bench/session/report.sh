#!/usr/bin/env bash
# Prints the session benchmark's table from the samples phases.sh wrote:
#   report.sh OUT
set -euo pipefail
out=$1
# From two samples (phase time cpu wineserver-cpu bytes) of one side: seconds,
# CPU per second of the sharing process, of wineserver, and bytes per second.
rates() {
  awk -v from="$2" -v to="$3" '
    $1 == from { t0 = $2; c0 = $3; w0 = $4; b0 = $5 }
    $1 == to   { t1 = $2; c1 = $3; w1 = $4; b1 = $5 }
    END { d = t1 - t0; if (d <= 0) d = 1;
          printf "%.1f %.4f %.3f %.0f\n", d, (c1 - c0) / d, (w1 - w0) / d, (b1 - b0) / d }' "$1"
}
for side in zk zkplain vnc; do
  [ -s "$out/$side-samples.txt" ] || { echo "no samples for $side: see $out"; exit 1; }
  read -r ${side}_still_s ${side}_still_cpu ${side}_still_ws ${side}_still_bps < <(rates "$out/$side-samples.txt" still changing)
  read -r ${side}_change_s ${side}_change_cpu ${side}_change_ws ${side}_change_bps < <(rates "$out/$side-samples.txt" changing end)
done
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "-" }'; }
# Change on screen to the viewer's paint, on both sides as zkcontent saw the
# viewer's window show it; the VNC side's also to the framebuffer update that
# completed it, as the byte counter received it (sent, not yet painted).
zk_latency=$(grep '^figures latency' "$out/zk-content.txt" | tail -1 || true)
zkplain_latency=$(grep '^figures latency' "$out/zkplain-content.txt" | tail -1 || true)
vnc_latency=$(grep '^figures latency' "$out/vnc-content.txt" | tail -1 || true)
vnc_sent=$(python3 "$(dirname "$0")/update_latency.py" "$out/vnc-content.txt" "$out/rfb.txt" || true)
figure() { echo "$1" | sed -n "s/.*$2=\([0-9]*\).*/\1/p"; }
match() { sed -n 's/^figures match_share=\([0-9.]*\).*/\1/p' "$1" | tail -1; }

printf '\nSession benchmark: 1920 x 1080 shared area, the default profile of zkhost, Xvfb 24-bit under Wine\n'
printf '%-40s %12s %12s %16s %10s\n' "" "ZK (TLS)" "ZK (plain)" "VNC (X0tigervnc)" "VNC / ZK"
row() { printf '%-40s %12s %12s %16s %10s\n' "$1" "$2" "$3" "$4" "$(ratio "$4" "$2")"; }
row "CPU s per s, screen still ($zk_still_s s)" "$zk_still_cpu" "$zkplain_still_cpu" "$vnc_still_cpu"
row "CPU s per s, sequences playing" "$zk_change_cpu" "$zkplain_change_cpu" "$vnc_change_cpu"
row "bytes per s, screen still" "$zk_still_bps" "$zkplain_still_bps" "$vnc_still_bps"
row "bytes per s, sequences playing" "$zk_change_bps" "$zkplain_change_bps" "$vnc_change_bps"
row "change to paint, median ms" "$(figure "$zk_latency" latency_median_ms)" \
  "$(figure "$zkplain_latency" latency_median_ms)" "$(figure "$vnc_latency" latency_median_ms)"
row "change to paint, max ms" "$(figure "$zk_latency" latency_max_ms)" \
  "$(figure "$zkplain_latency" latency_max_ms)" "$(figure "$vnc_latency" latency_max_ms)"
printf '%-40s %12s %12s %16s\n' "change to send, median / max ms" "-" "-" \
  "$(figure "$vnc_sent" latency_median_ms) / $(figure "$vnc_sent" latency_max_ms)"
printf '%-40s %12s %12s %16s\n' "changes shown / missed" \
  "$(figure "$zk_latency" changes_shown)/$(figure "$zk_latency" changes_missed)" \
  "$(figure "$zkplain_latency" changes_shown)/$(figure "$zkplain_latency" changes_missed)" \
  "$(figure "$vnc_latency" changes_shown)/$(figure "$vnc_latency" changes_missed)"
printf '%-40s %12s %12s %16s\n' "final match, share of pixels" \
  "$(match "$out/zk-content.txt")" "$(match "$out/zkplain-content.txt")" "$(match "$out/vnc-content.txt")"
printf '%-40s %12s %12s %16s\n' "wineserver CPU s per s (still/playing)" "$zk_still_ws/$zk_change_ws" \
  "$zkplain_still_ws/$zkplain_change_ws" "$vnc_still_ws/$vnc_change_ws"
echo
echo "ZK (TLS) is the link as viewers have it; ZK (plain) the same session through the"
echo "presenter's bridge port on 127.0.0.1, without TLS: the difference is what encryption costs."
echo "ZK, change on screen to the viewer's paint: ${zk_latency#figures }"
echo "VNC, change on screen to the viewer's paint: ${vnc_latency#figures }"
echo "VNC, change on screen to the update that completes it: ${vnc_sent#figures }"
echo "CPU: the sharing process alone (zkhost present; X0tigervnc). wineserver serves every"
echo "Wine program of the run, the content player and the viewer included. VNC's bytes"
echo "are the byte counter's (16-bit pixels); X0tigervnc serves it and TigerVNC's viewer"
echo "at once, so its CPU includes encoding for both."
echo "Logs and samples: $out"
