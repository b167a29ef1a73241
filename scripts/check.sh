#!/bin/sh
# Builds everything and runs every test: the optimised build, the
# AddressSanitizer+UBSan build, the ThreadSanitizer build, valgrind memcheck
# over the native tests, the threaded tests once more on a machine kept busy
# (dev and valgrind), each libFuzzer target for a bounded time
# (AMIX_FUZZ_SECONDS, default 60), and the native tests of the arm64 and
# armhf cross builds under qemu-user.
# Usage: scripts/check.sh [stage...]
#   stages: deps dev asan tsan valgrind busy fuzz arm64 armhf (default: all of them)
set -eu
cd "$(dirname "$0")/.."
JOBS=$(nproc 2>/dev/null || echo 2)

stage_deps() { scripts/deps.sh --cross; }

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
memcheck() {  # list-file: every test program in it under memcheck
  # Their deadlines and watchdog stretch with the tenfold slower run; the
  # stub keeps libhwy's load-time timer probe off RDTSCP, which valgrind
  # claims on hosts that lack it.
  stub=$(ls "$PWD"/build/dev/tests/libhwy_timer_stub.so 2>/dev/null || true)
  while read -r t; do
    echo "=== valgrind: ${t##*/}"
    AMIX_TEST_TIME_SCALE=10 LD_PRELOAD=$stub valgrind --quiet --error-exitcode=99 --leak-check=full \
      --errors-for-leak-kinds=definite --track-origins=yes "$t" --gtest_brief=1
  done <"$1"
}
stage_valgrind() {  # after dev: every native test program
  [ -f build/dev/tests/native-tests.txt ] || stage_dev
  memcheck build/dev/tests/native-tests.txt
}
# The threaded tests again while other processes keep every core busy, so
# that threads are preempted at any point: in the dev build and under
# valgrind.
stage_busy() {
  [ -f build/dev/tests/threads-tests.txt ] || stage_dev
  stress-ng --cpu "$JOBS" --timeout 30m --quiet &
  busy=$!
  trap 'kill "$busy" 2>/dev/null' EXIT
  echo "=== busy: dev"
  ctest --preset dev -L threads
  memcheck build/dev/tests/threads-tests.txt
  kill "$busy"
  wait "$busy" || true
  trap - EXIT
}
stage_arm64() { build_and_test arm64; }
stage_armhf() { build_and_test armhf; }

stage_fuzz() {
  echo "=== fuzz: build"
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz -j "$JOBS"
  for f in build/fuzz/tests/fuzz/fuzz_*; do
    name=${f##*/fuzz_}
    corpus=build/fuzz/corpus/$name
    mkdir -p "$corpus"
    if [ -d "tests/fuzz/corpus/$name" ]; then cp -r "tests/fuzz/corpus/$name/." "$corpus/"; fi
    set -- -max_total_time="${AMIX_FUZZ_SECONDS:-60}" -timeout=20 -print_final_stats=1 \
      -artifact_prefix="build/fuzz/$name-"
    if [ -f "tests/fuzz/$name.dict" ]; then set -- "$@" -dict="tests/fuzz/$name.dict"; fi
    echo "=== fuzz: $name"
    if ! "$f" "$@" "$corpus" >"build/fuzz/$name.log" 2>&1; then
      tail -n 60 "build/fuzz/$name.log"
      echo "=== fuzz: $name FAILED"
      return 1
    fi
    grep -E "stat::(number_of_executed_units|average_exec_per_sec)" "build/fuzz/$name.log" | sed "s/^/    $name /"
  done
}

stages=${*:-"deps dev asan tsan valgrind busy fuzz arm64 armhf"}
start=$(date +%s)
for s in $stages; do
  t0=$(date +%s)
  "stage_$s"
  echo "=== stage $s took $(( $(date +%s) - t0 ))s"
done
echo "=== all stages passed in $(( $(date +%s) - start ))s"
