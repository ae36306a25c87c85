#!/usr/bin/env bash
# Fan-out benchmark: the presenter (zkhost present under Wine) shares the area
# where zkcontent plays the screen corpus to N zkview viewers (native), first
# over direct links (the presenter sends every event to every viewer, at most
# 64), then through one NATS server, then through a three-server cluster with
# the viewers spread over its members. Measured per run, over the play: the
# presenter's bytes sent per second and CPU, each server's CPU, and how many
# viewers end with the presenter's picture (zkview's PNG against a grab of
# the area, 5-6-5).
#
#   bench/fanout/run.sh [N...]          (default: 1 10 50)
#
# Build folders: ZK_BUILD_DIR (Win32, default build/win32) and ZK_NATIVE_BUILD
# (native, with zkview and zkview_picture_check; default build/native).
# Output: out/bench-fanout/ (one folder per run, results.txt), made anew by
# each call. Figures: bench/fanout/README.md.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
win32=${ZK_BUILD_DIR:-$root/build/win32}
native=${ZK_NATIVE_BUILD:-$root/build/native}
ninja -C "$win32" -j2 ZK ZKHooks zkhost zkcontent >/dev/null
ninja -C "$native" -j2 zkview zkview_picture_check >/dev/null
zkview=$native/tools/zkview/zkview
check=$native/tests/tools/zkview_picture_check
corpus=$(cd "$root/../shared/corpus" && pwd)
out="$root/out/bench-fanout"
rm -rf "$out"
mkdir -p "$out"
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(1 10 50)
ticks=$(getconf CLK_TCK)

cpu_ticks() {  # PID: user + system ticks so far, 0 once gone
  awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0
}
port_of() {  # DIR KEY
  for _ in $(seq 200); do
    port=$(sed -n "s/.*\"$2\":\[\"nats:\/\/127\.0\.0\.1:\([0-9]*\)\".*/\1/p" "$1"/*.ports 2>/dev/null || true)
    [ -n "$port" ] && { echo "$port"; return 0; }
    sleep 0.05
  done
  return 1
}
start_server() {  # DIR [ROUTE_PORT]
  mkdir -p "$1"
  local routes=
  [ -n "${2:-}" ] && routes="routes: [\"nats-route://127.0.0.1:$2\"]"
  printf 'host: 127.0.0.1\nport: -1\ncluster { name: zk, host: 127.0.0.1, port: -1, %s }\n' "$routes" \
    > "$1/server.conf"
  setsid nats-server -c "$1/server.conf" --ports_file_dir "$1" < /dev/null > "$1/log" 2>&1 &
  echo $! > "$1/pid"
}

# One run: MODE (direct, nats-1, nats-3) and N viewers, in DIR.
run_one() {
  local mode=$1 n=$2 dir=$3
  mkdir -p "$dir"
  local urls=""
  if [ "$mode" != direct ]; then
    start_server "$dir/a"
    local route
    route=$(port_of "$dir/a" cluster)
    urls=nats://127.0.0.1:$(port_of "$dir/a" nats)
    if [ "$mode" = nats-3 ]; then
      start_server "$dir/b" "$route"
      start_server "$dir/c" "$route"
      urls="$urls nats://127.0.0.1:$(port_of "$dir/b" nats) nats://127.0.0.1:$(port_of "$dir/c" nats)"
      for _ in $(seq 200); do
        [ "$(grep -c "Route connection created" "$dir/a/log" || true)" -ge 2 ] && break
        sleep 0.05
      done
    fi
  fi
  "$root/tools/wine-session.sh" bash "$root/bench/fanout/one-run.sh" "$dir" "$win32/bin" "$zkview" \
    "$corpus" "$n" "$ticks" $urls || true
  for server in a b c; do
    [ -f "$dir/$server/pid" ] && kill "$(cat "$dir/$server/pid")" 2>/dev/null || true
  done
  # The figures of the run, one line.
  local matched=0
  for png in "$dir"/viewer-*.png; do
    [ -f "$png" ] && "$check" "$dir/presenter.png" "$png" >/dev/null 2>&1 && matched=$((matched + 1))
  done
  local seconds bytes
  seconds=$(cat "$dir/play.seconds" 2>/dev/null || echo 0)
  bytes=$(cat "$dir/play.bytes" 2>/dev/null || echo 0)
  printf '%-7s %4d viewers: presenter %8.1f KB/s, CPU %5.1f %%; servers CPU %s; pictures %d/%d\n' \
    "$mode" "$n" "$(awk -v b="$bytes" -v s="$seconds" 'BEGIN{print (s > 0 ? b / s / 1024 : 0)}')" \
    "$(cat "$dir/presenter.cpu" 2>/dev/null || echo 0)" "$(cat "$dir/servers.cpu" 2>/dev/null || echo -)" \
    "$matched" "$n" | tee -a "$out/results.txt"
}

for n in "${counts[@]}"; do
  if [ "$n" -le 64 ]; then run_one direct "$n" "$out/direct-$n"; fi
  run_one nats-1 "$n" "$out/nats1-$n"
  run_one nats-3 "$n" "$out/nats3-$n"
done
