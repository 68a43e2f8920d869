#!/usr/bin/env bash
# Fails when a C++ file of the tree is not formatted as the committed .clang-format says, and names
# the files; `clang-format -i FILE` formats one.
set -euo pipefail
cd "$(dirname "$0")/.."
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files -- '*.cpp' '*.h')
else
    mapfile -t files < <(find src cli tests bench fuzz -name '*.cpp' -o -name '*.h')
fi
if ! report=$(clang-format --dry-run --Werror "${files[@]}" 2>&1); then
    echo "Not formatted (clang-format -i FILE formats one):" >&2
    grep -o '^[^:]*:[0-9]*:[0-9]*: error' <<<"$report" | cut -d: -f1 | sort -u | sed 's/^/  /' >&2 ||
        echo "$report" >&2
    exit 1
fi
echo "clang-format: ${#files[@]} files formatted"
