#!/usr/bin/env bash
# Checks the bash completion of glyphwright-cli against the program's help texts: every command of
# the main help and every option a help lists (short and long) is offered, and option values
# complete as their placeholders say (win|mac words, folders for DIR).
#   completion_test.sh <glyphwright-cli> <completion file>
set -euo pipefail
cli=$1
# shellcheck source=/dev/null
source "$2"

complete_words() { # words of the command line, the last one being completed
    COMP_WORDS=(glyphwright-cli "$@")
    COMP_CWORD=$#
    COMPREPLY=()
    _glyphwright_cli
    printf '%s\n' "${COMPREPLY[@]}"
}

# The options a help lists: "-x" and "--name" at the start of an entry of its OPTIONS section.
help_options() {
    "$cli" "$@" --help | awk '/^[A-Z][A-Z ]*$/ { section = $0; next }
        section == "OPTIONS" && /^    -/ {
            n = split($0, parts, ", ")
            for (i = 1; i <= n; i++) { split(parts[i], w, " "); print w[1] } }'
}

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

commands=$("$cli" --help | awk '/^[A-Z][A-Z ]*$/ { section = $0; next }
    section == "COMMANDS" && /^    [a-z][a-z0-9-]*   / { print $1 }')
[ -n "$commands" ] || fail "no commands in the help"
offered=$(complete_words "")
for word in $commands $(help_options); do
    grep -qxF -- "$word" <<<"$offered" || fail "'$word' of the main help is not completed"
done
for command in $commands; do
    offered=$(complete_words "$command" -)
    for option in $(help_options "$command"); do
        grep -qxF -- "$option" <<<"$offered" || fail "'$command $option' is in the help but not completed"
    done
done

# Values: the icon types, and only folders for an output folder.
[ "$(complete_words convert --type '' | sort | tr '\n' ' ')" = "mac win " ] || fail "--type values"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/folder" && touch "$work/file.png"
[ "$(complete_words convert --output-dir "$work/" | tr '\n' ' ')" = "$work/folder " ] ||
    fail "--output-dir offers more than folders"
# After "--" a word starting with "-" is a path, not an option.
[ -z "$(complete_words convert -- --ty)" ] || fail "options offered after --"

[ "$failures" -eq 0 ] && echo "the completion offers every command and option of the help"
exit $((failures > 0))
