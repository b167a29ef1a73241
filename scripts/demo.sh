#!/bin/sh
# The main job on a fresh Debian 12 machine: installs what is missing, builds
# the library and the amix tool, and runs the tool's demo, which synthesises
# tracks of several rates and layouts, converts, streams and mixes them, and
# writes WAV files, a picture of the mix and a timing table into DIR.
# Usage: scripts/demo.sh [DIR]   (default: ./amix-demo)
set -eu
dir=${1:-amix-demo}
case $dir in /*) ;; *) dir=$(pwd)/$dir ;; esac
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset dev >/dev/null
cmake --build --preset dev --target amix -j "$(nproc 2>/dev/null || echo 2)"
exec build/dev/tools/amix demo "$dir"
