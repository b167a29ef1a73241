#!/bin/sh
# Installs what is missing, builds the library and runs the example.
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset dev >/dev/null
cmake --build --preset dev -j "$(nproc 2>/dev/null || echo 2)"
build/dev/tools/mix_example
