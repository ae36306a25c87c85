#!/usr/bin/env bash
# Installs what the builds, tests and demo need on Debian 12. Quick when
# everything is present; otherwise needs root (or sudo) and the network to
# Debian's archive.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config googletest
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
  wine wine32:i386 wine64 fonts-wine xvfb xauth xdotool imagemagick
  g++-mingw-w64-x86-64-posix
  libpng-dev zlib1g-dev libzstd-dev liblz4-dev
  libmbedtls-dev openssl dpkg-dev
  nats-server
  clang libclang-rt-14-dev
  tigervnc-scraping-server tigervnc-viewer
  openjdk-17-jdk-headless
  emscripten chromium websockify
)

# The browser viewer's tests drive chromium with puppeteer-core, pinned by
# tests/web's lock file. npm comes with some node packages and not others.
web_test_modules() {
  local dir
  dir="$(cd "$(dirname "$0")/.." && pwd)/tests/web"
  [ -d "$dir/node_modules/puppeteer-core" ] && return 0
  (cd "$dir" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
}

missing=()
for pkg in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done
command -v npm >/dev/null || missing+=(npm)
if ((${#missing[@]} == 0)); then
  web_test_modules
  exit 0
fi

sudo=""
[ "$(id -u)" = 0 ] || sudo=sudo
echo "setup: installing ${missing[*]}" >&2
dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386

# A mirror in the middle of a sync serves an index whose size does not match
# its Release file; a later try usually finds it whole. When it stays broken,
# the indexes that did load are used.
errors=$(mktemp)
trap 'rm -f "$errors"' EXIT
updated=false
for attempt in 1 2 3; do
  if $sudo apt-get update -qq 2>"$errors"; then
    updated=true
    break
  fi
  sleep $((attempt * 5))
done
$updated || echo "setup: some package indexes failed to download three times; going on with those that loaded ($(grep -m1 -o 'Failed to fetch [^ ]*' "$errors" || echo 'see apt-get update'))" >&2

# The JDK's post-install links its manual pages into a folder that slim
# images leave out.
$sudo mkdir -p /usr/share/man/man1
install_missing() {
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$@" \
    "${missing[@]}" >/dev/null 2>"$errors"
}
if ! install_missing; then
  # Without the security archive's 32-bit index, a 32-bit package cannot match
  # its 64-bit twin's newer security version ("held broken packages"); the
  # release's own versions of both do.
  if grep -q 'held broken packages\|unmet dependencies' "$errors"; then
    echo "setup: the resolver reported broken packages; installing with the release's own archive preferred (-t bookworm)" >&2
    install_missing -t bookworm || { cat "$errors" >&2; exit 1; }
  else
    cat "$errors" >&2
    exit 1
  fi
fi
web_test_modules
