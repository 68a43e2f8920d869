#!/usr/bin/env bash
# Installs the Debian packages Glyphwright needs to build, run and test, when missing.
# Usage: scripts/deps.sh [build|package|test]   ("package" adds what cpack -G DEB needs, "test" that
# and the independent readers and tools the tests use, the package and desktop metadata checkers)
set -euo pipefail

want=(cmake g++ pkg-config ninja-build
      libpng-dev zlib1g-dev libjpeg62-turbo-dev libgif-dev libtiff-dev libopenjp2-7-dev
      librsvg2-dev libwebp-dev libheif-dev
      # libheif decodes HEIC with libde265 and AVIF with dav1d (or aom), all linked in on Debian 12
      libheif1 libde265-0 libdav1d6 libaom3
      qt6-base-dev qt6-svg-dev libgl-dev)
if [ "${1:-build}" = "package" ] || [ "${1:-build}" = "test" ]; then
    want+=(dpkg-dev file)
fi
if [ "${1:-build}" = "test" ]; then
    want+=(lintian desktop-file-utils appstream)
    want+=(libgtest-dev libgmock-dev libbenchmark-dev
           icoutils icnsutils imagemagick python3-pil xvfb xauth
           librsvg2-bin webp libheif-examples libavif-bin
           qt6-image-formats-plugins python3-gi gir1.2-gdkpixbuf-2.0
           clang libclang-rt-14-dev clang-format ccache)
fi

missing=()
for p in "${want[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "Need root or sudo to install: ${missing[*]}" >&2; exit 1; }
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
