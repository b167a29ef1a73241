#!/bin/sh
# Installs the build into a scratch prefix, then builds and runs outside
# consumers against it: through find_package, through pkg-config, and a
# Java program loading the installed library with the installed jar.
# Usage: run.sh <build dir> <source dir> <scratch dir>
set -eu
build=$1 src=$2 work=$3
rm -rf "$work"
mkdir -p "$work"
cmake --install "$build" --prefix "$work/prefix" >"$work/install.log"
libdir=$(dirname "$(find "$work/prefix" -name 'libtavrin_amix.so' | head -n 1)")

cmake -S "$src/tests/install/consumer" -B "$work/cmake" -G Ninja \
  -DCMAKE_PREFIX_PATH="$work/prefix" >"$work/cmake.log"
cmake --build "$work/cmake" >>"$work/cmake.log"
LD_LIBRARY_PATH=$libdir "$work/cmake/consumer"

PKG_CONFIG_PATH=$libdir/pkgconfig
export PKG_CONFIG_PATH
# shellcheck disable=SC2046
cc -std=c11 -Wall -Werror "$src/tests/install/consumer/consumer.c" \
  $(pkg-config --cflags --libs tavrin_amix) -o "$work/pc-consumer"
LD_LIBRARY_PATH=$libdir "$work/pc-consumer"
# pkg-config's directories exist and print without a doubled slash.
for v in libdir includedir; do
  d=$(pkg-config --variable=$v tavrin_amix)
  case $d in *//*) echo "FAILED: pkg-config $v '$d' has a doubled slash"; exit 1 ;; esac
  [ -d "$d" ] || { echo "FAILED: pkg-config $v '$d' is not a directory"; exit 1; }
done

[ -f "$work/prefix/share/doc/tavrin_amix/README.md" ] || { echo "FAILED: no README installed"; exit 1; }

jar=$(find "$work/prefix/share/java" -name 'tavrin-amix-*.jar' ! -name '*-javadoc.jar' ! -name '*-sources.jar' | head -n 1)
javac -d "$work/java" -cp "$jar" "$src/tests/install/consumer/Hello.java"
java -Djava.library.path="$libdir" -cp "$jar:$work/java" Hello

# On a desktop host liblog prints the library's INFO lines to stderr; the
# README's ways to keep them off: lower liblog's priority, or take the lines
# into a logger of one's own (C), or preload a library that lowers it (Java).
android=/usr/lib/$(cc -print-multiarch)/android
# shellcheck disable=SC2046
cc -std=c11 -Wall -Werror "$src/tests/install/consumer/quiet_log.c" \
  $(pkg-config --cflags --libs tavrin_amix) -I/usr/include/android -L"$android" -llog \
  -Wl,-rpath,"$android" -o "$work/quiet-log"
LD_LIBRARY_PATH=$libdir "$work/quiet-log" 2>"$work/quiet-log.err"
cc -shared -fPIC "$src/tests/install/consumer/quiet_liblog.c" -I/usr/include/android \
  -L"$android" -llog -Wl,-rpath,"$android" -o "$work/libquiet_liblog.so"
java -Djava.library.path="$libdir" -cp "$jar:$work/java" Hello >/dev/null 2>"$work/java-loud.err"
LD_PRELOAD=$work/libquiet_liblog.so java -Djava.library.path="$libdir" -cp "$jar:$work/java" Hello \
  >/dev/null 2>"$work/java-quiet.err"
grep -q "Zelvarion I" "$work/java-loud.err" || { echo "FAILED: no INFO lines to quiet"; exit 1; }
if grep -q "Zelvarion I" "$work/quiet-log.err" "$work/java-quiet.err"; then
  echo "FAILED: INFO lines on stderr after lowering liblog's priority"
  exit 1
fi
echo "INFO lines kept off stderr: ok"

# The tool runs from the installed tree and finds the installed library.
"$work/prefix/bin/amix" --help >/dev/null && echo "installed amix: ok"
