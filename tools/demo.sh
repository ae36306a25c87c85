#!/usr/bin/env bash
# The main job: under Wine on a virtual display, a presenter (zkhost present)
# shares a program's window by its title: the content program (zkcontent,
# playing pictures and sequences from the screen corpus) is moved under the
# presenter's frame, and a viewer (zkhost view) beside it shows what it
# receives over TCP. When the content holds its last still picture, the
# viewer annotates it (one highlight dragged and one marker clicked with
# xdotool, as a user would) and the marks are saved as seen on both sides.
# Then Wine's notepad is shared the same way once the first program ends, and
# text is typed into it with a real keyboard (xdotool); a second viewer, on a
# display and Wine of its own as on another machine, takes input control and
# types into notepad through its window. At the end it prints
# the figures (updates and bytes sent, compression ratio, time from a change
# to the viewer showing it, how closely the viewer matches) and saves PNGs of
# the presenter's shared area and of the viewer's window, for the content,
# its marks and notepad.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/tools/setup.sh"

build=${ZK_BUILD_DIR:-$root/build/win32}
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C "$build" ZK ZKHooks zkhost zkcontent >/dev/null

out="$root/out/demo"
mkdir -p "$out"
rm -f "$out"/*.png "$out"/*.txt "$out/ZK.ini"
rm -rf "$out/remote"
corpus=$(cd "$root/../shared/corpus" && pwd)

# Presenter's area and viewer's window side by side on the 1280 x 1024
# display, never overlapping: the presenter must not capture its viewer.
"$root/tools/wine-session.sh" bash -c '
  out=$1; bin=$2; corpus=$(winepath -w "$3"); save=$(winepath -w "$1"); second=$4; zkview=$5; web=$6
  cd "$out"   # both sessions read .\ZK.ini from here
  # A bridge port for the browser viewer, on a port the system just handed out.
  bridge=$(python3 -c "import socket; s=socket.socket(); s.bind((\"127.0.0.1\", 0)); print(s.getsockname()[1])")
  # On a port the system chooses, so that the demo runs beside anything else.
  wine "$bin/zkhost.exe" present --port 0 --name demo-presenter --rect 0,0,624,600 \
    --share zkcontent --bridge-port "$bridge" > present.txt 2>&1 &
  presenter=$!
  # Viewers join by the invitation it prints: the join key and the
  # fingerprint of its certificate, over TLS.
  port= invite=
  for _ in $(seq 120); do
    port=$(sed -n "s/.* on port \([0-9]*\) as .*/\1/p" present.txt 2>/dev/null | head -1)
    invite=$(sed -n "s/^invitation: \([a-z0-9-]*\).*/\1/p" present.txt 2>/dev/null | head -1)
    [ -n "$port" ] && [ -n "$invite" ] && break
    sleep 0.5
  done
  [ -n "$invite" ] || { echo "the presenter did not start" >> present.txt; exit 1; }
  wine "$bin/zkhost.exe" view --connect 127.0.0.1:$port --invite "$invite" --at 648,0 \
    --name demo-viewer > view.txt 2>&1 &
  viewer=$!
  wine "$bin/zkcontent.exe" --rect 0,0,624,600 --watch 648,0 --corpus "$corpus" \
    --save "$save" --hold 30 > content.txt 2>&1 || echo "zkcontent failed" >> content.txt &
  content=$!
  for _ in $(seq 600); do
    grep -q "^phase held" content.txt 2>/dev/null && break
    kill -0 $content 2>/dev/null || break
    sleep 0.5
  done
  if grep -q "^phase held" content.txt; then
    # The Linux viewer (native, no Wine) joins the still picture too.
    [ -x "$zkview" ] && "$zkview" --connect 127.0.0.1:$port --invite "$invite" --seconds 3 \
      --save zkview.png > zkview.txt 2>&1 &
    send() { echo "viewer: $* -> $(wine "$bin/zkhost.exe" send demo-viewer "$@")" >> marks.txt; }
    # The presenter takes marks from its viewers only once it allows them.
    echo "presenter: annotation on -> $(wine "$bin/zkhost.exe" send demo-presenter annotation on)" \
      >> marks.txt
    send annotation on
    send highlight
    sleep 1   # the viewer arms the placement on its next turn
    xdotool mousemove 1068 300 mousedown 1 mousemove 900 200 mousemove 828 120 mouseup 1
    sleep 1
    send marker FF0000
    sleep 1
    xdotool mousemove 1148 420 click 1
    sleep 2   # the marks travel to the presenter
    wine "$bin/zkcontent.exe" --grab 0,0,624,600 "$save\\presenter-marks.png" >> marks.txt 2>&1
    wine "$bin/zkcontent.exe" --grab 648,0,624,600 "$save\\viewer-marks.png" >> marks.txt 2>&1
    send leave-annotation
  fi
  wait $content || true
  # How often the presenter looked and sent: the default profile of zkhost.
  wine "$bin/zkhost.exe" send demo-presenter profile > profile.txt 2>&1 || true
  # A second program, shared by title once the first has gone, and typed
  # into through its see-through frame.
  wine notepad.exe >/dev/null 2>&1 &
  notepad=$!
  wine "$bin/zkhost.exe" send demo-presenter share Notepad 20 > notepad.txt 2>&1 || true
  sleep 1
  xdotool mousemove 300 300 click 1
  xdotool type --delay 60 "Typed on the presenter, shown on the viewer."
  sleep 3
  import -window root -crop 624x600+0+0 +repage notepad-presenter.png || true
  import -window root -crop 624x600+648+0 +repage notepad-viewer.png || true
  # A viewer in a browser (headless chromium) through the bridge port.
  node "$web/snapshot.mjs" "$bridge" "$invite" "$out/browser-viewer.png" > browser.txt 2>&1 ||
    echo "the browser viewer did not run" >> browser.txt
  # A viewer on a machine of its own (a second display and Wine) takes input
  # control and types into the same notepad through its window.
  remote="$out/remote"
  if "$second" start "$remote" && [ -f "$remote/ready" ]; then
    "$second" run "$remote" controller "$bin/zkhost.exe" view --connect 127.0.0.1:$port \
      --invite "$invite" --at 0,0 --control --name demo-controller &
    # Its request waits for the consent of the presenter, which allows it.
    for _ in $(seq 120); do
      asking=$(sed -n "s/.*(demo-controller) asks for control: allow \([0-9]*\).*/\1/p" \
        present.txt | head -1)
      [ -n "$asking" ] && break
      sleep 0.5
    done
    [ -n "$asking" ] && wine "$bin/zkhost.exe" send demo-presenter allow "$asking" \
      > allow.txt 2>&1
    for _ in $(seq 120); do
      grep -q "control: ok control" "$remote/controller.out" 2>/dev/null && break
      sleep 0.5
    done
    sleep 2   # the viewer shows notepad before it is clicked
    "$second" xdotool "$remote" typed mousemove 300 360 click 1 key ctrl+End Return \
      type --delay 80 "Typed on a viewer that took control."
    sleep 3
    import -window root -crop 624x600+0+0 +repage notepad-remote-presenter.png || true
    "$second" grab "$remote" controller-window 0 0 640 640
    cp "$remote/controller-window.png" notepad-remote-viewer.png 2>/dev/null || true
  fi
  kill $notepad 2>/dev/null || true
  wine "$bin/zkhost.exe" send demo-presenter stop || true
  wait $presenter $viewer || true
  "$second" stop "$remote" 2>/dev/null || true' \
  bash "$out" "$build/bin" "$corpus" "$root/tests/endtoend/second-display.sh" \
  "${ZK_ZKVIEW:-$root/build/native/tools/zkview/zkview}" "$root/tests/web"

