#!/usr/bin/env bash
# Installs what the builds, tests and demo need on Debian 12. Quick when
# everything is present; otherwise needs root (or sudo) and the network to
# Debian's archive.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config googletest
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
  wine wine32:i386 fonts-wine xvfb xauth xdotool imagemagick
  libpng-dev zlib1g-dev libzstd-dev liblz4-dev
  clang libclang-rt-14-dev
  tigervnc-scraping-server
  openjdk-17-jdk-headless
)

missing=()
for pkg in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done
((${#missing[@]} == 0)) && exit 0

sudo=""
[ "$(id -u)" = 0 ] || sudo=sudo
echo "setup: installing ${missing[*]}" >&2
dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
$sudo apt-get update -qq
# The JDK's post-install links its manual pages into a folder that slim
# images leave out.
$sudo mkdir -p /usr/share/man/man1
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
