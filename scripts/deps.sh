#!/bin/sh
# Installs what building and testing need on Debian 12 (as root, or through
# sudo).  Does nothing when every package is already there.  ffmpeg and sox
# (with its Ogg Vorbis format) make the files of the tool's end-to-end tests,
# and ffmpeg's ebur128 filter is the reference for its loudness.  stress-ng
# keeps the cores busy while the threaded tests run again.
# With --cross: also the arm64 and armhf cross compilers, the multiarch
# libraries they link, and qemu-user to run their tests.
set -eu

PACKAGES="
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  libswresample-dev libavutil-dev android-liblog-dev libhwy-dev
  libgtest-dev libgmock-dev libbenchmark-dev libsoxr-dev
  openjdk-17-jdk-headless junit5
  libsndfile1-dev libcairo2-dev libebur128-dev
  valgrind stress-ng
  ffmpeg sox libsox-fmt-base
"

CROSS_PACKAGES="
  g++-aarch64-linux-gnu g++-arm-linux-gnueabihf qemu-user
  libswresample-dev:arm64 libavutil-dev:arm64 android-liblog-dev:arm64 libhwy-dev:arm64 libgtest-dev:arm64
  libswresample-dev:armhf libavutil-dev:armhf android-liblog-dev:armhf libhwy-dev:armhf libgtest-dev:armhf
"

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
if [ "${1:-}" = "--cross" ]; then
  for arch in arm64 armhf; do
    dpkg --print-foreign-architectures | grep -qx "$arch" || $SUDO dpkg --add-architecture "$arch"
  done
  PACKAGES="$PACKAGES $CROSS_PACKAGES"
fi

missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

echo "Installing:$missing"
# A package index that fails to download (a mirror mid-sync) costs only the
# packages it alone would give: go on with the lists that did download, and
# fail below only if a package cannot be installed.
$SUDO apt-get update || echo "deps.sh: some package lists did not download; going on with the others" >&2
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends $missing
