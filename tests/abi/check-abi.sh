#!/bin/sh
# Compares the built library's ABI with the baseline kept in the repository:
#   check-abi.sh BASELINE.xz LIBRARY
# Any change to what programs see (a public class's layout, a signature, a
# removed symbol) fails, unless the soname changed with it; additions pass,
# and so does whatever changes behind the d-pointers: the baseline holds the
# types the public headers only declare as declarations. (No header filter
# when comparing: the baseline has no source locations, so a filter would
# take every change for a private one.) After an intended change of soname, or to take in
# additions, write the baseline anew:
#   abidw --headers-dir "$PWD/dispor/include/dispor" --drop-private-types --no-show-locs \
#       --no-corpus-path --no-comp-dir-path build/dispor/libdispor.so | xz -9 >dispor/abi/libdispor.abi.xz
set -u
compressed=$1 library=$2

if ! command -v abidiff >/dev/null 2>&1; then
    echo "abidiff not found (Debian package abigail-tools): the ABI is not checked"
    exit 77
fi

work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
baseline=$work/libdispor.abi
if ! xz -dc "$compressed" >"$baseline"; then
    echo "cannot read the baseline $compressed"
    exit 1
fi

old=$(sed -n "s/.*<abi-corpus .*soname='\([^']*\)'.*/\1/p" "$baseline" | head -n 1)
new=$(readelf -d "$library" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
if [ -z "$old" ] || [ -z "$new" ]; then
    echo "cannot read the soname of the baseline ($compressed) or of the library ($library)"
    exit 1
fi
if [ "$old" != "$new" ]; then
    echo "the soname changed ($old, now $new): the baseline is of the old ABI; write it anew"
    exit 0
fi

abidiff --no-added-syms "$baseline" "$library"
status=$?
if [ "$status" -ne 0 ]; then
    echo "the ABI of $new changed (abidiff status $status): keep it, or change the soname and write the baseline anew"
    exit 1
fi
echo "the ABI of $new is the baseline's"
