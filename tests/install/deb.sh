# The Debian packages: CPack builds dispctl, libdispor0 and libdispor-dev;
# each declares the right dependencies, holds its own files and passes
# lintian without error or warning; the tool runs from the unpacked trees.
. "$TEST_DIR/lib.sh"

command -v dpkg-deb >/dev/null 2>&1 || { echo "dpkg-deb is not installed: skipped"; exit 77; }

cd "$scratch"
cpack -G DEB --config "$BUILD_DIR/CPackConfig.cmake" -B "$scratch/package" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log" >&2; fail "cpack failed"; finish; }
version=$(sed -n 's/^project(dispctl VERSION \([0-9.]*\).*/\1/p' "$TEST_DIR/../../CMakeLists.txt")
arch=$(dpkg --print-architecture)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch)
libdir=usr/lib/$multiarch

expect_eq "the packages" "dispctl_${version}_$arch.deb libdispor-dev_${version}_$arch.deb libdispor0_${version}_$arch.deb" \
    "$(cd "$scratch/package" && ls ./*.deb | sed 's|^\./||' | sorted)"
deb() { echo "$scratch/package/$1_${version}_$arch.deb"; }

# has_depends PACKAGE DEPENDENCY...: each is in Depends, as "name" or "name (…)".
has_depends()
{
    local package=$1 depends
    shift
    depends=$(dpkg-deb -f "$(deb "$package")" Depends)
    for library in "$@"; do
        case ", $depends," in
            *", $library "* | *", $library,"*) ;;
            *) fail "$package: Depends lacks $library: $depends" ;;
        esac
    done
}
has_depends dispctl libqt6core6 libqt6dbus6 libc6 libstdc++6 "libdispor0 (= $version)"
has_depends libdispor0 libqt6core6 libc6 libstdc++6
has_depends libdispor-dev "libdispor0 (= $version)" qt6-base-dev
expect_eq "libdispor0's shlibs" "libdispor 0 libdispor0 (= $version)" \
    "$(dpkg-deb --ctrl-tarfile "$(deb libdispor0)" | tar -xOf - ./shlibs)"
expect_eq "libdispor0's trigger" "activate-noawait ldconfig" \
    "$(dpkg-deb --ctrl-tarfile "$(deb libdispor0)" | tar -xOf - ./triggers)"
expect_eq "libdispor0 has no maintainer scripts" "./control ./md5sums ./shlibs ./triggers" \
    "$(dpkg-deb --ctrl-tarfile "$(deb libdispor0)" | tar -tf - | sorted)"

# Each package's files, as dpkg lists them (directories left out).
contents()
{
    dpkg-deb -c "$(deb "$1")" | awk '$1 !~ /^d/ { print $6 }' | sed 's|^\./||' | sorted
}
docs() { echo "usr/share/doc/$1/changelog.gz usr/share/doc/$1/copyright"; }
expect_eq "dispctl's files" "$(echo usr/bin/dispctl $(docs dispctl) usr/share/man/man1/dispctl.1.gz $libdir/dispctl/compositor.so $libdir/dispctl/x11.so \
    usr/share/bash-completion/completions/dispctl usr/share/zsh/vendor-completions/_dispctl \
    usr/share/fish/vendor_completions.d/dispctl.fish | tr ' ' '\n' | sorted)" "$(contents dispctl)"
expect_eq "libdispor0's files" "$(echo $libdir/libdispor.so.0 $libdir/libdispor.so.$version $(docs libdispor0) \
    $libdir/dispor0/gnome.so $libdir/dispor0/wayland.so $libdir/dispor0/x11.so |
    tr ' ' '\n' | sorted)" "$(contents libdispor0)"
headers=$(cd "$TEST_DIR/../../dispor/include" && ls dispor/*.h | sed 's|^|usr/include/|')
expect_eq "libdispor-dev's files" "$(echo $headers usr/include/dispor/version.h $libdir/libdispor.so \
    $libdir/pkgconfig/dispor.pc $libdir/cmake/Dispor/DisporConfig.cmake $libdir/cmake/Dispor/DisporConfigVersion.cmake \
    $libdir/cmake/Dispor/DisporTargets.cmake $libdir/cmake/Dispor/DisporTargets-relwithdebinfo.cmake \
    $(docs libdispor-dev) | tr ' ' '\n' | sorted)" "$(contents libdispor-dev | sed 's/DisporTargets-[a-z]*\.cmake/DisporTargets-relwithdebinfo.cmake/')"

root="$scratch/root"
for package in dispctl libdispor0 libdispor-dev; do
    dpkg -x "$(deb "$package")" "$root" || fail "dpkg -x $package failed"
done
expect_eq "the soname" "libdispor.so.0" \
    "$(objdump -p "$root/$libdir/libdispor.so.$version" 2>/dev/null | awk '$1 == "SONAME" { print $2 }')"
expect_eq "the tool has no search path" "" "$(objdump -p "$root/usr/bin/dispctl" | grep -E 'R(UN)?PATH' || true)"
expect_eq "the pkg-config file points into /usr" "prefix=/usr|libdir=\${prefix}/${libdir#usr/}|includedir=\${prefix}/include" \
    "$(head -n 3 "$root/$libdir/pkgconfig/dispor.pc" | tr '\n' '|' | sed 's/|$//')"
# No path of the build machine leaks into the packages.
if grep -rl "$BUILD_DIR" "$root/usr/share" "$root/$libdir/cmake" "$root/$libdir/pkgconfig" >/dev/null 2>&1; then
    fail "the packages refer to the build tree: $(grep -rl "$BUILD_DIR" "$root/usr/share" "$root/$libdir")"
fi

if command -v lintian >/dev/null 2>&1; then
    # Tags of severity info and below are advice, not faults.
    lintian --fail-on error,warning "$scratch"/package/*.deb \
        >"$scratch/lintian.log" 2>&1 || fail "lintian: $(grep -E '^[EW]:' "$scratch/lintian.log" | tr '\n' ';')"
    expect_eq "lintian reports no error and no warning" "" "$(grep -E '^[EW]:' "$scratch/lintian.log" || true)"
else
    echo "lintian is not installed: the packages are not checked by it"
fi

write_set
status=0
LD_LIBRARY_PATH="$root/$libdir" "$root/usr/bin/dispctl" --help >"$scratch/out" 2>"$scratch/err" || status=$?
expect_eq "dispctl --help exits 0" 0 "$status"
expect_eq "dispctl --help prints nothing on standard output" "" "$(cat "$scratch/out")"
expect_eq "the help starts with the usage line" "Usage: dispctl COMMAND …" "$(head -n 1 "$scratch/err")"
grep -q "set-hdr-color-profile-source" "$scratch/err" || fail "the help lacks the per-output commands"

expect_eq "the packaged tool runs a command" "eDP-1 DP-1 HDMI-A-1" \
    "$(LD_LIBRARY_PATH="$root/$libdir" "$root/usr/bin/dispctl" list-outputs --names 2>&1 | tr '\n' ' ' | sed 's/ $//')"

finish