echo "== presenter (zkhost present)"
grep -v '^figures' "$out/present.txt" || true
echo "profile: $(tr -d '\r' < "$out/profile.txt")"
echo "== viewer (zkhost view)"
grep -v '^figures' "$out/view.txt" || true
echo "== content and what the viewer showed (zkcontent)"
grep -E '^(latency|match)' "$out/content.txt" || cat "$out/content.txt"
echo "== Linux viewer (zkview, when the native tree has it): $out/zkview.png"
cat "$out/zkview.txt" 2>/dev/null || echo "(not run)"
echo "== annotation from the viewer (zkhost send, xdotool)"
cat "$out/marks.txt" 2>/dev/null || echo "(not run: the content did not hold)"
echo
echo "Presenter's shared area: $out/presenter.png"
echo "Viewer's window:         $out/viewer.png"
echo "With the viewer's marks: $out/presenter-marks.png $out/viewer-marks.png"
echo "Notepad shared and typed into: $out/notepad-presenter.png, $out/notepad-viewer.png"
echo "== the browser viewer (web-viewer.sh, headless chromium)"
cat "$out/browser.txt" 2>/dev/null || true
echo "== notepad shared by title"
cat "$out/notepad.txt" 2>/dev/null || true
echo "== remote control from a viewer on a second display, allowed by the presenter"
grep -E "asks for control|takes control" "$out/present.txt" | tr -d '\r' || true
grep -E "control|taken|cancel" "$out/remote/controller.out" 2>/dev/null | tr -d '\r' ||
  echo "(the second display did not start)"
echo "Typed by the viewer in control: $out/notepad-remote-presenter.png, $out/notepad-remote-viewer.png"
echo "Logs: $out/present.txt $out/view.txt $out/content.txt $out/marks.txt"
[ -f "$out/presenter.png" ] && [ -f "$out/viewer.png" ] &&
  [ -f "$out/presenter-marks.png" ] && [ -f "$out/viewer-marks.png" ]
