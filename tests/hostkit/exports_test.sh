#!/usr/bin/env bash
# The installed ZK.h declares, as cdecl, exactly the functions the installed
# ZK.dll exports under their plain names, and the installed import library
# offers each of them under its C name (_ZK_Init; a stdcall one would read
# _ZK_Init@4).
#   exports_test.sh BUILD_DIR OBJDUMP NM
set -euo pipefail
build=$1 objdump=$2 nm=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work" >/dev/null

sed -n 's/^ZKBool ZKAPI \(ZK_[A-Za-z]*\)(.*/\1/p' "$work/include/ZK.h" | sort >"$work/declared"
"$objdump" -p "$work/bin/ZK.dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n 's/^\s*\[ *[0-9]*\] \(.*ZK_.*\)$/\1/p' | sort >"$work/exported"
"$nm" -g "$work/lib/libZK.dll.a" | sed -n 's/^[0-9a-f]* T _\(ZK_.*\)$/\1/p' | sort >"$work/imported"

status=0
for list in exported imported; do
  if ! diff -u --label ZK.h --label "$list" "$work/declared" "$work/$list"; then
    echo "exports_test.sh: ZK.h and the $list functions differ" >&2
    status=1
  fi
done
count=$(wc -l <"$work/declared")
if [ "$count" -ne 19 ]; then
  echo "exports_test.sh: ZK.h declares $count functions, not 19" >&2
  status=1
fi
exit $status
