#!/usr/bin/env bash
# Starts the program under a virtual X display with private settings, lets it convert one picture
# dropped through its self-check hook, saves a screenshot of the screen into the artifact folder and
# checks that the program exits on its own with status 0. The pictures are given on the command line,
# as "Open With" gives them, and are converted once the window is up.
#   xvfb_start.sh <glyphwright> <artifact folder>
set -euo pipefail
program=$(realpath "$1")
mkdir -p "$2"
artifacts=$(realpath "$2")
supp=$(realpath "$(dirname "$0")/../lsan.supp")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Two pictures to open: 48 x 48 gradient PNGs written with Python's standard library.
python3 - "$work/picture.png" "$work/second.png" <<'PY'
import struct, sys, zlib
size = 48
rows = b"".join(b"\x00" + bytes(v for x in range(size) for v in (x * 5, y * 5, 160)) for y in range(size))
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 2, 0, 0, 0))
       + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))
for path in sys.argv[1:]:
    open(path, "wb").write(png)
PY
mkdir -p "$work/config"
printf '[General]\nShowSplash=0\nAnimationSpeed=0.1\n' > "$work/config/config.ini"

export GLYPHWRIGHT_CONFIG_DIR="$work/config"
export GLYPHWRIGHT_AUTO_EXIT_MS=4000
export XDG_RUNTIME_DIR="$work"
# In a sanitizer build, leaks of the system's D-Bus and font libraries are not ours to report.
export LSAN_OPTIONS="suppressions=$supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
unset QT_QPA_PLATFORM

# The second picture is named relative to the current folder, as a file manager may pass it.
cd "$work"
xvfb-run -a -s "-screen 0 640x480x24" bash -c '
    "$0" "$2" "$3" & pid=$!
    sleep 3
    if command -v import >/dev/null; then import -window root "$1/xvfb-start.png" || true; fi
    # The installer marker is held while the program runs.
    if command -v flock >/dev/null && flock -n -x "$XDG_RUNTIME_DIR/GlyphwrightSetup" true; then
        echo "the installer marker is not held" >&2; kill $pid; exit 3
    fi
    wait $pid
' "$program" "$artifacts" "$work/picture.png" second.png

for icon in picture.ico second.ico; do
    test -s "$work/$icon" || { echo "the picture opened for $icon was not converted" >&2; exit 1; }
done
grep -q '^ShowSplash=0' "$work/config/config.ini" || { echo "settings were not saved at exit" >&2; exit 1; }
echo "started, converted, exited; screenshot in $artifacts"
