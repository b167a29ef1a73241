#!/bin/sh
# Configures the source tree the way a packager or an NDK user would, with
# no preset and no options (`cmake -S . -B build`), and builds the library
# alone.  Warnings must not be errors there: a newer compiler's new warning
# would otherwise stop the build.
# Usage: run.sh <source dir> <scratch dir>
set -eu
src=$1 work=$2
rm -rf "$work"
cmake -S "$src" -B "$work" >"$work.log" 2>&1 || { cat "$work.log"; echo "FAILED: configure"; exit 1; }
# compile_commands.json holds the C and C++ flags, the build files javac's.
if grep -rq --include=compile_commands.json --include=build.ninja --include='*.make' -- \
    "-Werror" "$work"; then
  echo "FAILED: a plain configure compiles with -Werror"
  exit 1
fi
cmake --build "$work" --target tavrin_amix --parallel 2 >>"$work.log" 2>&1 ||
  { tail -n 40 "$work.log"; echo "FAILED: build"; exit 1; }
ls "$work"/libtavrin_amix.so.* >/dev/null
echo "plain configure and library build: ok"
