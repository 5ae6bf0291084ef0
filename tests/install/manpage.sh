# The generated manual page: clean for groff, complete, and escaped.
. "$TEST_DIR/lib.sh"

page="$GENERATED/dispctl.1"
[ -f "$page" ] || { echo "no $page" >&2; exit 1; }

warnings=$(groff -man -ww -z "$page" 2>&1 >/dev/null) || fail "groff failed on the page"
expect_eq "groff -man -ww -z prints nothing" "" "$warnings"

text=$(groff -man -Tutf8 -P-cbou "$page" 2>/dev/null | sed 's/\xe2\x88\x92/-/g; s/\xe2\x80\x90/-/g')

for section in NAME SYNOPSIS DESCRIPTION "GLOBAL COMMANDS" OUTPUT "OUTPUT COMMANDS" OPTIONS VALUES \
    "COMPOSITOR SERVICE" EXAMPLES "JSON REPORT" "EXIT STATUS" ENVIRONMENT "VIRTUAL DISPLAY SET" FILES; do
    printf '%s\n' "$text" | grep -qx "$section" || fail "section $section is missing"
done

# Every command is an entry of its own: its name starts a line of the page.
for command in $global_commands $output_commands; do
    printf '%s\n' "$text" | grep -Eq "^ +$command( |\$)" || fail "command $command has no entry"
done
# ...and nothing else is: the entries of the command sections, from the source.
entries=$(awk '/^\.SH "?(GLOBAL COMMANDS|OUTPUT COMMANDS)/ { on = 1; next } /^\.SH/ { on = 0 }
    on && (last == ".TP" || last == ".TQ") { print } { last = $0 }' "$page" |
    sed -n 's/^\\fB\([^\\]*\(\\-[^\\]*\)*\)\\fR.*/\1/p' | sed 's/\\-/-/g' | sorted)
expect_eq "the page's commands are the tool's" "$(echo $global_commands $output_commands | tr ' ' '\n' | sorted)" \
    "$(printf '%s\n' $entries | sort -u | sorted)"
printf '%s\n' "$text" | grep -Eq '^ +OUTPUT \[--json\]$' || fail "self (OUTPUT alone) has no entry"

for category in Basic Brightness "Color Management" Misc Modes Positioning; do
    printf '%s\n' "$text" | grep -qx "   $category" || fail "category $category is missing"
done

# Value names, both alternatives of add-custom-mode, options and examples.
for expected in \
    "set-rotation ROTATION" "set-position X Y" "remove-custom-mode MODE" \
    "add-custom-mode [--reduced-blanking] MODE" "[FLAG ...]" \
    "list-outputs [--enabled] [--disabled] [--names] [--json]" \
    "--reduced-blanking (OUTPUT add-custom-mode)" "--json (OUTPUT)" "--json (list-outputs)" \
    "dispctl list-outputs --enabled" "dispctl DP-1 set-mode 1920x1080@60" \
    "dispctl active-output set-icc-profile ~/path/to/profile.icc" \
    "use the \`set-hdr-icc-profile\` command" \
    "This command will show a popup on every screen" \
    '"active-output" or "primary-output"' \
    DISPOR_BACKEND DISPOR_VIRTUAL_STATE XDG_RUNTIME_DIR \
    "\$XDG_RUNTIME_DIR/dispor/virtual-display.json" "/tmp/dispor-UID/virtual-display.json" \
    '"currentModeId": "1",' primary-output active-output \
    "both mean a factor of 1.5, and 2 means 2%, not twice the size" "set-scale 200 or set-scale 200%" \
    "The scale factor should be at least 50%" "The scale factor cannot be greater than 1000%" \
    "set-brightness 0.5 sets half a percent" "(org.lumo.Vantor)" "identify asks it to show its popup" \
    "\$XDG_RUNTIME_DIR/dispor/wayland-SOCKET-custom-modes.json" WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS; do
    printf '%s\n' "$text" | tr -s ' \n' '  ' | grep -qF -- "$expected" || fail "page lacks: $expected"
done

# The percent rule as the page states it is the tool's: 2 is 2%, 200 is twice.
write_set
for case in "2|1|The scale factor should be at least 50%" "1000.1|1|The scale factor cannot be greater than 1000%" \
    "50%%|1|Invalid argument: 50%%" "200|0|"; do
    IFS='|' read -r value want_status want_err <<<"$case"
    status=0
    "$DISPCTL" DP-1 set-scale "$value" >"$scratch/out" 2>"$scratch/err" || status=$?
    expect_eq "set-scale $value: exit status" "$want_status" "$status"
    expect_eq "set-scale $value: standard error" "$want_err" "$(cat "$scratch/err")"
done
expect_eq "set-scale 200 doubles the scale" '"scale": 2' "$("$DISPCTL" DP-1 --json 2>&1 | grep -o '"scale": *[^,]*')"

# The JSON report's reference names every key the report has, each once
# per object, and no other: here with the three overrides, present only
# when set.
for command in "set-min-brightness-override 5" "set-max-peak-brightness-override 900" \
    "set-max-average-brightness-override 400"; do
    # shellcheck disable=SC2086
    "$DISPCTL" DP-1 $command >/dev/null 2>&1 || fail "DP-1 $command failed"
done
documented=$(awk '/^\.SH "JSON REPORT"/ { on = 1; next } /^\.SH/ { on = 0 }
    on && last == ".TP" { print } { last = $0 }' "$page" | sed -n 's/^\\fB\([A-Za-z]*\)\\fR.*/\1/p' | sort -u | sorted)
written=$("$DISPCTL" DP-1 --json 2>&1 | grep -o '"[A-Za-z]*": ' | tr -d '": ' | sort -u | sorted)
expect_eq "the manual page documents the JSON report's keys" "$written" "$documented"

# In the source every hyphen is a \- and no line starts a request by accident.
source_text=$(grep -v -e '^\.\\"' -e '^\.TH ' "$page")
bad=$(printf '%s\n' "$source_text" | grep -nE '(^|[^\\])-' || true)
expect_eq "every hyphen is escaped" "" "$bad"
bad=$(printf '%s\n' "$source_text" | grep -nE "^['.]" | grep -vE "^[0-9]+:\.(TH|SH|SS|TP|TQ|PP|IP|RS|RE|nf|fi|br|B|I|BR|RB|IR|RI|nh)( |\$)" || true)
expect_eq "only known requests start lines" "" "$bad"
bad=$(printf '%s\n' "$source_text" | grep -n '`' || true)
expect_eq "backquotes are escaped" "" "$bad"
bad=$(LC_ALL=C grep -n '[^ -~]' "$page" || true)
expect_eq "the source is plain ASCII" "" "$bad"

# The escaping itself, on texts that troff would otherwise take apart.
input='.starts with a dot
'"'"'starts with a quote
back\slash, -dash, "quotes", `ticks`, ~tilde and ^caret
an ellipsis … and é'
rendered=$( { printf '.TH T 1\n.SH X\n.nf\n'; printf '%s\n' "$input" | "$DISPCTL_GEN" --troff; printf '.fi\n'; } |
    groff -man -Tutf8 -ww -P-cbou 2>"$scratch/escape.err" | sed 's/\xe2\x88\x92/-/g' |
    sed -n '/^X$/,$p' | sed '1d' | sed 's/^ *//' | grep -v '^$' | head -n 4)
expect_eq "escaped texts render as they are" "$input" "$rendered"
expect_eq "escaped texts give groff no warning" "" "$(cat "$scratch/escape.err")"

finish
