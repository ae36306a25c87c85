# Helpers of the session benchmark's scripts (sourced): the CPU time of the
# processes they measure.
ticks=$(getconf CLK_TCK)

# CPU seconds used so far by a process (user and system).
cpu_seconds() {
  [ "$1" -gt 0 ] 2>/dev/null || { echo 0; return; }
  awk -v t="$ticks" '{ sub(/.*\) /, ""); split($0, f, " "); printf "%.2f", (f[12] + f[13]) / t }' \
    "/proc/$1/stat" 2>/dev/null || echo 0
}
# The Linux process of a running Wine program of this prefix, found by its
# command line (other people's tests may run the same programs meanwhile).
wine_pid() {
  local pid
  for pid in $(ls /proc | grep -E '^[0-9]+$'); do
    { tr '\0' ' ' < "/proc/$pid/cmdline"; } 2>/dev/null | grep -q "$1" || continue
    { tr '\0' '\n' < "/proc/$pid/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" &&
      { echo "$pid"; return; }
  done
}
# This prefix's wineserver: it works in a folder named after the prefix's
# device and inode (other prefixes may have servers running too).
wineserver_pid() {
  local id pid
  id=server-$(printf '%x-%x' "$(stat -c %d "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")
  for pid in $(pgrep wineserver); do
    case "$(readlink "/proc/$pid/cwd")" in */"$id") echo "$pid"; return ;; esac
  done
  echo 0
}
