# No binary, in the build tree or installed, has an empty entry in its
# search path (RUNPATH or RPATH): the dynamic loader reads one as the working
# directory, and would load a library planted there into every run.
. "$TEST_DIR/lib.sh"

command -v readelf >/dev/null 2>&1 || { echo "readelf is not installed"; exit 77; }

# check_tree DIRECTORY: every ELF file below it.
check_tree()
{
    checked=0
    while IFS= read -r -d '' file; do
        IFS= read -r -N 4 magic <"$file" 2>/dev/null || continue
        [ "$magic" = $'\x7fELF' ] || continue
        checked=$((checked + 1))
        paths=$(readelf -d "$file" 2>/dev/null | sed -n 's/.*(R\(UN\)\{0,1\}PATH).*\[\(.*\)\]$/\2/p')
        [ -n "$paths" ] || continue
        case ":$paths:" in
            *::*) fail "$file has an empty search path entry: [$paths]" ;;
        esac
    done < <(find "$1" -path "$1/deb" -prune -o -type f -print0)
    [ "$checked" -gt 0 ] || fail "no ELF file found in $1"
}

# Not the package build's copy below it (install.deb checks those packages),
# which may be half built while this runs.
check_tree "$BUILD_DIR"
cmake --install "$BUILD_DIR" --prefix "$scratch/prefix" >"$scratch/install.log" 2>&1 ||
    { cat "$scratch/install.log" >&2; fail "cmake --install failed"; finish; }
check_tree "$scratch/prefix"
# The installed tool still finds its own library.
[ -n "$(readelf -d "$scratch/prefix/bin/dispctl" | grep -E 'R(UN)?PATH.*\$ORIGIN/')" ] ||
    fail "the installed tool has no search path relative to itself"
expect_eq "the installed tool runs" "eDP-1 DP-1" \
    "$("$scratch/prefix/bin/dispctl" list-outputs --names 2>&1 | tr '\n' ' ' | sed 's/ $//')"
finish
