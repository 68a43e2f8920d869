#!/usr/bin/env bash
# Converts a fixed set of pictures (PNG, BMP, GIF and TIFF) with two builds of glyphwright-cli, as
# Windows and as Macintosh icons, with and without dithering and the PNG switch, and compares every
# icon byte for byte. Used to show that a rework of the code leaves every written icon as it was.
#
#   bench/icon_bytes_compare.sh OLD_CLI NEW_CLI [PICTURE_FOLDER...]
#
# Without folders it takes the public corpora beside the project (../shared/testdata: pngsuite,
# bmpsuite, gif, tiff). Prints one line per differing icon and a closing "N passed, N failed" line;
# exits 1 when any icon differs or only one build could convert a picture.
set -euo pipefail

old_cli=$(realpath "$1")
new_cli=$(realpath "$2")
shift 2
here=$(cd "$(dirname "$0")" && pwd)
if [ $# -eq 0 ]; then
    data="$here/../../shared/testdata"
    set -- "$data/pngsuite" "$data/bmpsuite" "$data/gif" "$data/tiff"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mapfile -t pictures < <(find "$@" -type f \( -iname '*.png' -o -iname '*.bmp' -o -iname '*.gif' \
    -o -iname '*.tif' -o -iname '*.tiff' \) | LC_ALL=C sort)

passed=0
failed=0
variant=0
for options in "--type win" "--type mac" "--type win --no-png" "--type mac --no-dither"; do
    variant=$((variant + 1))
    for picture in "${pictures[@]}"; do
        for side in old new; do
            rm -rf "$work/$side" && mkdir -p "$work/$side"
            cli=$old_cli
            [ "$side" = new ] && cli=$new_cli
            # shellcheck disable=SC2086
            "$cli" convert --quiet $options --output-dir "$work/$side" "$picture" >/dev/null 2>&1 || true
        done
        old_files=$(cd "$work/old" && ls -A)
        new_files=$(cd "$work/new" && ls -A)
        if [ "$old_files" != "$new_files" ]; then
            echo "differs ($options): $picture: '$old_files' vs '$new_files'"
            failed=$((failed + 1))
            continue
        fi
        same=1
        for name in $old_files; do
            cmp -s "$work/old/$name" "$work/new/$name" || same=0
        done
        if [ $same = 1 ]; then
            passed=$((passed + 1))
        else
            echo "differs ($options): $picture"
            failed=$((failed + 1))
        fi
    done
done
echo "${#pictures[@]} pictures, $variant option sets"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
