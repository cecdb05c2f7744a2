#!/usr/bin/env bash
# Builds the fuzz tree and runs its libFuzzer targets, each for as long as asked.
#
#   scripts/fuzz.sh [--seconds N] [--merge] [TARGET...]
#
# Without targets every one runs, one after the other (default 60 s each). A run starts
# from the checked-in seeds (tests/fuzz/corpus/TARGET) and what earlier runs found
# (build/fuzz/corpus/TARGET), and keeps new inputs in the latter; crashes, leaks, timeouts
# and broken properties land in build/fuzz/findings/ with the log beside them. --merge
# adds the inputs that reach new coverage to the checked-in seeds afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=60
merge=false
targets=()
while (($#)); do
    case "$1" in
        --seconds) seconds="$2"; shift 2 ;;
        --merge) merge=true; shift ;;
        -h|--help) sed -n '2,10s/^# \{0,1\}//p' "$0"; exit 0 ;;
        -*) echo "fuzz: unknown option $1" >&2; exit 2 ;;
        *) targets+=("$1"); shift ;;
    esac
done

mkdir -p build
log=build/fuzz.build.log
if ! { [[ -f build/fuzz/build.ninja ]] || cmake --preset fuzz; } >"$log" 2>&1 ||
    ! cmake --build build/fuzz -- -j2 >>"$log" 2>&1; then
    cat "$log"
    echo "fuzz: build failed" >&2
    exit 1
fi

if ((${#targets[@]} == 0)); then
    for source in tests/fuzz/*_fuzz.cpp; do
        name=$(basename "$source" .cpp)
        targets+=("${name%_fuzz}")
    done
fi

findings=build/fuzz/findings
mkdir -p "$findings"
failed=()
for target in "${targets[@]}"; do
    binary=build/fuzz/tests/fuzz/$target
    if [[ ! -x $binary ]]; then
        echo "fuzz: no target $target" >&2
        exit 2
    fi
    corpus=build/fuzz/corpus/$target
    seeds=tests/fuzz/corpus/$target
    mkdir -p "$corpus" "$seeds"
    dictionary=()
    [[ -f tests/fuzz/$target.dict ]] && dictionary=(-dict="tests/fuzz/$target.dict")
    echo "fuzz: $target for $seconds s"
    if "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$findings/$target-" "${dictionary[@]}" \
        "$corpus" "$seeds" >"$findings/$target.log" 2>&1; then
        grep -E '^#[0-9]+[[:space:]]+DONE' "$findings/$target.log" | tail -1 || true
    else
        failed+=("$target")
        grep -E 'ERROR|SUMMARY|property broken|Test unit written' "$findings/$target.log" || true
        echo "fuzz: $target failed; the whole log is $findings/$target.log"
    fi
    if $merge; then
        "$binary" -merge=1 "${dictionary[@]}" "$seeds" "$corpus" >>"$findings/$target.log" 2>&1 ||
            failed+=("$target (merge)")
        echo "fuzz: $target seeds now $(find "$seeds" -type f | wc -l) files"
    fi
done

if ((${#failed[@]})); then
    echo "fuzz: findings in ${failed[*]}" >&2
    exit 1
fi
echo "fuzz: no findings"
