#!/usr/bin/env bash
# What each step of a session costs on the session benchmark's display
# (grab, compare, compress, paint, idle worker), measured by zk_stage_costs
# under Wine while zkcontent shows the first picture of the corpus in the
# 1920 x 1080 area:
#   stage-costs.sh [CALLS]   (calls per figure, default 100)
# Build folder: ZK_BUILD_DIR (Win32, default build/win32).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/bench/session/display-frame.sh"
run_on_bench_display "zk_stage_costs zkcontent" 3860x1100 "$root/bench/session/stage-measure.sh" "${1:-100}"
