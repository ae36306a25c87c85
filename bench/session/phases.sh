#!/usr/bin/env bash
# The two measured sessions of run.sh, on the virtual display it started:
#   phases.sh OUT WIN32_BIN NATIVE_BIN CORPUS
# Each part of the content (still, changing, end) is marked by zkcontent; at
# each mark the CPU time of the sharing process and the bytes sent so far
# are written to OUT/<side>-samples.txt.
set -uo pipefail
out=$1 bin=$2 native=$3 corpus=$4
wincorpus=$(winepath -w "$corpus")
cd "$out"
printf '[ZK]\nCaptureDesktop=1\n' > ZK.ini  # zkhost's default profile, shared desktop
wineserver -p
wineboot >/dev/null 2>&1

area=0,0,1920,1080
# The still part is long enough that /proc's 10-ms CPU ticks read a few
# tenths of a per cent of a core to within a tenth.
content_args=(--rect "$area" --corpus "$wincorpus" --idle 30 --interval 3000 --timeout 3)

source "$(dirname "$0")/processes.sh"
# Where zkcontent saves both areas at the end and compares them (the match).
final_pictures() { mkdir -p "$1-final" && winepath -w "$out/$1-final"; }
# Follows zkcontent's output; at each phase mark records the time, the CPU of
# the sharing process and of wineserver, and the bytes sent so far.
sample_phases() {
  local side=$1 pid=$2 bytes_of=$3 line server
  server=$(wineserver_pid)
  while IFS= read -r line; do
    line=${line%$'\r'}  # Wine's console writes CR LF
    echo "$line" >> "$side-content.txt"
    case "$line" in
      phase*)
        echo "${line#phase } $(date +%s.%N) $(cpu_seconds "$pid") \
$(cpu_seconds "$server") $($bytes_of)" >> "$side-samples.txt" ;;
    esac
  done
}
zk_bytes() { grep '^figures' "$zk_side-present.txt" | tail -1 | sed 's/.*wire_bytes=\([0-9]*\).*/\1/'; }
vnc_bytes() { grep '^rfb' rfb.txt | tail -1 | sed 's/.*bytes=\([0-9]*\).*/\1/'; }

# Ours: zkhost present and zkhost view, the viewer to the right of the area,
# on ports the system chooses, so that a benchmark and a test run share a
# machine. Side zk is the link as viewers have it, TLS; side zkplain the same
# session through the presenter's bridge port, without TLS, to show what
# encryption costs.
zk_session() {
  zk_side=$1
  local port invite bridge presenter
  wine "$bin/zkhost.exe" present --port 0 --bridge-port 0 --name bench-presenter --rect "$area" \
    --desktop --report-every 0.25 > "$zk_side-present.txt" 2>&1 &
  for _ in $(seq 200); do
    port=$(sed -n 's/.* on port \([0-9]*\) as .*/\1/p' "$zk_side-present.txt" 2>/dev/null | head -1)
    bridge=$(sed -n 's/.*bridge port \([0-9]*\) on .*/\1/p' "$zk_side-present.txt" 2>/dev/null | head -1)
    invite=$(sed -n 's/^invitation: \([a-z0-9-]*\).*/\1/p' "$zk_side-present.txt" 2>/dev/null | head -1)
    # All three: the lines may appear between one look and the next.
    [ -n "$port" ] && [ -n "$bridge" ] && [ -n "$invite" ] && break
    sleep 0.1
  done
  if [ "$zk_side" = zkplain ]; then
    wine "$bin/zkhost.exe" view --bridge --connect "127.0.0.1:$bridge" --invite "$invite" \
      --at 1940,0 > "$zk_side-view.txt" 2>&1 &
  else
    wine "$bin/zkhost.exe" view --connect "127.0.0.1:$port" --invite "$invite" --at 1940,0 \
      > "$zk_side-view.txt" 2>&1 &
  fi
  for _ in $(seq 100); do presenter=$(wine_pid 'zkhost.exe present'); [ -n "$presenter" ] && break; sleep 0.1; done
  # zkhost prints its figures every 0.25 s: the first picture's last bytes may
  # show a moment after the viewer shows it, so the still part starts 1 s later.
  wine "$bin/zkcontent.exe" "${content_args[@]}" --watch 1940,0 --settle 1 \
    --save "$(final_pictures "$zk_side")" 2>&1 |
    sample_phases "$zk_side" "$presenter" zk_bytes
  wine "$bin/zkhost.exe" send bench-presenter stop
  wait
}
zk_session zk
zk_session zkplain

# VNC: the scraping server on the same area; TigerVNC's viewer where ours
# was, which zkcontent watches as it watches ours, and the byte counter as a
# second client (both shared, so that neither disconnects the other).
vnc_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
X0tigervnc -display "$DISPLAY" -SecurityTypes None -rfbport "$vnc_port" -localhost \
  -Geometry 1920x1080+0+0 > x0vnc.txt 2>&1 &
vnc=$!
for _ in $(seq 100); do
  "$native/rfb_byte_counter" 127.0.0.1 "$vnc_port" > rfb.txt 2>&1 &
  counter=$!
  for _ in $(seq 50); do grep -q '^ready' rfb.txt 2>/dev/null && break 2; kill -0 $counter 2>/dev/null || break; sleep 0.1; done
  kill $counter 2>/dev/null; wait $counter 2>/dev/null
done
# Lossless pixels, as the byte counter and our viewer get them.
vncviewer -Shared -AutoSelect=0 -FullColor -NoJPEG -PreferredEncoding=ZRLE -DotWhenNoCursor=0 \
  -RemoteResize=0 -geometry 1920x1080+1940+0 "127.0.0.1::$vnc_port" > vncviewer.txt 2>&1 &
viewer=$!
# With no window manager on the display, the viewer places its window as if
# one would add a frame (one pixel left, 20 down): put it where zkcontent looks.
vnc_window=$(timeout 30 xdotool search --sync --name 'TigerVNC$' | head -1)
[ -n "$vnc_window" ] && xdotool windowmove "$vnc_window" 1940 0
wine "$bin/zkcontent.exe" "${content_args[@]}" --watch 1940,0 --settle 3 \
  --save "$(final_pictures vnc)" 2>&1 |
  sample_phases vnc "$vnc" vnc_bytes
kill $viewer $counter $vnc 2>/dev/null
wait $viewer $counter $vnc 2>/dev/null
wineserver -k
exit 0
