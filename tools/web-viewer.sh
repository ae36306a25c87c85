#!/usr/bin/env bash
# Serves the browser viewer for a presenter's bridge port on this machine:
# websockify carries the browser's WebSocket to HOST:PORT as raw bytes and
# serves the page (build/wasm/web, built here when missing) on the same
# port. Prints the address to open, the join key in its fragment (which the
# browser keeps to itself).
#
#   tools/web-viewer.sh --connect HOST:PORT [--listen PORT] [--key KEY | --invite CODE]
#                       [--cert PEM [--cert-key PEM]] [--web DIR]
#
# The join uses WebCrypto, which browsers give to secure pages only: open the
# page on this machine (http://127.0.0.1) or serve it over TLS with --cert.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

usage() { sed -n '8,9p' "$0" | cut -c3- >&2; exit 2; }
connect="" listen=6080 key="" cert="" certKey="" web="$root/build/wasm/web"
while (($#)); do
  case "$1" in
    --connect) connect=${2:?}; shift 2 ;;
    --listen) listen=${2:?}; shift 2 ;;
    --key) key=${2:?}; shift 2 ;;
    --invite) key=${2%%-*}; shift 2 ;;  # the key is the part before the dash
    --cert) cert=${2:?}; shift 2 ;;
    --cert-key) certKey=${2:?}; shift 2 ;;
    --web) web=${2:?}; shift 2 ;;
    *) usage ;;
  esac
done
[ -n "$connect" ] || usage
key=${key%%-*}

if [ ! -f "$web/zkviewer.wasm" ] && [ "$web" = "$root/build/wasm/web" ]; then
  echo "web-viewer: building the viewer module (build/wasm)" >&2
  emcmake cmake -S "$root" -B "$root/build/wasm" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  ninja -C "$root/build/wasm" -j2 >&2
fi

tls=()
scheme=http
if [ -n "$cert" ]; then
  tls=(--cert="$cert")
  [ -n "$certKey" ] && tls+=(--key="$certKey")
  scheme=https
fi
host=127.0.0.1
[ -n "$cert" ] && host=$(hostname -f 2>/dev/null || hostname)
fragment=""
[ -n "$key" ] && fragment="#key=$key"
echo "web-viewer: open $scheme://$host:$listen/$fragment"
exec websockify --web="$web" ${tls[@]+"${tls[@]}"} "$listen" "$connect"
