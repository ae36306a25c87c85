#!/usr/bin/env bash
# ZK.h names every key of .\ZK.ini that the library reads, each in the
# section the library reads it from, and no other.
#   config_keys_test.sh ROOT
set -euo pipefail
root=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

grep -rhoE 'config_\.Get(Int|Bool)\("[A-Za-z0-9]+", "[A-Za-z0-9]+"' "$root/src" |
  sed -E 's/.*\("([A-Za-z0-9]+)", "([A-Za-z0-9]+)"/\1 \2/' | sort -u >"$work/read"
# A key belongs to the section defined last above it.
awk -F'"' '/^#define ZK_INI_SECTION_/ { section = $2; next }
           /^#define ZK_INI_/ && !/ZK_INI_FILE/ { print section, $2 }' "$root/include/ZK.h" |
  sort -u >"$work/documented"
diff -u --label "read by the library" --label "ZK.h" "$work/read" "$work/documented"
