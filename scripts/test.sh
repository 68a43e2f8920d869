#!/usr/bin/env bash
# Builds Glyphwright and runs every test: first the normal build, then the whole suite again built
# with AddressSanitizer and UndefinedBehaviorSanitizer, then a short run of every fuzz target
# (scripts/fuzz-smoke.sh). Installs missing Debian packages first.
#   scripts/test.sh            all three
#   scripts/test.sh --quick    the normal build only
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test

jobs=$(nproc 2>/dev/null || echo 2)
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

run_suite() {
    local dir=$1; shift
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
    ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

run_suite build
if [ "${1:-}" != "--quick" ]; then
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        run_suite build-sanitize -DGW_SANITIZE=ON -DGW_BUILD_BENCH=OFF
    scripts/fuzz-smoke.sh
fi
