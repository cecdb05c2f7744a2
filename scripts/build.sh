#!/usr/bin/env bash
# Configures and builds the native tree (core under the sanitizers, the block tool), the
# fuzz tree (core and libFuzzer targets, built by clang), the two Windows trees (64-bit
# launcher with tests and helpers, the shipped 32-bit launcher) and the Java-side runtime
# archive build/java/kvnruntime.jar.
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p build

for preset in native fuzz win64 win32; do
    started=$SECONDS
    log=build/$preset.build.log
    if ! { [[ -f build/$preset/build.ninja ]] || cmake --preset "$preset"; } >"$log" 2>&1 ||
        ! cmake --build "build/$preset" -- -j"$(nproc)" >>"$log" 2>&1; then
        cat "$log"
        echo "build: $preset failed" >&2
        exit 1
    fi
    echo "build: $preset ok ($((SECONDS - started)) s)"
done

log=build/java.build.log
started=$SECONDS
if ! java/build.sh --no-tests >"$log" 2>&1; then
    cat "$log"
    echo "build: java failed" >&2
    exit 1
fi
echo "build: java ok ($((SECONDS - started)) s)"
