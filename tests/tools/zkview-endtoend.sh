#!/usr/bin/env bash
# The Linux viewer against a real presenter: under Wine on a virtual display,
# zkhost present shares the area where zkcontent plays the screen corpus, and
# zkview (native) joins it with the printed invitation over TLS, twice: one
# viewer follows the whole play until the presenter stops, which must end it
# in order (exit 0) with the picture; one joins once the content holds still
# and leaves after --seconds. Both saved pictures must equal the presenter's
# shared area, grabbed from the screen, within 5-6-5 precision, and each
# printed picture line must name the PNG saved with it.
#
#   zkview-endtoend.sh ZKVIEW CHECKER WIN32_BUILD CORPUS OUT
#
# Exits 77 (ctest: skipped) without the Win32 build or Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
zkview=$1 check=$2 build=$3 corpus=$4 out=$5
bin="$build/bin"
for needed in zkhost.exe zkcontent.exe ZK.dll ZKHooks.dll; do
  if [ ! -f "$bin/$needed" ]; then
    echo "zkview-endtoend: no $bin/$needed (build the Win32 tree): skipped"
    exit 77
  fi
done
command -v wine >/dev/null || { echo "zkview-endtoend: no Wine: skipped"; exit 77; }
rm -rf "$out"
mkdir -p "$out"

"$root/tools/wine-session.sh" bash -c '
  zkview=$1 bin=$2 corpus=$(winepath -w "$3") out=$4
  cd "$out"
  name=zkview-e2e-$$
  # On a port the system chooses; viewers join by the invitation it prints.
  wine "$bin/zkhost.exe" present --port 0 --name "$name" --rect 0,0,624,600 \
    --share zkcontent > present.txt 2>&1 &
  presenter=$!
  port= invite=
  for _ in $(seq 120); do
    port=$(sed -n "s/.* on port \([0-9]*\) as .*/\1/p" present.txt | head -1)
    invite=$(sed -n "s/^invitation: \([a-z0-9-]*\).*/\1/p" present.txt | head -1)
    [ -n "$port" ] && [ -n "$invite" ] && break
    sleep 0.5
  done
  if [ -z "$invite" ]; then
    echo "the presenter did not start" >> present.txt
    kill $presenter 2>/dev/null
    exit 1
  fi
  "$zkview" --connect "127.0.0.1:$port" --invite "$invite" --seconds 300 --save early.png \
    > early.txt 2> early.err &
  early=$!
  wine "$bin/zkcontent.exe" --rect 0,0,624,600 --corpus "$corpus" --hold 60 > content.txt 2>&1 &
  content=$!
  for _ in $(seq 600); do
    grep -q "^phase held" content.txt && break
    kill -0 $content 2>/dev/null || break
    sleep 0.5
  done
  wine "$bin/zkcontent.exe" --grab 0,0,624,600 presenter.png > grab.txt 2>&1 || true
  rc=0
  "$zkview" --connect "127.0.0.1:$port" --invite "$invite" --seconds 3 --save late.png \
    > late.txt 2> late.err || rc=$?
  echo $rc > late.rc
  wine "$bin/zkhost.exe" send "$name" stop > stop.txt 2>&1 || true
  rc=0
  wait $early || rc=$?
  echo $rc > early.rc
  wait $presenter || true
  kill $content 2>/dev/null || true
  wait $content 2>/dev/null || true' \
  bash "$zkview" "$bin" "$corpus" "$out" || true

cd "$out"
fail() {
  echo "zkview-endtoend: $*"
  for log in present.txt content.txt grab.txt stop.txt early.txt early.err late.txt late.err; do
    [ -f "$log" ] && { echo "== $log"; tr -d '\r' < "$log" | tail -20; }
  done
  exit 1
}
grep -q "^phase held" content.txt 2>/dev/null || fail "the content never held still"
[ -f presenter.png ] || fail "the presenter's area was not grabbed"
[ "$(cat late.rc 2>/dev/null)" = 0 ] || fail "the late viewer did not end in order"
[ "$(cat early.rc 2>/dev/null)" = 0 ] || fail "the viewer did not end in order when the presenter stopped"
grep -q "presenter closed the connection" early.err || fail "the first viewer did not see the presenter end"
for viewer in early late; do
  line=$(grep "^picture " $viewer.txt) || fail "$viewer: no picture line"
  result=$("$check" presenter.png $viewer.png) || fail "$viewer.png differs from the presenter: $result"
  [ "$(head -1 <<<"$result")" = "$line" ] || fail "$viewer: printed '$line', saved $(head -1 <<<"$result")"
  echo "$viewer: $(grep "^figures" $viewer.txt)"
  echo "$viewer: $line; $(tail -1 <<<"$result")"
done
echo "zkview-endtoend: both viewers hold the presenter's picture"
