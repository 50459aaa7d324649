#!/usr/bin/env bash
# The bash completions of completions/, loaded with bash-completion's helpers:
# a few lines typed, and every option that the programs' own --help lists.
#
#   completion_test.sh COMPLETIONS_FOLDER ORB_UPGRADE ORB_SIM
#
# Exit 77 (skipped) without bash-completion (scripts/install-deps installs it).
helpers=/usr/share/bash-completion/bash_completion
[ -r "$helpers" ] || { echo "completion-test: skipped: bash-completion is not installed"; exit 77; }
# shellcheck source=/dev/null
source "$helpers"
source "$1/orb-upgrade"
source "$1/orb-sim"
mapfile -t upgrade_options < <("$2" --help | grep -oE '^ +--[a-z][a-z-]*' | tr -d ' ')
# The options --help names with a value (--user NAME): nothing but the value is completed after them.
mapfile -t upgrade_valued < <("$2" --help | grep -oE '^ +--[a-z][a-z-]* [A-Z]' | grep -oE -- '--[a-z-]+')
mapfile -t sim_options < <("$3" --help | grep -oE '^ +--[a-z][a-z-]*' | tr -d ' ')

failures=0
fail() { echo "completion-test: FAILED: $*"; failures=$((failures + 1)); }

# try LINE: COMPREPLY for LINE's last word, the words split as bash splits
# them (a trailing blank starts an empty word; "=" is written as a word of its own).
try() {
    read -ra COMP_WORDS <<<"$1"
    [[ $1 == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE=${1// = /=}
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    local function
    function=$(complete -p "${COMP_WORDS[0]}")
    function=${function#* -F }
    "${function%% *}" "${COMP_WORDS[0]}" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
}
expect() { # LINE WANTED: COMPREPLY is exactly WANTED
    try "$1"
    [[ "${COMPREPLY[*]}" == "$2" ]] || fail "'$1' gave (${COMPREPLY[*]}), not ($2)"
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" && touch secret.txt || exit 1
expect "orb-upgrade --unat" --unattended
expect "orb-sim --cou" --count
expect "orb-sim --algorithm MD5-" MD5-sess
expect "orb-upgrade --unattended --password-file " secret.txt
expect "orb-upgrade --log sec" secret.txt
expect "orb-sim --save-image = sec" secret.txt
expect "orb-upgrade --unattended --address " ""
expect "orb-upgrade --unattended --json --js" ""
expect "orb-upgrade --unattended --address 10.0.0.1 --addr" "--address --addresses-file"
expect "orb-upgrade --unattended --run" --run-timeout
expect "orb-upgrade --unattended --run-timeout " ""

# Every option --help lists is completed, in the form it belongs to.
[[ ${#upgrade_options[@]} -ge 10 && ${#sim_options[@]} -ge 40 ]] ||
    fail "the --help texts named only ${#upgrade_options[@]} and ${#sim_options[@]} options"
for option in "${upgrade_options[@]}"; do
    try "orb-upgrade $option"
    [[ " ${COMPREPLY[*]} " == *" $option "* ]] && continue
    try "orb-upgrade --unattended $option"
    [[ " ${COMPREPLY[*]} " == *" $option "* ]] || fail "orb-upgrade $option (from --help) is not completed"
done
# And no more: the options offered after --unattended are those --help lists.
try "orb-upgrade --unattended "
for option in "${COMPREPLY[@]}"; do
    [[ " ${upgrade_options[*]} " == *" $option "* ]] || fail "orb-upgrade --unattended offers $option, which --help does not list"
done
[[ ${#upgrade_valued[@]} -ge 8 ]] || fail "the --help text named only ${#upgrade_valued[@]} options with a value"
for option in "${upgrade_valued[@]}"; do
    try "orb-upgrade --unattended $option "
    [[ " ${COMPREPLY[*]} " != *" --"* ]] || fail "orb-upgrade --unattended $option offers options, not its value"
done
for option in "${sim_options[@]}"; do
    try "orb-sim $option"
    [[ " ${COMPREPLY[*]} " == *" $option "* ]] || fail "orb-sim $option (from --help) is not completed"
done

[ "$failures" = 0 ] || exit 1
echo "completion-test: passed"
