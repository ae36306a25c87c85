#!/bin/bash
# Checks that the native zkcodec and the Windows one (under Wine) agree:
# each compresses the same pictures to the same streams, and each decodes
# the other's streams to the same pixels. Compares pixels through
# `compress --stages 0`, whose stream is the raw frame.
#   crosscheck-wine.sh NATIVE_ZKCODEC WINDOWS_ZKCODEC_EXE ITEM...
# where an ITEM is PICTURE.png, or REF.png:PICTURE.png to compress a picture
# against a reference.
# Run it under Xvfb with WINEPREFIX set (see platform notes).
set -eu
native=$1
windows=$2
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
win() { wine "$windows" "$@" >/dev/null; }

size_of() {  # prints "W H" of a PNG, from its header
  od -An -tu1 -j16 -N8 "$1" | awk '{ print $1*16777216 + $2*65536 + $3*256 + $4, $5*16777216 + $6*65536 + $7*256 + $8 }'
}

check() {  # check PICTURE [REF]
  local picture=$1 ref=${2:-}
  local refopt=()
  [ -n "$ref" ] && refopt=(--ref "$ref")
  read -r width height < <(size_of "$picture")
  for stages in 0B 0D 0A 00; do
    rm -f "$work"/*  # a step that fails must not leave an older file to compare
    "$native" compress --stages "$stages" "${refopt[@]}" "$picture" "$work/native.zk" >/dev/null
    win compress --stages "$stages" "${refopt[@]}" "$picture" "$work/windows.zk"
    cmp -s "$work/native.zk" "$work/windows.zk" || { echo "FAIL streams differ: $picture $stages"; return 1; }
    "$native" decompress --width "$width" --height "$height" "${refopt[@]}" "$work/windows.zk" "$work/native.png" >/dev/null
    win decompress --width "$width" --height "$height" "${refopt[@]}" "$work/native.zk" "$work/windows.png"
    "$native" compress --stages 0 "$work/native.png" "$work/native.raw" >/dev/null
    "$native" compress --stages 0 "$work/windows.png" "$work/windows.raw" >/dev/null
    cmp -s "$work/native.raw" "$work/windows.raw" || { echo "FAIL pixels differ: $picture $stages"; return 1; }
    # The Windows reader must see the same pixels as the native one, too.
    win compress --stages 0 "$work/native.png" "$work/windows-read.raw"
    cmp -s "$work/native.raw" "$work/windows-read.raw" || { echo "FAIL reading differs: $picture"; return 1; }
  done
  echo "ok   $(basename "$picture")${ref:+ against $(basename "$ref")} (${width}x${height})"
}

status=0
for item in "$@"; do
  case $item in
    *.png:*.png) check "${item#*.png:}" "${item%%.png:*}.png" || status=1 ;;
    *) check "$item" || status=1 ;;
  esac
done
exit $status
