#!/usr/bin/env bash
# Builds the Debian package glyphwright_VERSION_ARCH.deb: a Release build of the programs alone in
# build-package/ (through ccache when present), with Debian's hardening flags, then cpack -G DEB.
# Installs the Debian packages the build needs first. Prints the package's path last.
#   scripts/package.sh [build folder]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh package >&2
dir=${1:-build-package}
jobs=$(nproc 2>/dev/null || echo 2)

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
hardening="$(dpkg-buildflags --get CPPFLAGS) -fstack-protector-strong -fstack-clash-protection"
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DGW_BUILD_TESTS=OFF -DGW_BUILD_BENCH=OFF "${launcher[@]}" \
    -DCMAKE_C_FLAGS="$hardening" -DCMAKE_CXX_FLAGS="$hardening" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$dir" -j "$jobs" >&2
rm -f "$dir"/glyphwright_*.deb
(cd "$dir" && cpack -G DEB >&2)

version=$(sed -n 's/.*kVersion\[\] = "\(.*\)";/\1/p' "$dir/generated/GlyphwrightVersion.h")
deb="$dir/glyphwright_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || { echo "cpack did not make $deb" >&2; exit 1; }
echo "$deb"
