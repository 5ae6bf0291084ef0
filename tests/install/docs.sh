# What the documents say against what is: the README's commands exist and
# take the words it gives them, the library's overview lists the backends
# in the order the automatic choice tries them, and the changelog names
# every package debian/control builds.
. "$TEST_DIR/lib.sh"

source_dir=$(cd "$TEST_DIR/../.." && pwd)
readme="$source_dir/README.md"

# The commands of the README's first block: "    scripts/NAME [WORD]  # …".
commands=$(sed -n '/^    scripts\//{s/^    //; s/ *#.*//; p}' "$readme" | sed -n '1,/^$/p')
[ -n "$commands" ] || fail "the README shows no scripts/ command"
echo "$commands" | while read -r script word; do
    [ -x "$source_dir/$script" ] || echo "the README's $script is not an executable script" >&2
    case "$word" in
    "" | list-outputs) ;;
    *) grep -q -- "^$word)" "$source_dir/$script" || echo "$script does not take $word" >&2 ;;
    esac
done 2>"$scratch/commands"
[ ! -s "$scratch/commands" ] || fail "$(cat "$scratch/commands")"

# The choice's order in the code, and in the overview's words.
order=$(sed -n '/^constexpr Known known\[\] = {/,/^};/p' "$source_dir/dispor/src/backend.cpp" |
    sed -n 's/.*{*entry("\([a-z0-9]*\)".*/\1/p; s/.*{"\([a-z0-9]*\)", &simulated.*/\1/p' | tr '\n' ' ')
overview=$(tr '\n' ' ' <"$source_dir/dispor/include/dispor/dispor.h" | sed 's|// *||g' |
    sed -n 's/.*DISPOR_BACKEND (\([a-z0-9, ]*\)).*/\1/p' | tr -d ',')
expect_eq "dispor.h lists the backends in the order they are tried" "$order" "$overview "

# Every binary package, in the changelog's latest entry.
entry=$(sed -n '2,/^ -- /p' "$source_dir/debian/changelog" | tr '\n' ' ')
for package in $(sed -n 's/^Package: //p' "$source_dir/debian/control"); do
    case "$entry" in
    *"$package"*) ;;
    *) fail "debian/changelog does not name the package $package" ;;
    esac
done
finish
