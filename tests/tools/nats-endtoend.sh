#!/usr/bin/env bash
# A session through a cluster of three NATS servers (A, B, C, joined by
# routes): under Wine on a virtual display, zkhost present --nats publishes
# to A the area where zkcontent plays the screen corpus; a Win32 zkhost view
# follows it through B, and native zkview viewers through C: one from the
# start, one that joins mid-play. C is killed while the corpus plays: its
# viewers must reconnect to another server and ask again. Once the content
# holds still a last zkview joins through B for a few seconds; then the
# presenter stops, which must end every viewer in order. Every zkview's
# picture must equal the presenter's shared area, grabbed from the screen,
# within 5-6-5 precision; the Win32 viewer must have had a full update and
# the presenter's frame.
#
#   nats-endtoend.sh ZKVIEW CHECKER WIN32_BUILD CORPUS OUT
#
# Exits 77 (ctest: skipped) without the Win32 build, Wine or nats-server.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
zkview=$1 check=$2 build=$3 corpus=$4 out=$5
bin="$build/bin"
for needed in zkhost.exe zkcontent.exe ZK.dll ZKHooks.dll; do
  if [ ! -f "$bin/$needed" ]; then
    echo "nats-endtoend: no $bin/$needed (build the Win32 tree): skipped"
    exit 77
  fi
done
command -v wine >/dev/null || { echo "nats-endtoend: no Wine: skipped"; exit 77; }
command -v nats-server >/dev/null || { echo "nats-endtoend: no nats-server: skipped"; exit 77; }
rm -rf "$out"
mkdir -p "$out"
out=$(cd "$out" && pwd)
cd "$out"

