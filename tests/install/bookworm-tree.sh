#!/bin/sh
# Makes the Debian 12 tree that the package test installs the packages in,
# once: it is made again only when missing or when the lists below change.
# The tree itself is never changed by a test, which mounts an overlay on it,
# so every run starts from the same fresh system. Prints the tree's path.
#
# The tree has what the consumers' builds need and what the packages depend
# on installed already: installing those from the cache took a minute and a
# half of each run. deb.sh checks each package's dependencies itself.
#
# DISPCTL_STABLE_TREE chooses the place (default /var/cache/dispctl/bookworm).
# Needs root (debootstrap, chroot) and Debian's package registry.
set -eu

tree=${DISPCTL_STABLE_TREE:-/var/cache/dispctl/bookworm}
packages="g++ cmake make pkgconf qt6-base-dev libqt6dbus6 libxcb1 libxcb-randr0 libxcb-dpms0 libxau6 libxcvt0
libwayland-client0"
stamp="$tree/.dispctl-packages"

if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$packages" ]; then
    echo "$tree"
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "bookworm-tree: making $tree needs root (debootstrap and chroot)" >&2
    exit 1
fi
command -v debootstrap >/dev/null 2>&1 || {
    echo "bookworm-tree: debootstrap is missing (scripts/setup installs it)" >&2
    exit 1
}
case "$tree" in
/?*/?*) ;;
*)
    echo "bookworm-tree: the tree's place must be an absolute path below a directory: $tree" >&2
    exit 1
    ;;
esac
# A directory there that this script did not make is left alone.
if [ -e "$tree" ] && [ ! -f "$stamp" ]; then
    echo "bookworm-tree: $tree exists and is not a tree this script made" >&2
    exit 1
fi
rm -rf "$tree"
mkdir -p "$(dirname "$tree")"
work="$tree.new"
rm -rf "$work"

echo "bookworm-tree: making the Debian 12 tree in $tree (a few minutes)" >&2
mirror=$(awk '/^deb / && $2 ~ /^http/ { print $2; exit }' /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null || true)
if [ -z "$mirror" ]; then
    mirror=$(sed -n 's/^URIs: *\(http[^ ]*\).*/\1/p' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -n 1)
fi
debootstrap --variant=minbase bookworm "$work" ${mirror:+"$mirror"} >"$work.log" 2>&1 || {
    tail -n 20 "$work.log" >&2
    echo "bookworm-tree: debootstrap failed (log: $work.log)" >&2
    exit 1
}
# shellcheck disable=SC2086
if ! chroot "$work" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive \
    sh -c "apt-get update -qq && apt-get install -y -qq --no-install-recommends $packages" >>"$work.log" 2>&1; then
    tail -n 20 "$work.log" >&2
    echo "bookworm-tree: installing the packages in the tree failed (log: $work.log)" >&2
    exit 1
fi
chroot "$work" apt-get clean >/dev/null 2>&1 || true
rm -f "$work.log"
printf '%s' "$packages" >"$work/.dispctl-packages"
mv "$work" "$tree"
echo "$tree"
