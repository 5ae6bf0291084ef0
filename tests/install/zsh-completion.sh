# The generated zsh completion: it loads through compinit, and its function,
# run with the completion system's builtins replaced by recorders, offers
# the right words.
. "$TEST_DIR/lib.sh"

command -v "$SHELL_UNDER_TEST" >/dev/null 2>&1 || { echo "zsh is not installed: skipped"; exit 77; }
PATH="$(dirname "$DISPCTL"):$PATH"
write_set

mkdir -p "$scratch/functions"
cp "$GENERATED/_dispctl" "$scratch/functions/_dispctl"

# compinit reads the #compdef line from the function path.
bound=$(zsh -f -c 'fpath=("$1" $fpath); autoload -U compinit; compinit -u -d "$2"; print -r -- ${_comps[dispctl]}' \
    zsh "$scratch/functions" "$scratch/zcompdump" 2>&1)
expect_eq "compinit binds dispctl to _dispctl" "_dispctl" "$bound"

# complete WORD... : the sorted candidates for the last word of the line.
complete()
{
    zsh -f -c '
        script=$1; shift
        # Recorders in place of the completion builtins; each offers the
        # candidates that match the current word, as compadd would.
        offer() { local c; for c in "$@"; do [[ $c == ${words[CURRENT]}* ]] && print -r -- $c; done; }
        compadd() { while [[ $1 != -- && $# -gt 0 ]]; do shift; done; shift; offer "$@"; }
        _describe() { local item; local -a names; for item in ${(P)${@[-1]}}; do names+=("${item%%:*}"); done; offer "${names[@]}"; }
        _files() { print -r -- "<files>"; }
        compdef() { print -r -- "compdef $*" >&2; }
        source $script 2>/dev/null
        words=("$@"); CURRENT=$#
        _dispctl' zsh "$GENERATED/_dispctl" "$@" 2>"$scratch/stderr" | sorted
    [ ! -s "$scratch/stderr" ] || fail "completing '$*' wrote: $(cat "$scratch/stderr")"
}

expect_eq "dispctl DP" "DP-1" "$(complete dispctl DP)"
expect_eq "dispctl ''" \
    "$(printf '%s\n' $global_commands help eDP-1 DP-1 HDMI-A-1 active-output primary-output | sorted)" \
    "$(complete dispctl '')"
expect_eq "dispctl DP-1 ''" "$(printf '%s\n' $output_commands | sorted)" "$(complete dispctl DP-1 '')"
expect_eq "dispctl DP-1 set-r" "set-replica-of set-rgb-range set-rotation" "$(complete dispctl DP-1 set-r)"
expect_eq "dispctl DP-1 set-hdr ''" "false off on true" "$(complete dispctl DP-1 set-hdr '')"
expect_eq "dispctl DP-1 set-hdr on ''" "" "$(complete dispctl DP-1 set-hdr on '')"
expect_eq "dispctl DP-1 set-mode ''" "1 2 3" "$(complete dispctl DP-1 set-mode '')"
expect_eq "dispctl eDP-1 remove-custom-mode ''" "0 1" "$(complete dispctl eDP-1 remove-custom-mode '')"
expect_eq "dispctl DP-1 set-replica-of ''" "DP-1 HDMI-A-1 active-output eDP-1 none primary-output" \
    "$(complete dispctl DP-1 set-replica-of '')"
expect_eq "dispctl list-outputs --" "--disabled --enabled --help --json --names" "$(complete dispctl list-outputs --)"
expect_eq "dispctl DP-1 --" "--help --json" "$(complete dispctl DP-1 --)"
expect_eq "dispctl DP-1 set-icc-profile ''" "<files>" "$(complete dispctl DP-1 set-icc-profile '')"
expect_eq "add-custom-mode FLAG" "+hsync +vsync" \
    "$(complete dispctl DP-1 add-custom-mode 712.75 3840 4160 4576 5312 2160 2163 2168 2237 +)"

finish
