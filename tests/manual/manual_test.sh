#!/usr/bin/env bash
# The manual pages of man/ held to the programs' own --help, both ways: every
# option --help lists has an entry in the manual, and every option the manual
# has an entry for is one --help lists. An entry is a tagged paragraph (.TP)
# whose tag is the option; a mention in running text is none.
#
#   manual_test.sh MAN_FOLDER ORB_UPGRADE ORB_SIM
set -uo pipefail

failures=0
fail() { echo "manual-test: FAILED: $*"; failures=$((failures + 1)); }

# The options of a --help text: the lines that begin with one, at the left
# margin (a wrapped line that begins with an option is indented further).
help_options() { "$1" --help | grep -oE '^ {1,4}--[a-z][a-z-]*' | tr -d ' ' | sort -u; }

# The options of a manual's entries: the line after each .TP, when it starts
# with an option in bold (.B, .BI, .BR or \fB), "\-" read as "-".
manual_options() {
    sed 's/\\-/-/g' "$1" |
        awk 'tag { print } { tag = ($0 == ".TP") }' |
        grep -oE '^(\.B[IR]? +|\\fB)--[a-z][a-z-]*' | grep -oE -- '--[a-z-]+' | sort -u
}

# compare PROGRAM MANUAL MINIMUM: both lists, each at least MINIMUM long.
compare() {
    local name help manual
    name=$(basename "$1")
    help=$(help_options "$1")
    manual=$(manual_options "$2")
    [[ $(wc -l <<<"$help") -ge $3 && $(wc -l <<<"$manual") -ge $3 ]] ||
        fail "$name: --help named $(wc -l <<<"$help") options and the manual $(wc -l <<<"$manual"), fewer than $3"
    while read -r option; do
        fail "$name: $option is in --help but has no entry in $(basename "$2")"
    done < <(comm -23 <(echo "$help") <(echo "$manual"))
    while read -r option; do
        fail "$name: $option has an entry in $(basename "$2") but is not in --help"
    done < <(comm -13 <(echo "$help") <(echo "$manual"))
}

compare "$2" "$1/orb-upgrade.1" 15
compare "$3" "$1/orb-sim.1" 40

[ "$failures" = 0 ] || exit 1
echo "manual-test: passed"
