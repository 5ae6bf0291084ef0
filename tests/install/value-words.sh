# The fixed words the completions offer are words the commands accept: each
# is run through the tool on an output that can do everything, and must
# apply cleanly. A word the command does not know must fail, so that the
# check means something.
. "$TEST_DIR/lib.sh"

PATH="$(dirname "$DISPCTL"):$PATH"
timings="712.75 3840 4160 4576 5312 2160 2163 2168 2237"

"$DISPCTL_GEN" --words >"$scratch/words"
[ -s "$scratch/words" ] || fail "the generator lists no words"

checked=""
while IFS="$(printf '\t')" read -r command slot word; do
    case $slot in
        0) arguments=$word ;;
        9) arguments="$timings $word" ;;
        *) fail "$command: no check for words in slot $slot"; continue ;;
    esac
    write_set
    # shellcheck disable=SC2086
    if ! dispctl DP-1 "$command" $arguments >"$scratch/out" 2>"$scratch/err"; then
        fail "dispctl DP-1 $command $arguments: $(cat "$scratch/err")"
    fi
    case " $checked " in
        *" $command "*) ;;
        *) checked="$checked $command" ;;
    esac
done <"$scratch/words"

for command in $checked; do
    write_set
    if [ "$command" = add-custom-mode ]; then
        arguments="$timings +bogus"
    else
        arguments=bogus
    fi
    # shellcheck disable=SC2086
    if dispctl DP-1 "$command" $arguments >/dev/null 2>&1; then
        fail "dispctl DP-1 $command $arguments succeeded"
    fi
done

# The commands with a fixed set of words all have them.
expect_eq "commands with fixed words" \
    "add-custom-mode set-abm set-auto-brightness set-auto-rotate set-color-power-tradeoff set-color-profile-source set-ddc-ci-allowed set-edr-policy set-enabled set-hdr set-hdr-and-wcg set-hdr-color-profile-source set-max-average-brightness-override set-max-peak-brightness-override set-maxbpc set-min-brightness-override set-replica-of set-rgb-range set-rotation set-vrr-policy set-wcg" \
    "$(printf '%s\n' $checked | sorted)"

finish
