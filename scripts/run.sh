#!/usr/bin/env bash
# Builds Glyphwright and starts it. Installs missing Debian packages first.
# Arguments are passed to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)"
if [ -x build/src/app/glyphwright ]; then
    exec build/src/app/glyphwright "$@"
fi
echo "The desktop window is not built yet; starting the command-line companion instead." >&2
exec build/cli/glyphwright-cli "${@:---help}"
