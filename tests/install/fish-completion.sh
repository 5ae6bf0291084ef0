# The generated fish completion, asked by fish itself (complete -C) what it
# offers for a command line.
. "$TEST_DIR/lib.sh"

command -v "$SHELL_UNDER_TEST" >/dev/null 2>&1 || { echo "fish is not installed: skipped"; exit 77; }
PATH="$(dirname "$DISPCTL"):$PATH"
write_set

# complete LINE : the sorted candidates fish offers for the end of LINE.
complete()
{
    fish --no-config -c 'source $argv[1]; complete -C $argv[2]' "$GENERATED/dispctl.fish" "$1" \
        2>"$scratch/stderr" | cut -f1 | sorted
    [ ! -s "$scratch/stderr" ] || fail "completing '$1' wrote: $(cat "$scratch/stderr")"
}

expect_eq "dispctl DP" "DP-1" "$(complete 'dispctl DP')"
expect_eq "dispctl " \
    "$(printf '%s\n' $global_commands help eDP-1 DP-1 HDMI-A-1 active-output primary-output | sorted)" \
    "$(complete 'dispctl ')"
expect_eq "dispctl DP-1 " "$(printf '%s\n' $output_commands | sorted)" "$(complete 'dispctl DP-1 ')"
expect_eq "dispctl DP-1 set-r" "set-replica-of set-rgb-range set-rotation" "$(complete 'dispctl DP-1 set-r')"
expect_eq "dispctl DP-1 set-hdr " "false off on true" "$(complete 'dispctl DP-1 set-hdr ')"
expect_eq "dispctl DP-1 set-hdr on " "" "$(complete 'dispctl DP-1 set-hdr on ')"
expect_eq "dispctl DP-1 set-mode " "1 2 3" "$(complete 'dispctl DP-1 set-mode ')"
expect_eq "dispctl eDP-1 remove-custom-mode " "0 1" "$(complete 'dispctl eDP-1 remove-custom-mode ')"
expect_eq "dispctl DP-1 left-of " "DP-1 HDMI-A-1 active-output eDP-1 primary-output" "$(complete 'dispctl DP-1 left-of ')"
expect_eq "dispctl DP-1 set-replica-of n" "none" "$(complete 'dispctl DP-1 set-replica-of n')"
expect_eq "dispctl list-outputs --" "--disabled --enabled --help --json --names" "$(complete 'dispctl list-outputs --')"
expect_eq "dispctl DP-1 --" "--help --json" "$(complete 'dispctl DP-1 --')"
expect_eq "dispctl DP-1 set-mode --json " "1 2 3" "$(complete 'dispctl DP-1 set-mode --json ')"

mkdir -p "$scratch/profiles"
touch "$scratch/profiles/panel.icc"
expect_eq "dispctl DP-1 set-icc-profile PATH" "$scratch/profiles/panel.icc" \
    "$(complete "dispctl DP-1 set-icc-profile $scratch/profiles/pa")"
expect_eq "dispctl DP-1 set-brightness (no files)" "" "$(complete "dispctl DP-1 set-brightness $scratch/profiles/pa")"

# The descriptions come from the command records.
described=$(fish --no-config -c 'source $argv[1]; complete -C "dispctl DP-1 set-hdr-a"' "$GENERATED/dispctl.fish")
expect_eq "descriptions" "$(printf 'set-hdr-and-wcg\tTurn on or turn off both HDR and wide color gamut')" "$described"

finish
