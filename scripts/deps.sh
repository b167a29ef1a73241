#!/bin/sh
# Installs what building and testing need on Debian 12 (as root, or through
# sudo).  Does nothing when every package is already there.
set -eu

PACKAGES="
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  libswresample-dev libavutil-dev android-liblog-dev libhwy-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  openjdk-17-jdk-headless junit5
  libsndfile1-dev
  valgrind
"

missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "Installing:$missing"
$SUDO apt-get update
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends $missing
