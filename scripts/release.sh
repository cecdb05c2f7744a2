#!/usr/bin/env bash
# Makes the release of the version in CMakeLists.txt: tesmo-<version>-windows.zip, whose
# tesmo-build.exe is built 32-bit so that it runs on every Windows, and
# tesmo-<version>-linux-x86_64.tar.gz, whose tesmo-build is an optimised static build (no
# sanitizers). Both hold, in one folder tesmo-<version>/, the two stubs beside the tool (where
# it looks for them), kvnruntime.jar, java/README.md, the demo, README.md, LICENSE and a
# SHA256SUMS of the folder's files; a SHA256SUMS of the two archives lies beside them.
#
#   scripts/release.sh [--out DIR]     # DIR: where the archives go, dist/ by default
#
# It builds only what it ships, in the trees of $TESMO_BUILD_DIR (build/ by default): the
# launchers and the 32-bit tool in win32 and win64, configured as their presets do when
# scripts/build.sh has not, and the tool in release-linux. The source tree is only read.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/dist
while (($#)); do
    case $1 in
        --out) out=${2:?--out needs a folder}; shift 2 ;;
        *) echo "usage: scripts/release.sh [--out DIR]" >&2; exit 2 ;;
    esac
done
build=${TESMO_BUILD_DIR:-$root/build}
mkdir -p "$build" "$out"
out=$(cd "$out" && pwd)
log=$build/release.build.log
: >"$log"

fail() {
    cat "$log"
    echo "release: $*" >&2
    exit 1
}

# build_tree NAME TARGET... -- CONFIGURE-OPTION...: builds the targets in $build/NAME, configured
# with the options unless it already is.
build_tree() {
    local dir=$build/$1 targets=()
    shift
    while [[ $1 != -- ]]; do targets+=("$1"); shift; done
    shift
    { [[ -f $dir/build.ninja ]] || cmake -S "$root" -B "$dir" -G Ninja "$@"; } >>"$log" 2>&1 &&
        cmake --build "$dir" --target "${targets[@]}" -- -j"$(nproc)" >>"$log" 2>&1 ||
        fail "building ${targets[*]} in $dir failed"
}

build_tree win32 tesmo tesmo-build -- -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DTESMO_BUILD_TESTS=OFF
build_tree win64 tesmo -- -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release
# Optimised for size, as the launcher is: at -O2 and -O3 GCC 12 reports a false -Wrestrict in
# its own string code, which -Werror would make an error.
build_tree release-linux tesmo-build -- -DCMAKE_BUILD_TYPE=MinSizeRel -DTESMO_BUILD_TESTS=OFF \
    "-DCMAKE_EXE_LINKER_FLAGS=-static -s"
jar=$build/java/kvnruntime.jar
if [[ ! -f $jar && $build -ef $root/build ]]; then
    "$root/java/build.sh" --no-tests >>"$log" 2>&1 || fail "building kvnruntime.jar failed"
fi
[[ -f $jar ]] || fail "$jar is missing: java/build.sh builds it"
# Beside the tool there is no MinGW runtime DLL: it has to start on a bare Windows.
if i686-w64-mingw32-objdump -p "$build/win32/tools/tesmo-build.exe" | grep -i "DLL Name: lib"; then
    fail "tesmo-build.exe imports a DLL that Windows does not have"
fi

version=$("$build/release-linux/tools/tesmo-build" --version)
version=${version#tesmo-build }
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

# release KIND TOOL: stages the files of one archive under $stage/KIND/tesmo-<version>.
release() {
    local top=$stage/$1/tesmo-$version
    mkdir -p "$top/java"
    cp "$2" "$build/win32/tesmo32.exe" "$build/win64/tesmo64.exe" "$jar" "$root/README.md" \
        "$root/LICENSE" "$top/"
    cp "$root/java/README.md" "$top/java/"
    # The demo as checked in: nothing a build or a run left in its folder.
    (cd "$root" && git ls-files -z examples/demo | xargs -0 cp --parents -t "$top")
    (cd "$top" && find . -type f ! -name SHA256SUMS -printf '%P\n' | LC_ALL=C sort |
        xargs -d '\n' sha256sum >SHA256SUMS)
}

windows=tesmo-$version-windows.zip
linux=tesmo-$version-linux-x86_64.tar.gz
release windows "$build/win32/tools/tesmo-build.exe"
release linux "$build/release-linux/tools/tesmo-build"
rm -f "$out/$windows" "$out/$linux"
(cd "$stage/windows" && zip -qrX "$out/$windows" "tesmo-$version")
tar -C "$stage/linux" --sort=name --owner=0 --group=0 --numeric-owner -czf "$out/$linux" \
    "tesmo-$version"
(cd "$out" && sha256sum "$windows" "$linux" >SHA256SUMS)
echo "release: $version"
(cd "$out" && ls -l "$windows" "$linux" SHA256SUMS)
