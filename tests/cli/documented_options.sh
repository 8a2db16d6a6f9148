#!/usr/bin/env bash
# The commands and options that firmware-update-cli --help lists are the ones its man page, its
# bash completion and the README list: none of them lacks one, none has one more.
#   documented_options.sh PROGRAM SOURCE_DIR
set -euo pipefail
program=$1
source_dir=$2
man=$source_dir/dist/man/firmware-update-cli.1.scd
completion=$source_dir/dist/bash-completion/firmware-update-cli
readme=$source_dir/README.md

help=$("$program" --help)
# --help: the commands are the lines of "Commands:" that start with a word; the options, every
# line that starts with one.
help_commands=$(sed -n '/^Commands:$/,/^$/s/^  \([a-z][a-z0-9-]*\).*/\1/p' <<<"$help" | sort -u)
help_options=$(sed -n 's/^  \(--[a-z][a-z0-9-]*\).*/\1/p' <<<"$help" | sort -u)

# The man page: the entries of its COMMANDS and OPTIONS sections, *name* at a line's start.
man_section() {
    sed -n "/^# $1\$/,/^# /s/^\*\(-*[a-z][a-z0-9-]*\)\*.*/\1/p" "$man" | sort -u
}
# The completion: the words of its lists of commands and options.
completion_words() {
    local list
    for list in "$@"; do
        sed -n "s/^ *local $list='\(.*\)'\$/\1/p" "$completion" | tr ' ' '\n'
    done | sort -u
}
# The README: the first cells of the tables of its section "Command line".
readme_cells=$(sed -n '/^## Command line$/,/^### /s/^| \([^|]*\) |.*/\1/p' "$readme")

failed=0
# Compares WHAT (commands or options) as --help lists them with the list in PLACE.
compare() {
    local what=$1 place=$2 listed=$3 expected missing extra
    expected=$([ "$what" = commands ] && echo "$help_commands" || echo "$help_options")
    missing=$(comm -23 <(echo "$expected") <(echo "$listed") | paste -sd ' ')
    extra=$(comm -13 <(echo "$expected") <(echo "$listed") | paste -sd ' ')
    if [ -n "$missing" ]; then
        echo "$place lacks $what that --help lists: $missing"
        failed=1
    fi
    if [ -n "$extra" ]; then
        echo "$place lists $what that --help lacks: $extra"
        failed=1
    fi
}

if [ -z "$help_commands" ] || [ -z "$help_options" ]; then
    echo "no commands or no options found in the output of $program --help"
    exit 1
fi
compare commands "the man page's COMMANDS" "$(man_section COMMANDS)"
compare options "the man page's OPTIONS" "$(man_section OPTIONS)"
compare commands "the completion" "$(completion_words commands)"
compare options "the completion" "$(completion_words flag_options value_options)"
compare commands "the README" "$(sed -n 's/^`\([a-z][a-z0-9-]*\).*/\1/p' <<<"$readme_cells" | sort -u)"
compare options "the README" "$(grep -o -- '--[a-z][a-z0-9-]*' <<<"$readme_cells" | sort -u)"
[ "$failed" = 0 ] && echo "the man page, the completion and the README list what --help lists"
exit "$failed"