# The cluster, on ports the servers choose: A first, then B and C routed to it.
servers=()
stop_servers() { for pid in "${servers[@]}"; do kill "$pid" 2>/dev/null || true; done; }
trap stop_servers EXIT
port_of() {  # DIR KEY: the port the server wrote for KEY, once it listens
  local port=
  for _ in $(seq 200); do
    port=$(sed -n "s/.*\"$2\":\[\"nats:\/\/127\.0\.0\.1:\([0-9]*\)\".*/\1/p" "$1"/*.ports 2>/dev/null || true)
    [ -n "$port" ] && { echo "$port"; return 0; }
    sleep 0.05
  done
  echo "nats-endtoend: a server did not start: $(cat "$1/log")" >&2
  return 1
}
start_server() {  # NAME [ROUTE_PORT]
  mkdir -p "$1"
  local routes=
  [ -n "${2:-}" ] && routes="routes: [\"nats-route://127.0.0.1:$2\"]"
  printf 'host: 127.0.0.1\nport: -1\nserver_name: %s\ncluster { name: zk, host: 127.0.0.1, port: -1, %s }\n' \
    "$1" "$routes" > "$1/server.conf"
  setsid nats-server -c "$1/server.conf" --ports_file_dir "$1" < /dev/null > "$1/log" 2>&1 &
  servers+=($!)
  echo $! > "$1/pid"
}
start_server a
route=$(port_of a cluster)
start_server b "$route"
start_server c "$route"
url_a=nats://127.0.0.1:$(port_of a nats)
url_b=nats://127.0.0.1:$(port_of b nats)
url_c=nats://127.0.0.1:$(port_of c nats)
# Formed once A has a route to each of the others.
for _ in $(seq 200); do
  [ "$(grep -c "Route connection created" a/log || true)" -ge 2 ] && break
  sleep 0.05
done

"$root/tools/wine-session.sh" bash -c '
  zkview=$1 bin=$2 corpus=$(winepath -w "$3") url_a=$4 url_b=$5 url_c=$6
  cd "$7"
  name=nats-e2e-$$
  session=e2e$$
  wine "$bin/zkhost.exe" present --nats "$url_a" --session $session --name "$name" \
    --rect 0,0,624,600 --share zkcontent > present.txt 2>&1 &
  presenter=$!
  for _ in $(seq 120); do
    grep -q "^zkhost: presenting" present.txt && break
    kill -0 $presenter 2>/dev/null || break
    sleep 0.5
  done
  if ! grep -q "^zkhost: presenting" present.txt; then
    echo "the presenter did not start" >> present.txt
    kill $presenter 2>/dev/null
    exit 1
  fi
  wine "$bin/zkhost.exe" view --nats "$url_b" --session $session --name view-b --at 640,0 \
    > win32view.txt 2>&1 &
  win32view=$!
  "$zkview" --nats "$url_c,$url_a" --session $session --seconds 300 --save early.png \
    > early.txt 2> early.err &
  early=$!
  wine "$bin/zkcontent.exe" --rect 0,0,624,600 --corpus "$corpus" --hold 60 > content.txt 2>&1 &
  content=$!
  # Mid-play: a joiner through C, then C dies under both viewers there.
  sleep 2
  "$zkview" --nats "$url_c,$url_a" --session $session --seconds 300 --save mid.png \
    > mid.txt 2> mid.err &
  mid=$!
  sleep 1.5
  kill "$(cat c/pid)"
  for _ in $(seq 600); do
    grep -q "^phase held" content.txt && break
    kill -0 $content 2>/dev/null || break
    sleep 0.5
  done
  wine "$bin/zkcontent.exe" --grab 0,0,624,600 presenter.png > grab.txt 2>&1 || true
  # The Win32 viewer draws the pointer too: its grab is shown, not held to it.
  wine "$bin/zkcontent.exe" --grab 640,0,624,600 win32view.png >> grab.txt 2>&1 || true
  rc=0
  "$zkview" --nats "$url_b" --session $session --seconds 3 --save late.png \
    > late.txt 2> late.err || rc=$?
  echo $rc > late.rc
  wine "$bin/zkhost.exe" send "$name" viewers > viewers.txt 2>&1 || true
  wine "$bin/zkhost.exe" send "$name" stop > stop.txt 2>&1 || true
  for viewer in early mid win32view; do
    rc=0
    wait ${!viewer} || rc=$?
    echo $rc > $viewer.rc
  done
  wait $presenter || true
  kill $content 2>/dev/null || true
  wait $content 2>/dev/null || true' \
  bash "$zkview" "$bin" "$corpus" "$url_a" "$url_b" "$url_c" "$out" || true

fail() {
  echo "nats-endtoend: $*"
  for log in present.txt content.txt grab.txt viewers.txt stop.txt win32view.txt early.txt early.err \
             mid.txt mid.err late.txt late.err; do
    [ -f "$log" ] && { echo "== $log"; tr -d '\r' < "$log" | tail -20; }
  done
  exit 1
}
grep -q "^phase held" content.txt 2>/dev/null || fail "the content never held still"
[ -f presenter.png ] || fail "the presenter's area was not grabbed"
[ "$(cat late.rc 2>/dev/null)" = 0 ] || fail "the late viewer did not end in order"
for viewer in early mid win32view; do
  [ "$(cat $viewer.rc 2>/dev/null)" = 0 ] || fail "$viewer did not end in order when the presenter stopped"
done
for viewer in early mid; do
  grep -q "presenter closed the connection" $viewer.err || fail "$viewer did not see the presenter end"
done
tr -d '\r' < win32view.txt | grep -q "frame 624x600" || fail "the Win32 viewer did not get the frame"
tr -d '\r' < win32view.txt | grep -q "([1-9][0-9]* full updates)" || fail "the Win32 viewer had no full update"
for viewer in early mid late; do
  line=$(grep "^picture " $viewer.txt) || fail "$viewer: no picture line"
  result=$("$check" presenter.png $viewer.png) || fail "$viewer.png differs from the presenter: $result"
  [ "$(head -1 <<<"$result")" = "$line" ] || fail "$viewer: printed '$line', saved $(head -1 <<<"$result")"
  echo "$viewer: $(grep "^figures" $viewer.txt)"
  echo "$viewer: $line; $(tail -1 <<<"$result")"
done
echo "win32view: $(tr -d '\r' < win32view.txt | tail -2 | tr '\n' ' ')"
echo "win32view grab against the presenter's (pointer included): $("$check" presenter.png win32view.png | tail -1 || true)"
echo "presenter: $(tr -d '\r' < present.txt | grep '^figures' | tail -1)"
echo "nats-endtoend: every viewer holds the presenter's picture, C's through another server"
