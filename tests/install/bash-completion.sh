# The generated bash completion, run through its completion function as
# bash would run it, against the tool and a virtual display set.
. "$TEST_DIR/lib.sh"

PATH="$(dirname "$DISPCTL"):$PATH"
script="$GENERATED/dispctl.bash"
write_set

# complete WORD... : the sorted candidates for the last word of the line.
complete()
{
    bash --norc --noprofile -c '
        . "$1"; shift
        COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
        COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
        _dispctl dispctl "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
        printf "%s\n" "${COMPREPLY[@]}"' bash "$script" "$@" 2>"$scratch/stderr" | sorted
    [ ! -s "$scratch/stderr" ] || fail "completing '$*' wrote: $(cat "$scratch/stderr")"
}

bash --norc --noprofile -c '. "$1" && complete -p dispctl' bash "$script" >"$scratch/spec" ||
    fail "the script does not load"
expect_eq "the script registers its function" "complete -F _dispctl dispctl" "$(cat "$scratch/spec")"

# Connector names come from the tool at completion time.
expect_eq "dispctl DP" "DP-1" "$(complete dispctl DP)"
expect_eq "dispctl ''" \
    "$(printf '%s\n' $global_commands help eDP-1 DP-1 HDMI-A-1 active-output primary-output | sorted)" \
    "$(complete dispctl '')"
expect_eq "dispctl -" "--help" "$(complete dispctl -)"
expect_eq "dispctl li" "list-outputs" "$(complete dispctl li)"

# The per-output commands, all of them, after the OUTPUT word.
expect_eq "dispctl DP-1 ''" "$(printf '%s\n' $output_commands | sorted)" "$(complete dispctl DP-1 '')"
expect_eq "dispctl DP-1 set-r" "set-replica-of set-rgb-range set-rotation" "$(complete dispctl DP-1 set-r)"
expect_eq "dispctl active-output toggle-h" "toggle-hdr toggle-hdr-and-wcg" "$(complete dispctl active-output toggle-h)"
expect_eq "dispctl DP-1 --" "--help --json" "$(complete dispctl DP-1 --)"

# Options of the command being completed, and none of another's.
expect_eq "dispctl list-outputs --" "--disabled --enabled --help --json --names" "$(complete dispctl list-outputs --)"
expect_eq "dispctl list-outputs --json --n" "--names" "$(complete dispctl list-outputs --json --n)"
expect_eq "dispctl off ''" "" "$(complete dispctl off '')"
expect_eq "dispctl DP-1 add-custom-mode --r" "--reduced-blanking" "$(complete dispctl DP-1 add-custom-mode --r)"
expect_eq "dispctl DP-1 set-mode --" "--help" "$(complete dispctl DP-1 set-mode --)"

# Fixed words by value name and command.
expect_eq "dispctl DP-1 set-hdr ''" "false off on true" "$(complete dispctl DP-1 set-hdr '')"
expect_eq "dispctl DP-1 set-hdr o" "off on" "$(complete dispctl DP-1 set-hdr o)"
expect_eq "dispctl DP-1 set-hdr on ''" "" "$(complete dispctl DP-1 set-hdr on '')"
expect_eq "dispctl DP-1 set-rotation f" "flipped flipped180 flipped270 flipped90" "$(complete dispctl DP-1 set-rotation f)"
expect_eq "dispctl DP-1 set-vrr-policy ''" "always automatic never" "$(complete dispctl DP-1 set-vrr-policy '')"
expect_eq "dispctl DP-1 set-auto-rotate ''" "always in-tablet-mode never" "$(complete dispctl DP-1 set-auto-rotate '')"
expect_eq "dispctl DP-1 set-edr-policy ''" "always never" "$(complete dispctl DP-1 set-edr-policy '')"
expect_eq "dispctl DP-1 set-color-profile-source ''" "EDID ICC sRGB" "$(complete dispctl DP-1 set-color-profile-source '')"
expect_eq "dispctl DP-1 set-hdr-color-profile-source ''" "EDID ICC" "$(complete dispctl DP-1 set-hdr-color-profile-source '')"
expect_eq "dispctl DP-1 set-rgb-range ''" "automatic full limited" "$(complete dispctl DP-1 set-rgb-range '')"
expect_eq "dispctl DP-1 set-color-power-tradeoff ''" "prefer-accuracy prefer-efficiency" \
    "$(complete dispctl DP-1 set-color-power-tradeoff '')"
