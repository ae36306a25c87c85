#!/bin/sh
# Starts or stops one nats-server for the Win32 tests, which cannot start a
# Linux program themselves: started before them, it runs detached, with the
# port it chose written to DIR/url for the tests to read.
#   nats-fixture.sh start DIR | nats-fixture.sh stop DIR
set -eu
dir=$2
case "$1" in
start)
  rm -rf "$dir"
  mkdir -p "$dir"
  printf 'host: 127.0.0.1\nport: -1\nmax_payload: 4096\n' > "$dir/server.conf"
  setsid nats-server -c "$dir/server.conf" --ports_file_dir "$dir" < /dev/null > "$dir/log" 2>&1 &
  echo $! > "$dir/pid"
  # The server writes its ports file once it listens; nothing else to wait on.
  tries=0
  until port=$(sed -n 's/.*"nats":\["nats:\/\/127\.0\.0\.1:\([0-9]*\)".*/\1/p' "$dir"/*.ports 2>/dev/null) && [ -n "$port" ]; do
    tries=$((tries + 1))
    if [ $tries -gt 400 ]; then
      echo "nats-server did not start:" >&2
      cat "$dir/log" >&2
      exit 1
    fi
    sleep 0.05
  done
  printf 'nats://127.0.0.1:%s' "$port" > "$dir/url"
  ;;
stop)
  [ -f "$dir/pid" ] && kill "$(cat "$dir/pid")" 2>/dev/null || true
  ;;
esac
