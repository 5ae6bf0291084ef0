# Run by deb.sh as root inside the fresh Debian 12 tree (an overlay, thrown
# away after): the packages in /tmp/debs, the simulated set /tmp/set.json,
# the example in /tmp/example. Prints one line per step; details go to
# standard error.
set -eu
cd /tmp
packages="dispctl libdispor0 libdispor-dev dispor0-backend-x11 dispor0-backend-wayland dispor0-backend-gnome"
apt-get install -y -q --no-install-recommends ./debs/*.deb >&2
installed=""
for p in $packages; do
    [ "$(dpkg-query -W -f='${db:Status-Abbrev}' "$p")" = "ii " ] && installed="$installed $p"
done
echo "installed:$installed"

export DISPOR_BACKEND=virtual DISPOR_VIRTUAL_STATE=/tmp/set.json XDG_RUNTIME_DIR=/tmp/runtime
mkdir -m 700 -p "$XDG_RUNTIME_DIR"
echo "help: $(dispctl --help 2>&1 | head -n 1)"
echo "dispctl: $(dispctl list-outputs --names | tr '\n' ' ' | sed 's/ $//')"

cmake -S example -B example-build -DCMAKE_BUILD_TYPE=Release >&2
cmake --build example-build >&2
echo "cmake example: $(example-build/list-outputs | tr '\n' '|' | sed 's/|$//')"
# shellcheck disable=SC2046
c++ -std=c++20 -fPIC example/main.cpp $(pkg-config --cflags --libs dispor) -o pc-example >&2
echo "pkg-config example: $(./pc-example | tr '\n' '|' | sed 's/|$//')"
echo "version: $(./pc-example --version)"

apt-get purge -y -q $packages >&2
left=""
for p in $packages; do
    status=$(dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null || true)
    [ -z "$status" ] || [ "$status" = "un " ] || left="$left $p"
done
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch)
for path in /usr/bin/dispctl /usr/include/dispor "/usr/lib/$multiarch/dispor0" "/usr/lib/$multiarch/dispctl" \
    "/usr/lib/$multiarch/libdispor.so.0" /usr/share/doc/dispctl; do
    [ ! -e "$path" ] || left="$left $path"
done
echo "purged: ${left:-nothing left}"