expect_eq "dispctl DP-1 set-maxbpc ''" "10 12 14 16 6 8 automatic" "$(complete dispctl DP-1 set-maxbpc '')"
expect_eq "dispctl DP-1 set-min-brightness-override ''" "none" "$(complete dispctl DP-1 set-min-brightness-override '')"
expect_eq "dispctl DP-1 set-brightness ''" "" "$(complete dispctl DP-1 set-brightness '')"
# An option before the value does not move the slot.
expect_eq "dispctl DP-1 set-wcg --json ''" "false off on true" "$(complete dispctl DP-1 set-wcg --json '')"

# Mode ids and custom mode indices of the named output.
expect_eq "dispctl DP-1 set-mode ''" "1 2 3" "$(complete dispctl DP-1 set-mode '')"
ids=$(dispctl DP-1 list-modes | cut -d: -f1 | sorted)
expect_eq "set-mode offers exactly the list-modes ids" "$ids" "$(complete dispctl DP-1 set-mode '')"
expect_eq "dispctl eDP-1 remove-custom-mode ''" "0 1" "$(complete dispctl eDP-1 remove-custom-mode '')"
expect_eq "dispctl HDMI-9 set-mode ''" "" "$(complete dispctl HDMI-9 set-mode '')"

# Outputs for the commands that take one, "none" where it is allowed.
outputs="DP-1 HDMI-A-1 active-output eDP-1 primary-output"
for command in above below left-of right-of; do
    expect_eq "dispctl DP-1 $command ''" "$outputs" "$(complete dispctl DP-1 "$command" '')"
done
expect_eq "dispctl DP-1 set-replica-of ''" "$(printf '%s\n' $outputs none | sorted)" "$(complete dispctl DP-1 set-replica-of '')"
expect_eq "dispctl DP-1 set-replica-of e" "eDP-1" "$(complete dispctl DP-1 set-replica-of e)"

# Names the shell would split or expand are inserted quoted, typed plain or
# quoted.
sed 's/"name": "HDMI-A-1"/"name": "HDMI A$1"/' "$DISPOR_VIRTUAL_STATE" >"$scratch/odd.json"
expect_eq "dispctl HDMI" 'HDMI\ A\$1' "$(DISPOR_VIRTUAL_STATE="$scratch/odd.json" complete dispctl HDMI)"
expect_eq "dispctl HDMI\\ " 'HDMI\ A\$1' "$(DISPOR_VIRTUAL_STATE="$scratch/odd.json" complete dispctl 'HDMI\ ')"

# Flag words after the nine timings of add-custom-mode, not before.
expect_eq "add-custom-mode FLAG" "+hsync +vsync" "$(complete dispctl DP-1 add-custom-mode 712.75 3840 4160 4576 5312 2160 2163 2168 2237 +)"
expect_eq "add-custom-mode second FLAG" "--help --reduced-blanking -hsync -vsync" \
    "$(complete dispctl DP-1 add-custom-mode 712.75 3840 4160 4576 5312 2160 2163 2168 2237 +hsync -)"
expect_eq "add-custom-mode HTOTAL" "" "$(complete dispctl DP-1 add-custom-mode 712.75 3840 4160 '')"

# Files for the ICC profile paths.
mkdir -p "$scratch/profiles"
touch "$scratch/profiles/panel.icc"
expect_eq "dispctl DP-1 set-icc-profile PATH" "$scratch/profiles/panel.icc" \
    "$(complete dispctl DP-1 set-icc-profile "$scratch/profiles/pa")"
expect_eq "dispctl DP-1 set-hdr-icc-profile PATH" "$scratch/profiles/panel.icc" \
    "$(complete dispctl DP-1 set-hdr-icc-profile "$scratch/profiles/p")"

# Without a document the tool's default set is what completes.
rm -f "$DISPOR_VIRTUAL_STATE"
expect_eq "dispctl e (default set)" "eDP-1" "$(complete dispctl e)"

finish
