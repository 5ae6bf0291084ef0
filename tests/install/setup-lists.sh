# scripts/setup's lists: what `scripts/setup run` installs is all that the
# tool's build found (each file the configuration used comes from a package
# of the run list or one those depend on), and the two lists
# share nothing. Read off the build tree's cache, so that a dependency added
# to the build but not to the run list fails here, not on a fresh machine.
. "$TEST_DIR/lib.sh"

command -v dpkg-query >/dev/null 2>&1 || { echo "dpkg is not installed: skipped"; exit 77; }
setup="$TEST_DIR/../../scripts/setup"
list() { sed -n "/^$1=\"\$/,/^\"\$/p" "$setup" | sed '1d;$d'; }
run=$(list run_packages)
tests=$(list test_packages)
[ -n "$run" ] && [ -n "$tests" ] || fail "scripts/setup has no run_packages or test_packages list"
expect_eq "the lists share no package" "" "$(printf '%s\n' $run $tests | sort | uniq -d)"

# The run list and everything installed that it depends on, however deeply
# (alternatives all counted).
provided=$(dpkg-query -W -f='${Package} ${Pre-Depends}, ${Depends}\n' | awk -v roots="$(echo $run)" '
    {
        name = $1
        $1 = ""
        gsub(/\([^)]*\)/, "")
        gsub(/[|,]/, " ")
        gsub(/:[a-z0-9]+/, "")
        depends[name] = $0
    }
    END {
        n = split(roots, queue, " ")
        for (i = 1; i <= n; i++) seen[queue[i]] = 1
        for (i = 1; i <= n; i++) {
            m = split(depends[queue[i]], next_, " ")
            for (j = 1; j <= m; j++)
                if (!(next_[j] in seen)) { seen[next_[j]] = 1; queue[++n] = next_[j] }
        }
        for (p in seen) print p
    }' | sort -u)

cache="$BUILD_DIR/CMakeCache.txt"
# The library's and the tool's finds only: the tests find more.
used=$(sed -n -e 's/^pkgcfg_lib_DISPOR_[^=]*:FILEPATH=//p' -e 's/^\(Qt6_DIR\|fmt_DIR\):PATH=//p' \
    -e 's/^\(CMAKE_CXX_COMPILER\|CMAKE_MAKE_PROGRAM\|PKG_CONFIG_EXECUTABLE\|WAYLAND_SCANNER\):FILEPATH=//p' \
    -e 's/^CMAKE_COMMAND:INTERNAL=//p' "$cache")
[ "$(echo "$used" | wc -l)" -ge 10 ] || fail "the build's cache names too few files: $used"
for file in $used; do
    package=$(dpkg-query -S "$(readlink -f "$file")" 2>/dev/null | head -n 1 | sed 's/[:,].*//')
    if [ -z "$package" ]; then
        fail "no package owns $file"
    elif ! echo "$provided" | grep -qx "$package"; then
        fail "$file comes from $package, which scripts/setup run does not install"
    fi
done
finish
