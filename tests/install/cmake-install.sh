# cmake --install into a scratch prefix: every file is there, the installed
# tool runs, the shells find their completions, and the example program
# builds against the library with find_package(Dispor) under CMake's default
# language standard, and with pkg-config.
. "$TEST_DIR/lib.sh"

prefix="$scratch/prefix"
cmake --install "$BUILD_DIR" --prefix "$prefix" >"$scratch/install.log" 2>&1 ||
    { cat "$scratch/install.log" >&2; fail "cmake --install failed"; finish; }

libdir=$(cd "$prefix" && dirname "$(find . -name 'libdispor.so.0' | head -n 1)")
libdir=${libdir#./}
for file in bin/dispctl "$libdir/libdispor.so" "$libdir/libdispor.so.0" \
    include/dispor/dispor.h include/dispor/config.h include/dispor/output.h include/dispor/mode.h \
    include/dispor/operations.h include/dispor/dpms.h include/dispor/version.h \
    "$libdir/pkgconfig/dispor.pc" "$libdir/cmake/Dispor/DisporConfig.cmake" "$libdir/cmake/Dispor/DisporConfigVersion.cmake" \
    "$libdir/cmake/Dispor/DisporTargets.cmake" \
    share/man/man1/dispctl.1.gz share/bash-completion/completions/dispctl \
    share/zsh/vendor-completions/_dispctl share/fish/vendor_completions.d/dispctl.fish; do
    [ -e "$prefix/$file" ] || fail "$file is not installed"
done
for header in "$TEST_DIR"/../../dispor/include/dispor/*.h; do
    [ -e "$prefix/include/dispor/$(basename "$header")" ] || fail "header $(basename "$header") is not installed"
done
gzip -dc "$prefix/share/man/man1/dispctl.1.gz" | cmp -s "$GENERATED/dispctl.1" - ||
    fail "the installed page is not the generated one"
case $libdir in
    lib/*-*-*) ;;
    *) fail "the library is not in a multiarch directory: $libdir" ;;
esac

write_set
# The installed tool finds its own library without help.
expect_eq "installed dispctl lists the outputs" "eDP-1 DP-1 HDMI-A-1" \
    "$("$prefix/bin/dispctl" list-outputs --names 2>&1 | tr '\n' ' ' | sed 's/ $//')"

page=$(MANPATH="$prefix/share/man" man -w dispctl 2>&1)
expect_eq "man finds the page" "$prefix/share/man/man1/dispctl.1.gz" "$page"

PATH="$prefix/bin:$PATH"
# bash-completion loads the script on demand from the prefix's data dir.
if [ -r /usr/share/bash-completion/bash_completion ]; then
    loaded=$(XDG_DATA_DIRS="$prefix/share" bash --norc --noprofile -c '
        . /usr/share/bash-completion/bash_completion
        _completion_loader dispctl
        complete -p dispctl
        COMP_WORDS=(dispctl DP-1 set-hd); COMP_CWORD=2
        _dispctl dispctl set-hd DP-1
        printf "%s\n" "${COMPREPLY[@]}" | LC_ALL=C sort' 2>&1)
    expect_eq "bash-completion loads the installed script" \
        "complete -F _dispctl dispctl set-hdr set-hdr-and-wcg set-hdr-color-profile-source set-hdr-icc-profile" \
        "$(printf '%s\n' "$loaded" | tr '\n' ' ' | sed 's/ $//')"
else
    echo "bash-completion is not installed: its loader is not checked"
fi
if command -v zsh >/dev/null 2>&1; then
    bound=$(zsh -f -c 'fpath=("$1" $fpath); autoload -U compinit; compinit -u -d "$2"; print -r -- ${_comps[dispctl]}' \
        zsh "$prefix/share/zsh/vendor-completions" "$scratch/zcompdump" 2>&1)
    expect_eq "zsh finds the installed completion" "_dispctl" "$bound"
fi
if command -v fish >/dev/null 2>&1; then
    # Not --no-config: the vendor directories are set up by fish's own config.
    offered=$(XDG_DATA_DIRS="$prefix/share" fish -c 'complete -C "dispctl DP-1 set-w"' 2>&1 | cut -f1)
    expect_eq "fish finds the installed completion" "set-wcg" "$offered"
fi

# The example, configured without a language standard, built and run.
example="$TEST_DIR/../../examples/list-outputs"
expected_list="eDP-1 1920x1200 1 enabled|DP-1 3840x2160 1 enabled|HDMI-A-1 1920x1080 1 enabled"
cmake -S "$example" -B "$scratch/consumer" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_PREFIX_PATH="$prefix" >"$scratch/consumer.log" 2>&1 &&
    cmake --build "$scratch/consumer" >>"$scratch/consumer.log" 2>&1 ||
    { cat "$scratch/consumer.log" >&2; fail "the example does not build against the installed package"; finish; }
grep -q "$prefix/$libdir/cmake/Dispor" "$scratch/consumer/CMakeCache.txt" || fail "the example found another Dispor"
expect_eq "the example runs on the installed library" "$expected_list" \
    "$(LD_LIBRARY_PATH="$prefix/$libdir" "$scratch/consumer/list-outputs" 2>&1 | tr '\n' '|' | sed 's/|$//')"

version=$(sed -n 's/^project(dispctl VERSION \([0-9.]*\).*/\1/p' "$TEST_DIR/../../CMakeLists.txt")
expect_eq "the version header says the project's version" "Dispor $version" \
    "$(LD_LIBRARY_PATH="$prefix/$libdir" "$scratch/consumer/list-outputs" --version 2>&1)"

# The same program with pkg-config's flags alone.
if command -v pkg-config >/dev/null 2>&1; then
    export PKG_CONFIG_PATH="$prefix/$libdir/pkgconfig"
    expect_eq "pkg-config knows the version" "$version" "$(pkg-config --modversion dispor 2>&1)"
    # With the flags the caller gives, as CMake takes them for the other build.
    # shellcheck disable=SC2046,SC2086
    c++ -std=c++20 -fPIC ${CXXFLAGS:-} "$example/main.cpp" $(pkg-config --cflags --libs dispor) ${LDFLAGS:-} \
        -o "$scratch/pc-example" \
        >"$scratch/pc.log" 2>&1 || { cat "$scratch/pc.log" >&2; fail "the example does not build with pkg-config"; }
    expect_eq "the pkg-config build runs" "$expected_list" \
        "$(LD_LIBRARY_PATH="$prefix/$libdir" "$scratch/pc-example" 2>&1 | tr '\n' '|' | sed 's/|$//')"
else
    echo "pkg-config is not installed: the pkg-config build is not checked"
fi

# A version the package does not provide is refused.
mkdir -p "$scratch/wrong"
sed 's/find_package(Dispor 0.1 REQUIRED)/find_package(Dispor 7.0 REQUIRED)/' "$example/CMakeLists.txt" \
    >"$scratch/wrong/CMakeLists.txt"
cp "$example/main.cpp" "$scratch/wrong/"
if cmake -S "$scratch/wrong" -B "$scratch/wrong-build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null 2>&1; then
    fail "find_package(Dispor 7.0) accepted version $(grep -o 'PACKAGE_VERSION "[^"]*"' "$prefix/$libdir/cmake/Dispor/DisporConfigVersion.cmake")"
fi

finish
