# Sourced by scripts/test.sh and scripts/fuzz-smoke.sh: ccache and the build folders they share.

jobs=$(nproc 2>/dev/null || echo 2)

# ccache keeps its cache outside the clone (~/.cache/ccache unless CCACHE_DIR says otherwise) and
# hashes paths relative to the clone, so that a fresh clone of the same sources compiles from it.
# The precompiled GoogleTest header holds the clone's absolute paths and would make every test file
# miss the cache in a fresh clone: it is used only without ccache.
build_options=(-DGW_PCH=ON)
if command -v ccache >/dev/null; then
    export CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/ccache}
    export CCACHE_BASEDIR=$PWD
    export CCACHE_NOHASHDIR=1
    build_options=(-DGW_PCH=OFF -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

# configure FOLDER [cmake options...]: warnings are errors in every scripted build.
configure() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGW_WERROR=ON "${build_options[@]}" "$@" >/dev/null
}

# The instrumented build: clang with AddressSanitizer and UndefinedBehaviorSanitizer, holding both the
# whole test suite and the libFuzzer targets (fuzz/). Optimised as AddressSanitizer recommends (-O1),
# with line tables only: enough for the sanitizers' stack traces.
sanitize_build=build-sanitize
configure_sanitize() {
    configure "$sanitize_build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
        -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only -DNDEBUG" \
        -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only -DNDEBUG" \
        -DGW_SANITIZE=ON -DGW_FUZZ=ON -DGW_BUILD_BENCH=OFF
}
