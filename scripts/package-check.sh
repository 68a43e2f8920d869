#!/usr/bin/env bash
# Builds the Debian package (scripts/package.sh) and checks it: the files it holds, its Depends (from
# dpkg-shlibdeps), lintian without errors, the desktop entry and AppStream file it installs, and that
# the programs unpacked from it (dpkg-deb -x) convert pictures. Skips cleanly where cpack's DEB generator (dpkg-deb,
# dpkg-shlibdeps, file) is missing; lintian, desktop-file-validate and appstreamcli are each skipped
# when missing.
#   scripts/package-check.sh [build folder]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-package}

for tool in cpack dpkg-deb dpkg-shlibdeps dpkg-buildflags file; do
    command -v "$tool" >/dev/null || { echo "package check skipped: $tool is not installed"; exit 0; }
done

deb=$(scripts/package.sh "$dir" | tail -n 1)
version=$(dpkg-deb -f "$deb" Version)
echo "package: $deb"

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# The files.
contents=$(dpkg-deb -c "$deb" | awk '{ print $6 }')
expected=(
    ./usr/bin/glyphwright ./usr/bin/glyphwright-cli
    ./usr/share/applications/glyphwright.desktop
    ./usr/share/metainfo/io.github.glyphwright.Glyphwright.metainfo.xml
    ./usr/share/icons/hicolor/scalable/apps/glyphwright.svg
    ./usr/share/glyphwright/help.html ./usr/share/glyphwright/glyphwright.ico
    ./usr/share/glyphwright/glyphwright.icns
    ./usr/share/man/man1/glyphwright.1.gz ./usr/share/man/man1/glyphwright-cli.1.gz
    ./usr/share/bash-completion/completions/glyphwright-cli
    ./usr/share/doc/glyphwright/copyright ./usr/share/doc/glyphwright/changelog.gz
)
for size in 16 22 24 32 48 64 128 256 512; do
    expected+=("./usr/share/icons/hicolor/${size}x${size}/apps/glyphwright.png")
done
for path in "${expected[@]}"; do
    grep -qxF -- "$path" <<<"$contents" || fail "the package lacks $path"
done
stray=$(grep -vE '^\./(usr/?|usr/(bin|share)(/.*)?)$' <<<"$contents" || true)
[ -z "$stray" ] || fail "files outside /usr/bin and /usr/share: $stray"

# Depends come from dpkg-shlibdeps (the libraries the programs link, with versions) and the packages
# of the libraries opened on first use (librsvg, libheif).
depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6widgets6 libpng16-16 libjpeg62-turbo libgif7 libtiff6 libopenjp2-7 librsvg2-2 \
               libwebp7 libheif1 libc6; do
    grep -qE "(^|, )$library( |,|$)" <<<"$depends" || fail "Depends lacks $library: $depends"
done

if command -v lintian >/dev/null; then
    # Errors fail the check; warnings are shown.
    lintian --fail-on error --tag-display-limit 0 "$deb" || fail "lintian reports errors"
else
    echo "lintian is not installed: skipped"
fi

# The unpacked files: metadata validators, then the programs convert pictures.
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root/unpacked"
usr=$root/unpacked/usr
validate() { # tool, file; a missing validator (status 77) skips
    local status=0
    tests/package/validate.sh "$1" "$2" || status=$?
    [ "$status" -eq 0 ] || [ "$status" -eq 77 ] || fail "$1 rejects $2"
}
validate desktop-file-validate "$usr/share/applications/glyphwright.desktop"
validate appstreamcli "$usr/share/metainfo/io.github.glyphwright.Glyphwright.metainfo.xml"

[ "$("$usr/bin/glyphwright-cli" --version)" = "glyphwright-cli $version" ] || fail "glyphwright-cli --version"
work=$root/work
mkdir -p "$work/config"
cp "$usr/share/icons/hicolor/512x512/apps/glyphwright.png" "$work/cli.png"
cp "$usr/share/icons/hicolor/128x128/apps/glyphwright.png" "$work/window.png"
"$usr/bin/glyphwright-cli" convert --quiet --type mac "$work/cli.png" || fail "the unpacked glyphwright-cli failed"
info=$("$usr/bin/glyphwright-cli" info "$work/cli.icns") || fail "the unpacked glyphwright-cli cannot read cli.icns"
grep -q '512x512-32' <<<"$info" || fail "no 512-pixel image in cli.icns"
# librsvg and libheif are opened when the first such picture comes: an SVG must convert too.
printf '<svg xmlns="http://www.w3.org/2000/svg" width="8" height="8"><rect width="8" height="8" fill="red"/></svg>' \
    >"$work/vector.svg"
"$usr/bin/glyphwright-cli" convert --quiet "$work/vector.svg" && [ -s "$work/vector.ico" ] ||
    fail "the unpacked glyphwright-cli did not convert an SVG"
# The window, given a picture on its command line as "Open With" does, converts it and closes.
printf '[General]\nShowSplash=0\nAnimationSpeed=0.01\nAnimateExit=0\n' >"$work/config/config.ini"
QT_QPA_PLATFORM=offscreen GLYPHWRIGHT_CONFIG_DIR=$work/config GLYPHWRIGHT_AUTO_EXIT_MS=5000 \
    XDG_RUNTIME_DIR=$work "$usr/bin/glyphwright" "$work/window.png" 2>/dev/null || fail "the unpacked glyphwright failed"
[ -s "$work/window.ico" ] || fail "the unpacked glyphwright did not convert the picture it was given"

[ "$failures" -eq 0 ] || exit 1
echo "package check passed: $deb"
