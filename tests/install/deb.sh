# The Debian packages, as a distribution builds them: the source package in
# debian/ built with dpkg-buildpackage, each package's fields and files,
# lintian (pedantic and informational tags too), hardening-check on every
# binary; then installed with apt in a fresh Debian 12 tree, where the tool,
# the example and the example built with pkg-config run, and purged.
#
# The source package is built once, from a copy of the sources in
# $BUILD_DIR/deb (or $DISPCTL_DEB_DIR); the tree is made once
# (bookworm-tree.sh) and only ever seen through an overlay.
. "$TEST_DIR/lib.sh"

for tool in dpkg-buildpackage dh lintian hardening-check; do
    command -v "$tool" >/dev/null 2>&1 || { echo "$tool is not installed (scripts/setup): skipped"; exit 77; }
done
[ "$(id -u)" -eq 0 ] || { echo "the Debian 12 tree needs root: skipped"; exit 77; }

source_dir=$(cd "$TEST_DIR/../.." && pwd)
work=${DISPCTL_DEB_DIR:-$BUILD_DIR/deb}
# Paths below the copy are hashed relative to it: a cached compile serves
# a copy anywhere.
export CCACHE_BASEDIR=${CCACHE_BASEDIR-$work/dispctl}
rm -rf "$work"
mkdir -p "$work/dispctl"
# The sources as git sees them, without any build tree.
(cd "$source_dir" && git ls-files -co --exclude-standard | while IFS= read -r file; do
    [ -e "$file" ] && printf '%s\n' "$file"
done | grep -v '^build[^/]*/' | tar -cf - -T -) | tar -xf - -C "$work/dispctl"

# Made while the packages build: it waits mostly on the network.
"$TEST_DIR/bookworm-tree.sh" >"$scratch/tree.log" 2>&1 &
tree_pid=$!

# At -Og and without debug information, which nothing here reads: a unit
# compiles in about a third of the time it takes at -O2 -g
# (src/report/text.cpp: 3.0 s against 10.3 s; eight units: 26 processor
# seconds against 36 at -O1), and FORTIFY still has the optimiser it needs
# (hardening-check below). debian/rules itself builds as Debian does.
(cd "$work/dispctl" && DEB_CFLAGS_STRIP="-g -O2" DEB_CXXFLAGS_STRIP="-g -O2" DEB_CFLAGS_APPEND=-Og \
    DEB_CXXFLAGS_APPEND=-Og DEB_BUILD_OPTIONS="parallel=2 noddebs" dpkg-buildpackage -us -uc -b) \
    >"$work/build.log" 2>&1 || { tail -n 40 "$work/build.log" >&2; fail "dpkg-buildpackage failed"; }
[ "$failures" -eq 0 ] || { wait "$tree_pid" || true; finish; }
# Compiler, dpkg-shlibdeps and dpkg-gensymbols (a symbol added) warnings.
# dh_dwz's warnings are about the debug information left out above.
if grep -E "warning:" "$work/build.log" | grep -v "^dh_dwz: warning:" >"$scratch/build-warnings"; then
    fail "the package build warns: $(head -n 5 "$scratch/build-warnings" | tr '\n' ';')"
fi

version=$(dpkg-parsechangelog -l "$source_dir/debian/changelog" -S Version)
arch=$(dpkg --print-architecture)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
libdir=usr/lib/$multiarch
backends="x11 wayland gnome"
packages="dispctl libdispor0 libdispor-dev dispor0-backend-x11 dispor0-backend-wayland dispor0-backend-gnome"
expect_eq "the packages" "$(for p in $packages; do echo "${p}_${version}_$arch.deb"; done | sorted)" \
    "$(cd "$work" && ls ./*.deb | sed 's|^\./||' | sorted)"
deb() { echo "$work/$1_${version}_$arch.deb"; }
field() { dpkg-deb -f "$(deb "$1")" "$2"; }

# The exact dependencies of each package, versions left out.
names() { tr ',' '\n' | sed 's/^ *//; s/ *(.*//' | sorted; }
# init-system-helpers: deb-systemd-helper, which keeps the user unit's
# state across upgrades and purges (dh_installsystemduser).
expect_eq "the tool's dependencies" \
    "init-system-helpers libc6 libdispor0 libgcc-s1 libqt6core6 libqt6dbus6 libstdc++6" \
    "$(field dispctl Depends | names)"
# Qt's D-Bus library for the backlight module (dispor0/backlight.so), which
# only a change of a panel's kernel backlight opens.
expect_eq "the library's dependencies are its core's and the backlight module's" \
    "libc6 libgcc-s1 libqt6core6 libqt6dbus6 libstdc++6" \
    "$(field libdispor0 Depends | names)"
expect_eq "the library recommends its backends" "dispor0-backend-gnome dispor0-backend-wayland dispor0-backend-x11" \
    "$(field libdispor0 Recommends | names)"
