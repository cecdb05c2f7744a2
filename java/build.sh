#!/usr/bin/env bash
# Builds the Java-side runtime, build/java/kvnruntime.jar, for the oldest class file version
# this javac still emits (Java 7; Java 8 on JDKs that dropped 7), then builds and runs its
# tests with JUnit 4 from Debian, whose text report ends with 'OK (N tests)' or 'Tests run: N,
# Failures: N' (scripts/run_tests.py counts it); exits non-zero when a test fails.
#
#   java/build.sh              # build and test
#   java/build.sh --no-tests   # build the archive only (what scripts/build.sh does)
set -euo pipefail
cd "$(dirname "$0")/.."

run_tests=1
for arg in "$@"; do
    case $arg in
        --no-tests) run_tests=0 ;;
        *) echo "usage: java/build.sh [--no-tests]" >&2; exit 2 ;;
    esac
done

out=build/java
jdk_major=$(javac -version 2>&1 | sed -n 's/^javac \([0-9]*\).*/\1/p')
release=7
if [[ -z $jdk_major || $jdk_major -ge 20 ]]; then
    release=8
fi

rm -rf "$out/classes" "$out/test-classes" "$out/kvnruntime.jar"
mkdir -p "$out/classes"
mapfile -t sources < <(find java/src/main/java -name '*.java' | sort)
javac --release "$release" -Xlint:all,-options -Werror -encoding UTF-8 -d "$out/classes" "${sources[@]}"
jar --create --file "$out/kvnruntime.jar" -C "$out/classes" .
echo "java: built $out/kvnruntime.jar (class files for Java $release)"

((run_tests)) || exit 0

junit=/usr/share/java/junit4.jar
hamcrest=/usr/share/java/hamcrest.jar
for lib in "$junit" "$hamcrest"; do
    if [[ ! -f $lib ]]; then
        echo "java: $lib is missing; run scripts/setup.sh (Debian package junit4)" >&2
        exit 1
    fi
done

mkdir -p "$out/test-classes"
mapfile -t test_sources < <(find java/src/test/java -name '*.java' | sort)
javac -Xlint:all -Werror -encoding UTF-8 -cp "$out/kvnruntime.jar:$junit:$hamcrest" \
    -d "$out/test-classes" "${test_sources[@]}"
mapfile -t test_classes < <(cd java/src/test/java && find . -name '*Test.java' | sort |
    sed 's|^\./||; s|\.java$||; s|/|.|g')

exec java -cp "$out/test-classes:$out/kvnruntime.jar:$junit:$hamcrest" \
    -Dtesmo.test.runtimeJar="$PWD/$out/kvnruntime.jar" \
    -Dtesmo.test.classes="$PWD/$out/test-classes" \
    -Dtesmo.test.classRelease="$release" \
    org.junit.runner.JUnitCore "${test_classes[@]}"
