#!/usr/bin/env bash
# Runs a desktop metadata validator on one file; exits 77 (skipped) when the validator is missing.
#   validate.sh desktop-file-validate resources/glyphwright.desktop
#   validate.sh appstreamcli <metainfo file>
set -euo pipefail
tool=$1
file=$2
command -v "$tool" >/dev/null || { echo "$tool is not installed: skipped"; exit 77; }
case $tool in
    # desktop-file-validate prints hints and errors but exits 0 on hints only; any output fails.
    desktop-file-validate)
        out=$(desktop-file-validate "$file" 2>&1) || { echo "$out"; exit 1; }
        [ -z "$out" ] || { echo "$out"; exit 1; }
        ;;
    appstreamcli) appstreamcli validate --no-net --explain "$file" ;;
    *) echo "unknown validator $tool" >&2; exit 2 ;;
esac
