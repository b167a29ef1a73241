#!/bin/sh
# Builds everything and runs every test: the optimised build, then the
# AddressSanitizer+UBSan build and the ThreadSanitizer build.
# Usage: scripts/check.sh [stage...]   (stages: deps dev asan tsan; default all)
set -eu
cd "$(dirname "$0")/.."
JOBS=$(nproc 2>/dev/null || echo 2)

stage_deps() { scripts/deps.sh; }

build_and_test() {  # preset [ctest args...]
  preset=$1; shift
  echo "=== $preset: build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$JOBS"
  echo "=== $preset: test"
  ctest --preset "$preset" -j "$JOBS" "$@"
}

stage_dev() { build_and_test dev; }
stage_asan() { build_and_test asan; }
stage_tsan() { build_and_test tsan -L native; }

stages=${*:-"deps dev asan tsan"}
start=$(date +%s)
for s in $stages; do
  t0=$(date +%s)
  "stage_$s"
  echo "=== stage $s took $(( $(date +%s) - t0 ))s"
done
echo "=== all stages passed in $(( $(date +%s) - start ))s"
