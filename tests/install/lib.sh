# Shared by the install tests (sourced by bash). Each test gets a scratch
# directory and a virtual display set of its own; nothing outside them is
# touched.

set -eu

scratch=$(mktemp -d "${TMPDIR:-/tmp}/dispctl-install.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

export DISPOR_BACKEND=virtual
export DISPOR_VIRTUAL_STATE="$scratch/set.json"
export XDG_RUNTIME_DIR="$scratch/runtime"
export HOME="$scratch/home"
export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share" XDG_CACHE_HOME="$HOME/.cache"
export LC_ALL=C.UTF-8
export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$XDG_RUNTIME_DIR" "$HOME"
chmod 700 "$XDG_RUNTIME_DIR"

failures=0

fail()
{
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# expect_eq WHAT EXPECTED ACTUAL
expect_eq()
{
    if [ "$2" != "$3" ]; then
        fail "$1"
        printf '  expected: [%s]\n  actual:   [%s]\n' "$2" "$3" >&2
    fi
}

finish()
{
    if [ "$failures" -ne 0 ]; then
        echo "$failures check(s) failed" >&2
        exit 1
    fi
    echo "all checks passed"
}

# The words of a list, one per line, sorted and joined by single spaces.
sorted()
{
    LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//'
}

all_capabilities='"overscan", "vrr", "rgb-range", "hdr", "wcg", "auto-rotate", "icc", "brightness",
  "builtin-color-profile", "ddc-ci", "maxbpc", "edr", "sharpness", "custom-modes", "auto-brightness",
  "hdr-icc", "disable", "abm"'

# Three connected outputs; DP-1 can do everything, eDP-1 has two custom modes.
write_set()
{
    cat >"$DISPOR_VIRTUAL_STATE" <<JSON
{
  "outputs": [
    {
      "id": 1, "name": "eDP-1", "type": "Panel", "priority": 1,
      "modes": [ { "id": "10", "width": 1920, "height": 1200, "refreshRate": 60.0 } ],
      "currentModeId": "10", "preferredModeId": "10",
      "capabilities": [ "custom-modes" ],
      "customModes": [
        { "width": 1280, "height": 720, "refreshRate": 60.0, "flags": 1 },
        { "width": 1024, "height": 768, "refreshRate": 75.0, "flags": 3 }
      ]
    },
    {
      "id": 2, "name": "DP-1", "type": "DisplayPort", "priority": 2, "pos": { "x": 1920, "y": 0 },
      "modes": [
        { "id": "1", "width": 3840, "height": 2160, "refreshRate": 60.0 },
        { "id": "2", "width": 2560, "height": 1440, "refreshRate": 59.95 },
        { "id": "3", "width": 1920, "height": 1080, "refreshRate": 60.0 }
      ],
      "currentModeId": "1", "preferredModeId": "1",
      "bitsPerColorRange": { "min": 6, "max": 16 },
      "capabilities": [ $all_capabilities ]
    },
    {
      "id": 3, "name": "HDMI-A-1", "type": "HDMI", "priority": 3, "pos": { "x": 5760, "y": 0 },
      "modes": [ { "id": "20", "width": 1920, "height": 1080, "refreshRate": 60.0 } ],
      "currentModeId": "20", "preferredModeId": "20"
    }
  ]
}
JSON
}

# The commands the tool has, in the order of its command table.
global_commands="identify list-outputs off on"
output_commands="above add-custom-mode below calibrate-hdr get-name left-of
list-custom-modes list-modes remove-custom-mode right-of
set-abm set-auto-brightness set-auto-rotate set-brightness
set-color-power-tradeoff set-color-profile-source set-ddc-ci-allowed
set-dimming set-edr-policy set-enabled set-hdr-and-wcg
set-hdr-color-profile-source set-hdr-icc-profile set-hdr set-icc-profile
set-max-average-brightness-override set-max-peak-brightness-override
set-maxbpc set-min-brightness-override set-mode set-overscan set-position
set-primary set-priority set-replica-of set-rgb-range set-rotation
set-scale set-sdr-brightness set-sdr-gamut set-sharpness set-vrr-policy
set-wcg toggle-auto-brightness toggle-enabled toggle-hdr-and-wcg
toggle-hdr toggle-wcg"
