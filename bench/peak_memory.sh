#!/usr/bin/env bash
# Peak memory and time of single conversions, measured with /usr/bin/time -v on a release build:
#  - files whose headers declare enormous sizes (bench/hostile_inputs.py) and the largest accepted
#    pictures; each conversion must stay below 512 MiB resident;
#  - every picture of ../shared/testdata (when present) and the generated files: each file of at most
#    10 MB must convert or fail within 10 s;
#  - large PNG, TIFF and BMP pictures (bench/compare_reduce_on_read.py makes them once, into
#    $GW_LARGE_PICTURES or /tmp/gw-reduce-on-read), which are reduced while they are read: each PNG of
#    64 megapixels must stay below 64 MiB.
# Prints one line per file (exit status, peak resident KiB, seconds) and exits 1 when a bound is broken.
#   bench/peak_memory.sh [build-folder]     (default build-limits)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-limits}
memory_limit_kib=$((512 * 1024))
time_limit_s=10

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ \
    -DGW_FUZZ=ON -DGW_BUILD_TESTS=OFF -DGW_BUILD_BENCH=OFF -DGW_BUILD_UI=OFF >/dev/null
cmake --build "$build" --target glyphwright-cli fuzz_icns -j2 >/dev/null
cli=$build/cli/glyphwright-cli
icns_reader=$build/fuzz/fuzz_icns # the replay program: loads each file named through the ICNS reader

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 bench/hostile_inputs.py "$work/in" >/dev/null
mkdir -p "$work/out"

broken=0
measure() { # file [limit-KiB]: prints "status peak-KiB seconds name", flags broken bounds
    local file=$1 limit_kib=${2:-$memory_limit_kib} command
    if [[ $file == *.icns ]]; then command=("$icns_reader" "$file"); else
        command=("$cli" convert --quiet --output-dir "$work/out" "$file"); fi
    local status=0
    /usr/bin/time -v -o "$work/time.txt" "${command[@]}" >/dev/null 2>&1 || status=$?
    local kib seconds
    kib=$(awk '/Maximum resident set size/ {print $6}' "$work/time.txt")
    seconds=$(awk '/Elapsed \(wall clock\)/ {n = split($8, t, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + t[i]; print s}' "$work/time.txt")
    local size flag=""
    size=$(stat -c %s "$file")
    if ((kib > limit_kib)); then flag=" MEMORY"; broken=1; fi
    if ((size <= 10 * 1024 * 1024)) && awk -v s="$seconds" -v l=$time_limit_s 'BEGIN {exit !(s > l)}'; then
        flag="$flag TIME"; broken=1
    fi
    printf '%-3s %8s KiB %6ss  %s%s\n' "$status" "$kib" "$seconds" "${file#"$work"/in/}" "$flag"
    rm -f "$work/out"/*
}

echo "== declared sizes (status 0 = converted)"
for file in "$work"/in/*; do measure "$file"; done

testdata=../shared/testdata
if [ -d "$testdata" ]; then
    echo "== testdata pictures, slowest and largest five"
    find "$testdata" -type f \( -iname '*.bmp' -o -iname '*.png' -o -iname '*.gif' -o -iname '*.tif' \
        -o -iname '*.tiff' -o -iname '*.jp2' -o -iname '*.j2k' -o -iname '*.jpf' -o -iname '*.jpg' \
        -o -iname '*.icns' \) -size -10M | sort | while read -r file; do measure "$file"; done >"$work/testdata.txt"
    sort -k4 -n -r "$work/testdata.txt" | sed -n '1,5p'
    sort -k2 -n -r "$work/testdata.txt" | sed -n '1,5p'
    grep -E 'MEMORY|TIME' "$work/testdata.txt" && broken=1
    echo "$(wc -l <"$work/testdata.txt") files measured"
fi
echo "== large pictures reduced while they are read"
large=${GW_LARGE_PICTURES:-/tmp/gw-reduce-on-read}
/usr/bin/python3 -c "import sys; from pathlib import Path; sys.path.insert(0, 'bench')
import compare_reduce_on_read as c; c.pictures(Path(sys.argv[1]))" "$large"
for file in "$large"/*; do
    if [[ $file == */png-64mp-* ]]; then measure "$file" $((64 * 1024)); else measure "$file"; fi
done
exit $broken