expect_eq "x11's dependencies" "libc6 libdispor0 libgcc-s1 libqt6core6 libstdc++6 libxau6 libxcb-dpms0 libxcb-randr0 libxcb1 libxcvt0" \
    "$(field dispor0-backend-x11 Depends | names)"
# The labels identify draws (labels.so) bring FreeType and fontconfig.
expect_eq "wayland's dependencies" \
    "libc6 libdispor0 libfontconfig1 libfreetype6 libgcc-s1 libqt6core6 libstdc++6 libwayland-client0" \
    "$(field dispor0-backend-wayland Depends | names)"
expect_eq "gnome's dependencies" "libc6 libdispor0 libgcc-s1 libqt6core6 libqt6dbus6 libstdc++6" \
    "$(field dispor0-backend-gnome Depends | names)"
expect_eq "the development package's dependencies" "libdispor0 qt6-base-dev" "$(field libdispor-dev Depends | names)"
for backend in $backends; do
    case ", $(field "dispor0-backend-$backend" Depends)," in
        *", libdispor0 (= $version),"*) ;;
        *) fail "dispor0-backend-$backend does not need exactly its own version of the library" ;;
    esac
done
for package in libdispor0 libdispor-dev $(for b in $backends; do echo "dispor0-backend-$b"; done); do
    expect_eq "$package is Multi-Arch: same" same "$(field "$package" Multi-Arch)"
done
for package in dispctl libdispor0 libdispor-dev dispor0-backend-gnome; do
    field "$package" Description | grep -q GNOME || fail "$package's description does not name the GNOME backend"
done
expect_eq "libdispor0's shlibs" "libdispor 0 libdispor0 (>= $version)" \
    "$(dpkg-deb --ctrl-tarfile "$(deb libdispor0)" | tar -xOf - ./shlibs)"
# The symbols file is the source's, with nothing added or lost (the build
# fails on a lost symbol; a new one only warns, caught above).
dpkg-deb --ctrl-tarfile "$(deb libdispor0)" | tar -xOf - ./symbols >"$scratch/symbols"
grep -q '^libdispor.so.0 libdispor0 #MINVER#$' "$scratch/symbols" || fail "libdispor0 has no symbols file"

# Each package's files, as dpkg lists them (directories left out).
contents() { dpkg-deb -c "$(deb "$1")" | awk '$1 !~ /^d/ { print $6 }' | sed 's|^\./||' | sorted; }
docs() { echo "usr/share/doc/$1/changelog.gz usr/share/doc/$1/copyright"; }
# The packages with lintian overrides (debian/*.lintian-overrides).
overrides() { echo "$(docs "$1") usr/share/lintian/overrides/$1"; }
# The tool and dispctl-profile: each with its manual page and completions.
tool_files() {
    echo "usr/bin/$1 usr/share/man/man1/$1.1.gz usr/share/bash-completion/completions/$1" \
        "usr/share/zsh/vendor-completions/_$1 usr/share/fish/vendor_completions.d/$1.fish"
}
expect_eq "dispctl's files" "$(echo $(tool_files dispctl) $(tool_files dispctl-profile) $(overrides dispctl) \
    $libdir/dispctl/compositor.so usr/lib/systemd/user/dispctl-profile.service | tr ' ' '\n' | sorted)" \
    "$(contents dispctl)"
expect_eq "libdispor0's files" "$(echo $libdir/libdispor.so.0 $libdir/libdispor.so.$version $libdir/dispor0/backlight.so \
    $(overrides libdispor0) | tr ' ' '\n' | sorted)" \
    "$(contents libdispor0)"
for backend in $backends; do
    # Wayland's package also holds the labels module the plugins open.
    labels=$([ "$backend" != wayland ] || echo "$libdir/dispor0/labels.so")
    expect_eq "dispor0-backend-$backend's files" \
        "$(echo $libdir/dispor0/$backend.so $labels $(overrides "dispor0-backend-$backend") | tr ' ' '\n' | sorted)" \
        "$(contents "dispor0-backend-$backend")"
