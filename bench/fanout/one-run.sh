#!/usr/bin/env bash
# One run of the fan-out benchmark, on run.sh's virtual display:
#   one-run.sh DIR WIN32_BIN ZKVIEW CORPUS N CLK_TCK [NATS_URL...]
# Without URLs the viewers join directly; with them, through the servers in
# turn. Writes the play's seconds, the presenter's bytes and CPU over it, the
# servers' CPU, a grab of the area and each viewer's PNG into DIR.
set -uo pipefail
dir=$1 bin=$2 zkview=$3 corpus=$(winepath -w "$4") n=$5 ticks=$6
shift 6
urls=("$@")
cd "$dir"
name=fanout-$$
session=fanout$$
if [ ${#urls[@]} -eq 0 ]; then
  wine "$bin/zkhost.exe" present --port 0 --name "$name" --rect 0,0,624,600 --desktop \
    --report-every 1 > present.txt 2>&1 &
else
  wine "$bin/zkhost.exe" present --nats "${urls[0]}" --session $session --name "$name" \
    --rect 0,0,624,600 --desktop --report-every 1 > present.txt 2>&1 &
fi
presenter=$!
for _ in $(seq 120); do
  grep -q "^zkhost: presenting" present.txt && break
  sleep 0.5
done
port=$(sed -n "s/.* on port \([0-9]*\) as .*/\1/p" present.txt | head -1)
invite=$(sed -n "s/^invitation: \([a-z0-9-]*\).*/\1/p" present.txt | head -1)
viewers=()
for i in $(seq "$n"); do
  if [ ${#urls[@]} -eq 0 ]; then
    how=(--connect "127.0.0.1:$port" --invite "$invite")
  else
    how=(--nats "${urls[$(( (i - 1) % ${#urls[@]} ))]}" --session $session)
  fi
  "$zkview" "${how[@]}" --seconds 600 --connect-seconds 30 --save viewer-$i.png \
    > viewer-$i.txt 2> viewer-$i.err &
  viewers+=($!)
done
# Everyone in before the play: each viewer's first full update is not the play's.
for _ in $(seq 240); do
  joined=$(grep -h "^figures" present.txt | tail -1 | sed -n 's/.* viewers=\([0-9]*\).*/\1/p')
  [ "${joined:-0}" -ge "$n" ] && break
  sleep 0.5
done
server_pids=()
for pidfile in a/pid b/pid c/pid; do [ -f $pidfile ] && server_pids+=("$(cat $pidfile)"); done
server_before=()
for pid in "${server_pids[@]}"; do server_before+=("$(awk '{print $14 + $15}' /proc/$pid/stat)"); done
cpu_before=$(awk '{print $14 + $15}' /proc/$presenter/stat)
cat /proc/$presenter/comm > presenter.comm  # the Windows program's own name once Wine runs it
bytes_before=$(grep -h "^figures" present.txt | tail -1 | sed -n 's/.* wire_bytes=\([0-9]*\).*/\1/p')
start=$(date +%s.%N)
wine "$bin/zkcontent.exe" --rect 0,0,624,600 --corpus "$corpus" --hold 60 > content.txt 2>&1 &
content=$!
for _ in $(seq 600); do
  grep -q "^phase held" content.txt && break
  kill -0 $content 2>/dev/null || break
  sleep 0.5
done
# The last figures line after the play settles (reported every second).
sleep 2
end=$(date +%s.%N)
cpu_after=$(awk '{print $14 + $15}' /proc/$presenter/stat)
bytes_after=$(grep -h "^figures" present.txt | tail -1 | sed -n 's/.* wire_bytes=\([0-9]*\).*/\1/p')
seconds=$(awk -v a="$start" -v b="$end" 'BEGIN{print b - a}')
echo "$seconds" > play.seconds
echo $(( ${bytes_after:-0} - ${bytes_before:-0} )) > play.bytes
awk -v c=$((cpu_after - cpu_before)) -v t="$ticks" -v s="$seconds" 'BEGIN{printf "%.1f\n", 100 * c / t / s}' \
  > presenter.cpu
servers=""
for i in "${!server_pids[@]}"; do
  after=$(awk '{print $14 + $15}' /proc/${server_pids[$i]}/stat)
  servers="$servers$(awk -v c=$((after - ${server_before[$i]})) -v t="$ticks" -v s="$seconds" \
    'BEGIN{printf "%.1f%% ", 100 * c / t / s}')"
done
echo "${servers:-none}" > servers.cpu
wine "$bin/zkcontent.exe" --grab 0,0,624,600 presenter.png > grab.txt 2>&1 || true
wine "$bin/zkhost.exe" send "$name" stop > stop.txt 2>&1 || true
for pid in "${viewers[@]}"; do wait "$pid" || true; done
wait $presenter || true
kill $content 2>/dev/null || true
wait $content 2>/dev/null || true
