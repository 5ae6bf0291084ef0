# The Debian package: CPack builds it, it declares its runtime libraries,
# holds every installed file, and its tool runs from an unpacked tree.
. "$TEST_DIR/lib.sh"

command -v dpkg-deb >/dev/null 2>&1 || { echo "dpkg-deb is not installed: skipped"; exit 77; }

cd "$scratch"
cpack -G DEB --config "$BUILD_DIR/CPackConfig.cmake" -B "$scratch/package" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log" >&2; fail "cpack failed"; finish; }
deb=$(ls "$scratch"/package/*.deb)
[ "$(printf '%s\n' "$deb" | wc -l)" -eq 1 ] || { fail "expected one package, got: $deb"; finish; }

expect_eq "package name" "dispctl" "$(dpkg-deb -f "$deb" Package)"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6core6 libqt6gui6 libqt6dbus6 libfmt9 libc6 libstdc++6; do
    case ", $depends," in
        *", $library "* | *", $library,"*) ;;
        *) fail "Depends lacks $library: $depends" ;;
    esac
done

root="$scratch/root"
dpkg -x "$deb" "$root" || fail "dpkg -x failed"
libdir=$(dirname "$(cd "$root" && find . -name 'libdispor.so.0' | head -n 1)")
libdir=${libdir#./}
case $libdir in
    usr/lib | usr/lib/*) ;;
    *) fail "the library is not under /usr/lib: $libdir" ;;
esac
for file in usr/bin/dispctl "$libdir/libdispor.so.0" "$libdir/libdispor.so" include/dispor/dispor.h \
    "$libdir/cmake/Dispor/DisporConfig.cmake" usr/share/man/man1/dispctl.1 \
    usr/share/bash-completion/completions/dispctl usr/share/zsh/vendor-completions/_dispctl \
    usr/share/fish/vendor_completions.d/dispctl.fish; do
    file=${file#usr/}
    [ -e "$root/usr/$file" ] || fail "the package lacks /usr/$file"
done
# No path of the build machine leaks into the package.
if grep -rl "$BUILD_DIR" "$root/usr/share" "$root/$libdir/cmake" >/dev/null 2>&1; then
    fail "the package refers to the build tree: $(grep -rl "$BUILD_DIR" "$root/usr/share" "$root/$libdir/cmake")"
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
