#!/usr/bin/env bash
# What a presenter's CPU on a still screen is made of: zkhost present shares
# zkcontent's first picture (1920 x 1080, held still) with the live profile's
# settings, then without the whole-area poll, then also with the ticks slowed
# to one a second; each for SECONDS (default 20), its CPU and wineserver's
# read from /proc. No viewer is connected.
#   still-cpu.sh [SECONDS]
# Build folder: ZK_BUILD_DIR (Win32, default build/win32).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/bench/session/display-frame.sh"
run_on_bench_display "ZK ZKHooks zkhost zkcontent" 1920x1080 "$root/bench/session/still-measure.sh" "${1:-20}"
