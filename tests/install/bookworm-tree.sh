#!/bin/sh
# Makes the Debian 12 tree that the package test installs the packages in,
# once: it is made again only when missing or when the list below changes.
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

# One package per line; each reaches apt-get as an argument of its own.
packages="
g++
cmake
make
pkgconf
qt6-base-dev
libqt6dbus6
libxcb1
libxcb-randr0
libxcb-dpms0
libxau6
libxcvt0
libwayland-client0
"
set -f
# shellcheck disable=SC2086
exec "$(dirname "$0")/../../scripts/debian-tree" bookworm-tree bookworm \
    "${DISPCTL_STABLE_TREE:-/var/cache/dispctl/bookworm}" $packages
