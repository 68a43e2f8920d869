#!/usr/bin/env bash
# Runs each libFuzzer target of fuzz/ for a short time on its seed corpus (fuzz/corpus/<target>), the
# regression inputs of the test suite (tests/pipeline/regressions/<target>) and, when present, the
# matching ../shared/testdata files. The targets come from the clang build with AddressSanitizer and
# UndefinedBehaviorSanitizer that also runs the test suite (build-sanitize, built here if needed).
# Fails on the first crash, leak, timeout or out-of-memory; the input is kept in
# build-sanitize/fuzz-artifacts/.
#   scripts/fuzz-smoke.sh [seconds-per-target]     (default 30, or 10 when CI=true)
set -euo pipefail
cd "$(dirname "$0")/.."
default_seconds=30
[ "${CI:-}" = "true" ] && default_seconds=10
seconds=${1:-$default_seconds}
parallel=2 # targets run at the same time

source scripts/build-env.sh
build=$sanitize_build
configure_sanitize
cmake --build "$build" --target fuzz_all -j "$jobs"

testdata=../shared/testdata
testdata_for() {
    case $1 in
    bmp) echo bmpsuite ;;
    png | pngconvert) echo pngsuite ;;
    gif) echo gif ;;
    tiff) echo tiff ;;
    jpeg2000) echo jpeg2000 ;;
    ico | icns) echo icons ;;
    esac
}

# The dictionary of tokens (fuzz/dict/) a target mutates with: its format's, or all of them for the
# targets that take any file.
dictionary_for() {
    case $1 in
    pngconvert) echo fuzz/dict/png.dict ;;
    typecheck | processfile) echo "$work/all.dict" ;;
    *) [ -f "fuzz/dict/$1.dict" ] && echo "fuzz/dict/$1.dict" ;;
    esac
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat fuzz/dict/*.dict >"$work/all.dict"
artifacts=$build/fuzz-artifacts
mkdir -p "$artifacts"

run_target() {
    local target=$1 corpus=$work/$1
    mkdir -p "$corpus"
    cp fuzz/corpus/"$target"/* "$corpus"/ 2>/dev/null || true
    cp tests/pipeline/regressions/"$target"/* "$corpus"/ 2>/dev/null || true
    local folder
    folder=$(testdata_for "$target")
    if [ -n "$folder" ] && [ -d "$testdata/$folder" ]; then
        find "$testdata/$folder" -type f -size -200k -exec cp -n {} "$corpus"/ \;
    fi
    local options=()
    local dictionary
    dictionary=$(dictionary_for "$target" || true)
    [ -n "$dictionary" ] && options+=("-dict=$dictionary")
    if ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp "$build/fuzz/fuzz_$target" "$corpus" "${options[@]}" -max_total_time="$seconds" \
        -rss_limit_mb=2048 -timeout=10 -artifact_prefix="$artifacts/$target-" -print_final_stats=1 \
        >"$work/$target.log" 2>&1; then
        echo "fuzz_$target: $(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$work/$target.log" |
            grep -o '[0-9]*$') runs, no finding"
    else
        echo "fuzz_$target: FINDING"
        tail -n 40 "$work/$target.log"
        return 1
    fi
}

targets=()
for source in fuzz/fuzz_*.cpp; do
    name=${source#fuzz/fuzz_}
    targets+=("${name%.cpp}")
done

failed=0
for ((i = 0; i < ${#targets[@]}; i += parallel)); do
    pids=()
    for target in "${targets[@]:i:parallel}"; do
        run_target "$target" &
        pids+=($!)
    done
    for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
done
exit $failed
