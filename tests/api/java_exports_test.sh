#!/usr/bin/env bash
# Checks ZK.dll against ZKWrapper.java: javac -h lists the natives the Java
# class declares, and each must be exported under the name a 32-bit JVM looks
# up, "_Java_<class>_<method>@<argument bytes>", with the environment and the
# object counted and 8 bytes for a long or double, 4 for anything else. No
# other export may be named Java_.
#   java_exports_test.sh JAVAC ZKWrapper.java ZK.dll OBJDUMP
set -euo pipefail
javac=$1 wrapper=$2 dll=$3 objdump=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$javac" -h "$work" -d "$work" "$wrapper"
# A declaration spans two lines: "JNIEXPORT ... JNICALL Java_x_name" and
# "  (JNIEnv *, jobject, jint);".
awk '
  /JNICALL Java_/ { name = $NF; next }
  name != "" {
    gsub(/[();]/, ""); n = split($0, types, ",")
    bytes = 0
    for (i = 1; i <= n; i++) bytes += (types[i] ~ /jlong|jdouble/) ? 8 : 4
    print "_" name "@" bytes; name = ""
  }' "$work"/com_morvane_zksharedlet_ZKWrapper.h | sort > "$work/declared"

"$objdump" -p "$dll" |
  awk '/\[Ordinal\/Name Pointer\] Table/ { table = 1; next }
       table && NF == 0 { table = 0 }
       table { print $NF }' |
  grep 'Java_' | sort > "$work/exported" || true

declared=$(wc -l < "$work/declared")
if [ "$declared" -ne 19 ]; then
  echo "ZKWrapper.java declares $declared natives, not 19"
  exit 1
fi
if ! diff -u --label declared --label exported "$work/declared" "$work/exported"; then
  echo "the Java exports of $dll differ from the natives of $wrapper"
  exit 1
fi
echo "19 natives exported under their decorated names"
