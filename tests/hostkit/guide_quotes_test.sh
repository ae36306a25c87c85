#!/usr/bin/env bash
# Code a guide quotes is the repository's own, not a copy that drifts: every
# fenced block that follows a line "<!-- quoted from PATH -->" stands, line
# for line and unbroken, in PATH (relative to the repository's root).
#   guide_quotes_test.sh ROOT GUIDE
set -uo pipefail
root=$1 guide=$2
fence='```'
status=0 quotes=0 path="" state=text block=""

check() {
  quotes=$((quotes + 1))
  local source
  source=$(<"$root/$path") || { status=1; return; }
  if [[ $'\n'"$source"$'\n' != *$'\n'"$block"* ]]; then
    echo "guide_quotes_test.sh: $guide quotes, as from $path, lines that are not in it:" >&2
    printf '%s' "$block" >&2
    status=1
  fi
}

while IFS= read -r line; do
  case $state in
    text)
      if [[ $line =~ ^\<!--\ quoted\ from\ ([^ ]+)\ --\>$ ]]; then
        path=${BASH_REMATCH[1]} state=marked
      fi ;;
    marked)
      if [[ $line != "$fence"* ]]; then
        echo "guide_quotes_test.sh: no code after the quote of $path" >&2
        status=1
      fi
      state=quote block="" ;;
    quote)
      if [[ $line == "$fence" ]]; then
        check
        state=text
      else
        block+=$line$'\n'
      fi ;;
  esac
done <"$root/$guide"

((quotes > 0)) || { echo "guide_quotes_test.sh: $guide quotes nothing" >&2; status=1; }
exit $status
