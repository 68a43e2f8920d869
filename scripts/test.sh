#!/usr/bin/env bash
# Builds Glyphwright and runs every test. Installs missing Debian packages first.
#   1. the clang-format check of the tree (scripts/format-check.sh);
#   2. the normal build (GCC, benchmarks built but not run) and the whole test suite;
#   3. the whole suite again in one clang build with AddressSanitizer and UndefinedBehaviorSanitizer
#      that also holds the libFuzzer targets;
#   4. a short run of every fuzz target from that build (scripts/fuzz-smoke.sh: 30 s each, 10 s when
#      CI=true).
# Warnings are errors; compilations go through ccache when it is installed.
#   scripts/test.sh            all four
#   scripts/test.sh --quick    the normal build and its tests only
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test
source scripts/build-env.sh

export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
quick=false
[ "${1:-}" = "--quick" ] && quick=true

# phase COMMAND...: runs it and reports its wall-clock and processor time (the processor time tells
# the time on an idle machine when the machine is shared).
phase() {
    local TIMEFORMAT="== $* took %0R s (processor: %0U s user, %0S s system)"
    time "$@"
}
build_and_test() {
    cmake --build "$1" -j "$jobs"
    ctest --test-dir "$1" --output-on-failure -j "$jobs"
}
sanitize_suite() {
    configure_sanitize
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp build_and_test "$sanitize_build"
}

$quick || phase scripts/format-check.sh
configure build
phase build_and_test build
if ! $quick; then
    phase sanitize_suite
    phase scripts/fuzz-smoke.sh
fi
[ "${1:-}" = "--quick" ] || scripts/package-check.sh # the Debian package: build, lintian, unpacked programs
