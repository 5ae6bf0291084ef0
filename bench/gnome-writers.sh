#!/bin/sh
# Two dispctl runs changing different outputs at the same moment on a
# headless mutter, round after round; after each round mutter's own state
# (GetCurrentState, read with gdbus) must hold both changes. Prints the
# changes lost per trial. Each trial starts a fresh mutter and applies about
# 2 x ROUNDS configurations (mutter grows by some 50 MB for each).
# Usage: bench/gnome-writers.sh DISPCTL [ROUNDS [TRIALS]]
set -eu
dispctl=$(realpath "$1")
rounds=${2:-20}
trials=${3:-3}
words="180 flipped flipped180 normal"
transforms="2 4 6 0" # mutter's numbers for the words above

trial() {
    dir=$(mktemp -d)
    export XDG_RUNTIME_DIR="$dir" HOME="$dir" XDG_CONFIG_HOME="$dir/config" XDG_CACHE_HOME="$dir/cache"
    export GSETTINGS_BACKEND=memory
    dbus-daemon --session --fork --address="unix:path=$dir/bus" --print-pid=3 3>"$dir/bus.pid"
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$dir/bus"
    mutter --headless --wayland --no-x11 --wayland-display=writers --virtual-monitor 1280x720 \
        --virtual-monitor 1280x720 --virtual-monitor 1280x720 >"$dir/mutter.log" 2>&1 &
    mutter=$!
    i=0
    until [ -S "$dir/writers" ] && gdbus call --session --dest org.freedesktop.DBus \
        --object-path /org/freedesktop/DBus --method org.freedesktop.DBus.NameHasOwner \
        org.gnome.Mutter.DisplayConfig 2>/dev/null | grep -q true; do
        i=$((i + 1))
        [ $i -lt 300 ] || { echo "mutter did not start" >&2; exit 1; }
        sleep 0.05
    done
    lost=0 failed=0 round=0
    while [ $round -lt "$rounds" ]; do
        n=$((round % 4 + 1))
        word=$(echo $words | cut -d' ' -f$n)
        want=$(echo $transforms | cut -d' ' -f$n)
        DISPOR_BACKEND=gnome QT_QPA_PLATFORM=offscreen "$dispctl" Meta-0 set-rotation "$word" 2>>"$dir/err" &
        a=$!
        DISPOR_BACKEND=gnome QT_QPA_PLATFORM=offscreen "$dispctl" Meta-2 set-rotation "$word" 2>>"$dir/err" &
        b=$!
        wait $a || failed=$((failed + 1))
        wait $b || failed=$((failed + 1))
        state=$(gdbus call --session --dest org.gnome.Mutter.DisplayConfig \
            --object-path /org/gnome/Mutter/DisplayConfig --method org.gnome.Mutter.DisplayConfig.GetCurrentState)
        for output in Meta-0 Meta-2; do
            # (x, y, scale, transform, primary, [('Meta-N', …
            held=$(echo "$state" | grep -o "([0-9]*, [0-9]*, [0-9.]*, [a-z0-9 ]*, [a-z]*, \[('$output'" \
                | sed 's/^([0-9]*, [0-9]*, [0-9.]*, \(uint32 \)\{0,1\}\([0-9]*\),.*/\2/')
            [ "$held" = "$want" ] || lost=$((lost + 1))
        done
        round=$((round + 1))
    done
    echo "trial: $lost of $((2 * rounds)) changes lost, $failed runs failed"
    [ -s "$dir/err" ] && sort "$dir/err" | uniq -c | sed 's/^/  /'
    kill "$mutter"
    wait "$mutter" 2>/dev/null || true
    kill "$(cat "$dir/bus.pid")"
    rm -rf "$dir"
}

t=0
while [ $t -lt "$trials" ]; do
    (trial)
    t=$((t + 1))
done
