#!/usr/bin/env bash
# Builds mbed TLS for the 32-bit Windows cross build from Debian's source
# package and prints the folder it is installed in (include/ and lib/ with the
# three static libraries). The build is kept outside the clone, keyed by the
# package's version, so that later runs and other clones take it at once:
#   ${ZK_DEPS_CACHE:-$HOME/.cache/zk-deps}/mbedtls-VERSION-i686
# Needs root (or sudo) and the package archive only the first time.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cache=${ZK_DEPS_CACHE:-$HOME/.cache/zk-deps}
sources=/etc/apt/sources.list.d/zk-src.list
sudo=""
[ "$(id -u)" = 0 ] || sudo=sudo

say() { echo "mbedtls.sh: $*" >&2; }
fail() { say "$*"; exit 1; }

# The newest version apt knows of; empty without a source index.
source_version() {
  { apt-cache showsrc mbedtls 2>/dev/null || true; } | sed -n 's/^Version: //p' | sort -V | tail -n 1
}

finished() { [ -f "$cache/mbedtls-$1-i686/lib/libmbedtls.a" ]; }

# A deb-src line for the archive the machine already installs bookworm from.
# apt refuses two entries for one archive that name different keyrings, so the
# line takes the keyring that apt accepts beside the existing entry.
add_source_entry() {
  local uri keyring
  uri=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(TARGET_OF)' |
        awk '$2 == "bookworm" && $3 == "deb" { print $1; exit }')
  [ -n "$uri" ] || fail "apt has no bookworm archive to take the sources from"
  for keyring in "" $(grep -rhoi 'signed-by[:=] *[^] ]*' /etc/apt/sources.list /etc/apt/sources.list.d 2>/dev/null |
                      sed 's/^[^:=]*[:=] *//' | sort -u); do
    echo "deb-src ${keyring:+[signed-by=$keyring] }$uri bookworm main" | $sudo tee "$sources" >/dev/null
    apt-get indextargets >/dev/null 2>&1 && return 0
  done
  $sudo rm -f "$sources"
  fail "no deb-src entry for $uri that apt accepts beside the existing ones"
}

# Only the new entry's index is fetched: an index elsewhere that a mirror
# is in the middle of syncing must not stop this. A failed try is retried.
update_source_index() {
  local attempt
  for attempt in 1 2 3; do
    $sudo apt-get update -qq -o Dir::Etc::sourcelist="$sources" -o Dir::Etc::sourceparts=- \
      -o APT::Get::List-Cleanup=0 && return 0
    sleep $((attempt * 5))
  done
  say "the source index did not download three times"
}

# Downloads (apt checks the files against the signed source index), unpacks
# (dpkg-source checks them against the .dsc), builds and installs into $1/prefix.
build_into() {
  local work=$1
  (cd "$work" && apt-get source --download-only -qq mbedtls) >&2 || fail "apt-get source mbedtls failed"
  local dsc
  dsc=$(ls "$work"/mbedtls_*.dsc)
  dpkg-source -x "$dsc" "$work/src" >&2 || fail "dpkg-source refused $dsc: its files do not match"
  cmake -S "$work/src" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DCMAKE_INSTALL_PREFIX="$work/prefix" \
    -DENABLE_TESTING=OFF -DENABLE_PROGRAMS=OFF >&2
  ninja -C "$work/build" -j2 install >&2
}

version=$(source_version)
if [ -n "$version" ] && finished "$version"; then
  echo "$cache/mbedtls-$version-i686"
  exit 0
fi

mkdir -p "$cache"
# One run at a time goes further on this machine; whoever waited finds the
# source entry there and, most often, the build done.
exec 9>"$cache/.mbedtls.lock"
flock 9
version=$(source_version)
if [ -z "$version" ]; then
  [ -f "$sources" ] || add_source_entry
  update_source_index
  version=$(source_version)
  [ -n "$version" ] || fail "apt knows no source package mbedtls (see $sources)"
fi
if ! finished "$version"; then
  say "building mbed TLS $version for i686 (once per machine)"
  work=$(mktemp -d "$cache/.mbedtls-build.XXXXXX")
  trap 'rm -rf "$work"' EXIT
  build_into "$work"
  built=$(sed -n 's/^Version: //p' "$work"/mbedtls_*.dsc)
  [ "$built" = "$version" ] || fail "apt fetched mbedtls $built, not $version"
  # The rename makes the build appear whole or not at all.
  rm -rf "$cache/mbedtls-$version-i686"
  mv "$work/prefix" "$cache/mbedtls-$version-i686"
fi
echo "$cache/mbedtls-$version-i686"
