#!/usr/bin/env bash
# The bash completions of completions/, loaded with bash-completion's helpers
# as an interactive shell would: option names, files after the options that
# take one, nothing after an address, and every option that the programs' own
# --help lists.
#
#   completion_test.sh COMPLETIONS_FOLDER ORB_UPGRADE ORB_SIM
#
# Exit 77 (skipped) without bash-completion (scripts/install-deps installs it).
folder=$1
upgrade=$2
sim=$3
helpers=/usr/share/bash-completion/bash_completion
[ -r "$helpers" ] || { echo "completion-test: skipped: bash-completion is not installed"; exit 77; }
# shellcheck source=/dev/null
source "$helpers"
source "$folder/orb-upgrade"
source "$folder/orb-sim"
# The options each program lists, read before the test moves to its own folder.
mapfile -t upgrade_options < <("$upgrade" --help | grep -oE '^ +--[a-z][a-z-]*' | tr -d ' ')
mapfile -t sim_options < <("$sim" --help | grep -oE '^ +--[a-z][a-z-]*' | tr -d ' ')

failures=0
fail() {
    echo "completion-test: FAILED: $*"
    failures=$((failures + 1))
}

# complete WORD...: COMPREPLY for the last word, as bash splits the line (a
# "=" is a word of its own).
complete_words() {
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    COMP_LINE=$1
    local i function
    for ((i = 1; i < $#; i++)); do
        if [[ ${COMP_WORDS[i]} == = || ${COMP_WORDS[i - 1]} == = ]]; then
            COMP_LINE+=${COMP_WORDS[i]}
        else
            COMP_LINE+=" ${COMP_WORDS[i]}"
        fi
    done
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    function=$(complete -p "$1")
    function=${function#* -F }
    "${function%% *}" "$1" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
}

offers() { # WORD: whether COMPREPLY holds it
    local reply
    for reply in "${COMPREPLY[@]}"; do [[ $reply == "$1" ]] && return 0; done
    return 1
}

expect_only() { # WORD LINE...: COMPREPLY is exactly WORD
    local want=$1
    shift
    complete_words "$@"
    [[ ${#COMPREPLY[@]} == 1 && ${COMPREPLY[0]} == "$want" ]] || fail "'$*' gave (${COMPREPLY[*]}), not $want"
}

expect_only --unattended orb-upgrade --unat
expect_only --count orb-sim --cou
expect_only --request-timeout orb-upgrade --unattended --req
expect_only --fetch-delay-ms orb-sim --count 3 --fetch-d
expect_only MD5-sess orb-sim --algorithm MD5-
expect_only status,trigger orb-sim --no-answer status,tr

# Files after the options that take one; nothing after an address.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
touch "$work/secret.txt" "$work/fleet.txt"
cd "$work" || exit 1
expect_only secret.txt orb-upgrade --unattended --password-file sec
for line in "orb-upgrade --unattended --addresses-file" "orb-upgrade --log" "orb-sim --save-image"; do
    # shellcheck disable=SC2086
    complete_words $line ""
    offers secret.txt && offers fleet.txt || fail "'$line ' gave (${COMPREPLY[*]}), not the files"
done
complete_words orb-sim --save-image = fl
[[ ${COMPREPLY[*]} == fleet.txt ]] || fail "'orb-sim --save-image=fl' gave (${COMPREPLY[*]})"
for line in "orb-upgrade --unattended --address" "orb-upgrade --unattended --pc-address" "orb-sim --address"; do
    # shellcheck disable=SC2086
    complete_words $line ""
    [[ ${#COMPREPLY[@]} == 0 ]] || fail "'$line ' offered (${COMPREPLY[*]})"
done
# --address may come again, the others once; --adapter-run is the program's own.
complete_words orb-upgrade --unattended --address 10.0.0.1 --json --
offers --address && ! offers --json && ! offers --adapter-run ||
    fail "'orb-upgrade --unattended --address 10.0.0.1 --json --' gave (${COMPREPLY[*]})"

# Every option that --help lists is completed, in the form it belongs to.
[[ ${#upgrade_options[@]} -ge 10 && ${#sim_options[@]} -ge 40 ]] ||
    fail "the --help texts named only ${#upgrade_options[@]} and ${#sim_options[@]} options"
for option in "${upgrade_options[@]}"; do
    complete_words orb-upgrade "$option"
    offers "$option" && continue
    complete_words orb-upgrade --unattended "$option"
    offers "$option" || fail "orb-upgrade $option (from --help) is not completed"
done
for option in "${sim_options[@]}"; do
    complete_words orb-sim "$option"
    offers "$option" || fail "orb-sim $option (from --help) is not completed"
done

[ "$failures" = 0 ] || exit 1
echo "completion-test: passed"
