# The Debian trees' package lists (scripts/modern-tree, bookworm-tree.sh)
# reach apt-get one package per argument, and the stamp each tree keeps is
# the list that was installed: a tree is made again exactly when its script's
# list changes. debootstrap, chroot and id are stand-ins that record what
# they were asked; nothing is downloaded.
. "$TEST_DIR/lib.sh"

source_dir=$(cd "$TEST_DIR/../.." && pwd)
stubs="$scratch/stubs"
calls="$scratch/calls"
mkdir -p "$stubs"
cat >"$stubs/debootstrap" <<'STUB'
#!/bin/sh
echo debootstrap >>"$CALLS"
mkdir -p "$3"
STUB
# One line per call: its arguments after the tree and env's settings, each
# in brackets, so that a split or joined argument shows.
cat >"$stubs/chroot" <<'STUB'
#!/bin/sh
shift
[ "$1" = env ] && shift 2
while [ "${1#*=}" != "$1" ]; do shift; done
line=chroot
for arg in "$@"; do line="$line [$arg]"; done
echo "$line" >>"$CALLS"
STUB
printf '#!/bin/sh\necho 0\n' >"$stubs/id"
chmod +x "$stubs"/*
export CALLS="$calls" PATH="$stubs:$PATH"

# check SCRIPT VARIABLE
check()
{
    tree="$scratch/$(basename "$1")/tree"
    : >"$calls"
    out=$(env "$2=$tree" "$1" 2>"$scratch/err") || { cat "$scratch/err" >&2; fail "$1 failed"; return; }
    expect_eq "$1 prints the tree" "$tree" "$out"
    [ -f "$tree/.dispctl-packages" ] || { fail "$1 wrote no stamp"; return; }
    stamp=$(cat "$tree/.dispctl-packages")
    expect_eq "$1: the update is a command of its own" "chroot [apt-get] [update] [-qq]" "$(sed -n 2p "$calls")"
    expect_eq "$1: each package of the stamp is one argument of the install" \
        "chroot [apt-get] [install] [-y] [-qq] [--no-install-recommends] $(printf '[%s] ' $stamp | sed 's/ $//')" \
        "$(sed -n 3p "$calls")"
    # The list is the script's own, one package per line in it.
    expect_eq "$1: the stamp is the script's list" \
        "$(sed -n '/^packages="$/,/^"$/p' "$1" | sed '1d;$d' | tr '\n' ' ' | sed 's/ $//')" "$stamp"

    # Made: found by its stamp, nothing downloaded again.
    : >"$calls"
    out=$(env "$2=$tree" "$1" 2>&1) || fail "$1 failed on a made tree"
    expect_eq "$1 finds its tree" "$tree" "$out"
    expect_eq "$1 makes nothing again" "" "$(cat "$calls")"

    # Another list in the stamp (the script's list changed): made again.
    printf '%s' "$stamp libold" >"$tree/.dispctl-packages"
    : >"$calls"
    out=$(env "$2=$tree" "$1" 2>/dev/null) || fail "$1 failed on a tree of another list"
    expect_eq "$1 makes a tree of another list again" "debootstrap" "$(head -n 1 "$calls")"
    expect_eq "$1 stamps the new tree" "$stamp" "$(cat "$tree/.dispctl-packages")"
}
check "$source_dir/scripts/modern-tree" DISPCTL_MODERN_TREE
check "$source_dir/tests/install/bookworm-tree.sh" DISPCTL_STABLE_TREE

# A name that a shell would split, or an option, is refused before anything.
for bad in "g++ cmake" "libfoo
sh" "--allow-unauthenticated" ""; do
    : >"$calls"
    if "$source_dir/scripts/debian-tree" test bookworm "$scratch/bad/tree" g++ "$bad" 2>"$scratch/err"; then
        fail "debian-tree took the package '$bad'"
    fi
    expect_eq "debian-tree refuses '$bad' at once" "" "$(cat "$calls")"
done
finish