done
headers=$(cd "$source_dir/dispor/include" && ls dispor/*.h | sed 's|^|usr/include/|')
expect_eq "libdispor-dev's files" "$(echo $headers usr/include/dispor/version.h $libdir/libdispor.so \
    $libdir/pkgconfig/dispor.pc $libdir/cmake/Dispor/DisporConfig.cmake $libdir/cmake/Dispor/DisporConfigVersion.cmake \
    $libdir/cmake/Dispor/DisporTargets.cmake $libdir/cmake/Dispor/DisporTargets-none.cmake \
    $(docs libdispor-dev) | tr ' ' '\n' | sorted)" "$(contents libdispor-dev)"

root="$scratch/root"
for package in $packages; do
    dpkg -x "$(deb "$package")" "$root" || fail "dpkg -x $package failed"
done
expect_eq "the tool has no search path" "" "$(objdump -p "$root/usr/bin/dispctl" | grep -E 'R(UN)?PATH' || true)"
if grep -rl "$work" "$root/usr/share" "$root/$libdir/cmake" "$root/$libdir/pkgconfig" >/dev/null 2>&1; then
    fail "the packages refer to the build tree: $(grep -rl "$work" "$root/usr/share" "$root/$libdir")"
fi

# Every binary: stack protector, FORTIFY, read-only relocations and PIE,
# as Debian 12's dpkg-buildflags give them. Not BIND_NOW, which costs
# start-up (debian/rules). Some of the tool's modules and backend plugins
# call no function that FORTIFY can check with the sizes they have: their
# compile lines show the flag instead. Control-flow protection is compiled
# into all of it, but no ELF file linked on Debian 12 can say so: glibc
# 2.36's startup objects (crt1.o, crti.o, crtn.o) carry no IBT/SHSTK
# property, so the linker drops the note hardening-check looks for. What
# is ours is checked instead: the end-branch marks are there.
for binary in usr/bin/dispctl usr/bin/dispctl-profile $libdir/libdispor.so.$version $libdir/dispctl/compositor.so \
    $libdir/dispor0/labels.so $libdir/dispor0/backlight.so $(for b in $backends; do echo "$libdir/dispor0/$b.so"; done); do
    case $binary in */dispctl/*.so | */dispor0/*.so) nofortify=--nofortify ;; *) nofortify= ;; esac
    hardening-check --nobindnow --nocfprotection $nofortify "$root/$binary" >"$scratch/hardening" 2>&1 ||
        fail "hardening-check $binary: $(grep -v ': yes' "$scratch/hardening" | tail -n +2 | tr '\n' ';')"
    # Without the flag only the startup objects bring an end-branch mark (2
    # here); with it every function that may be reached indirectly has one.
    marks=$(objdump -d --no-show-raw-insn -j .text "$root/$binary" 2>/dev/null | awk '
        $2 == "endbr64" { marks++ } $2 ~ /^ret/ { returns++ }
        END { print (marks >= 20 && marks * 5 >= returns) ? "" : marks + 0 " end-branch marks for " returns + 0 " returns" }')
    [ -z "$marks" ] || fail "$binary: $marks (built without -fcf-protection?)"
done
for unit in compositor_bus.cpp $(for b in $backends; do echo "${b}_backend.cpp"; done); do
    grep -q -- "-D_FORTIFY_SOURCE=2 .*$unit" "$work/build.log" || fail "$unit is compiled without FORTIFY"
done

# lintian with every tag that means something: errors, warnings, pedantic
# and informational ones, on the packages and the .changes file. What it
# gets wrong, and BIND_NOW left out on purpose, are overridden in
# debian/*.lintian-overrides, with the reasons.
lintian --pedantic --display-info "$work"/dispctl_*.changes >"$scratch/lintian.log" 2>&1 || true
expect_eq "lintian --pedantic --display-info reports nothing" "" "$(grep -E '^[EWIPX]:' "$scratch/lintian.log" || true)"

# The fresh Debian 12 tree: packages installed with apt, which resolves
# their dependencies, the programs run, everything purged.
wait "$tree_pid" || { cat "$scratch/tree.log" >&2; fail "the Debian 12 tree could not be made"; finish; }
tree=$(tail -n 1 "$scratch/tree.log")
write_set
mkdir -p "$scratch/upper/tmp/debs" "$scratch/overlay" "$scratch/merged"
cp "$work"/*.deb "$scratch/upper/tmp/debs/"
cp "$DISPOR_VIRTUAL_STATE" "$scratch/upper/tmp/set.json"
cp -r "$source_dir/examples/list-outputs" "$scratch/upper/tmp/example"
cp "$TEST_DIR/in-tree.sh" "$scratch/upper/tmp/in-tree.sh"
status=0
unshare --mount --propagation private -- sh -c '
    s=$1
    mount -t overlay overlay -o "lowerdir=$2,upperdir=$s/upper,workdir=$s/overlay" "$s/merged" &&
    mount -t proc proc "$s/merged/proc" && mount --rbind /dev "$s/merged/dev" &&
    exec chroot "$s/merged" /usr/bin/env -i PATH=/usr/bin:/bin:/usr/sbin:/sbin LC_ALL=C.UTF-8 HOME=/root \
        DEBIAN_FRONTEND=noninteractive sh /tmp/in-tree.sh' sh "$scratch" "$tree" \
    >"$scratch/tree.out" 2>"$scratch/tree.err" || status=$?
expect_eq "the run in the tree exits 0" 0 "$status"
expected_list="eDP-1 1920x1200 1 enabled|DP-1 3840x2160 1 enabled|HDMI-A-1 1920x1080 1 enabled"
expect_eq "what ran in the tree" "installed: $packages
help: Usage: dispctl COMMAND …
dispctl: eDP-1 DP-1 HDMI-A-1
cmake example: $expected_list
pkg-config example: $expected_list
version: Dispor $version
purged: nothing left" "$(cat "$scratch/tree.out")"
[ "$status" -eq 0 ] || tail -n 30 "$scratch/tree.err" >&2

finish
