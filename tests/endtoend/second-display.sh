#!/usr/bin/env bash
# A second machine for the remote-control tests: its own virtual display and
# its own Wine (prefix and server), so that the keyboard, pointer and
# foreground window of a viewer there are not the presenter's. The tests run
# this from under Wine (as a Linux program) and talk to it through files in
# a folder DIR:
#
#   second-display.sh start DIR         display and Wine ready: DIR/display, then DIR/ready
#   second-display.sh run DIR NAME EXE ARGS...
#                                       runs EXE (a Windows program) in DIR; its standard
#                                       input follows DIR/NAME.in, its output goes to
#                                       DIR/NAME.out, its exit code to DIR/NAME.exit
#   second-display.sh xdotool DIR MARKER ARGS...
#                                       xdotool on that display, its output in
#                                       DIR/MARKER.out; DIR/MARKER once it ended
#   second-display.sh grab DIR MARKER X Y WIDTH HEIGHT
#                                       the screen's rectangle in DIR/MARKER.png, then DIR/MARKER
#   second-display.sh stop DIR          ends its Wine and its display; DIR/stopped then
#
# The prefix is "$WINEPREFIX-second", made on first use.
set -uo pipefail
command=$1 dir=$2
shift 2
# What the presenter's Wine handed down must not lead this one to its server.
unset WINESERVERSOCKET WINELOADERNOEXEC
export WINEPREFIX="${WINEPREFIX:?}-second" WINEARCH=win32 WINEDEBUG="${WINEDEBUG:-fixme-all}"

display() { cat "$dir/display"; }

case "$command" in
  start)
    mkdir -p "$dir"
    rm -f "$dir/ready" "$dir/display" "$dir/displayfd"
    # The X server picks a free number itself (-displayfd): another run on
    # this machine may be starting one at the same moment.
    mkfifo "$dir/displayfd"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/displayfd" \
      >"$dir/xvfb.log" 2>&1 &
    echo $! >"$dir/xvfb.pid"
    read -r n <"$dir/displayfd" || true
    rm -f "$dir/displayfd"
    [ -n "$n" ] || exit 1
    echo ":$n" >"$dir/display"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      # Made off any display, as the presenter's prefix is: windows that
      # making a prefix opens on a display take the keyboard focus from the
      # viewers of the first test.
      DISPLAY= wineboot -i >/dev/null 2>&1
      DISPLAY= wineserver -w
    fi
    # As tools/wine-session.sh: looked at on every start.
    if ! grep -q '^"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
      DISPLAY= wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
      DISPLAY= wineserver -w
    fi
    export DISPLAY=$(display)
    wineserver -k 2>/dev/null
    wineserver -p >/dev/null 2>&1 </dev/null
    wineboot >/dev/null 2>&1 </dev/null
    touch "$dir/ready"
    ;;
  run)
    name=$1
    shift
    export DISPLAY=$(display)
    : >"$dir/$name.in"
    rm -f "$dir/$name.exit" "$dir/$name.fifo"
    mkfifo "$dir/$name.fifo"
    cd "$dir" || exit 1
    tail -n +1 -f "$dir/$name.in" >"$dir/$name.fifo" &
    follower=$!
    wine "$@" <"$dir/$name.fifo" >"$dir/$name.out" 2>&1
    code=$?
    kill "$follower" 2>/dev/null
    rm -f "$dir/$name.fifo"
    echo "$code" >"$dir/$name.exit"
    ;;
  xdotool)
    marker=$1
    shift
    DISPLAY=$(display) xdotool "$@" >"$dir/$marker.out" 2>&1
    touch "$dir/$marker"
    ;;
  grab)
    marker=$1
    import -display "$(display)" -window root -crop "${4}x${5}+${2}+${3}" +repage \
      "png24:$dir/$marker.png"
    touch "$dir/$marker"
    ;;
  stop)
    DISPLAY=$(display) wineserver -k 2>/dev/null
    [ -f "$dir/xvfb.pid" ] && kill "$(cat "$dir/xvfb.pid")" 2>/dev/null
    rm -f "$dir/ready" "$dir/xvfb.pid"
    touch "$dir/stopped"
    ;;
esac
