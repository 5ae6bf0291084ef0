#pragma once

#include "dispor/output.h"

// Output's state, which the public header only declares: the library and
// its backends see it whole, programs only through Output's accessors, so
// that a field added here changes no program's view of an Output.

namespace Dispor {

class ModeList::Private : public QSharedData {
public:
    QList<ModePtr> modes; // sorted by id, ids unique
};

// A mode list made at once from modes in id order with unique ids, without
// insert()'s search for each: the simulated set's reader makes thousands.
class ModeListPrivate {
public:
    static void assignSorted(ModeList &list, QList<ModePtr> modes)
    {
        if (modes.isEmpty()) {
            list.d.reset();
            return;
        }
        list.d = new ModeList::Private;
        list.d->modes = std::move(modes);
    }
};

// Everything the library knows of one output, as one value: what an
// Output is made from, and what data() hands out whole. Programs change an
// output through its setters; the backends fill this in.
struct Output::Data {
    int id = 0;
    QString name;
    QString uuid;
    // The monitor's identity as its EDID or the server gives it; empty
    // where unknown.
    QString make;
    QString model;
    QString serialNumber;
    Type type = Type::Unknown;
    bool enabled = true;
    bool connected = true;
    uint32_t priority = 0;
    QPoint pos;
    ModeList modes;
    QString currentModeId;   // empty: none
    QString preferredModeId; // empty: none
    std::optional<QSize> size;
    double scale = 1.0;
    // How the display service holds the scale and derives the logical
    // size from it, set by the backend that describes the output.
    double scaleStep = 0; // scales are multiples of it; 0: any value
    enum class Sizing {
        Rounded,   // size / scale, rounded to the nearest integer
        Truncated, // size / scale, rounded toward zero
        Unscaled,  // the size itself, whatever the scale
    } sizing = Sizing::Rounded;
    Rotation rotation = Rotation::None;
    std::optional<QSizeF> explicitLogicalSize;
    Capabilities capabilities;
    bool hdrEnabled = false;
    bool wcgEnabled = false;
    bool automaticBrightness = false;
    bool ddcCiAllowed = false;
    uint32_t sdrBrightness = 200;
    double sdrGamutWideness = 0;
    double brightness = 1;
    double dimming = 1;
    double sharpness = 0;
    double maxPeakBrightness = 0;
    double maxAverageBrightness = 0;
    double minBrightness = 0;
    std::optional<double> maxPeakBrightnessOverride;
    std::optional<double> maxAverageBrightnessOverride;
    std::optional<double> minBrightnessOverride;
    QString iccProfilePath;
    QString hdrIccProfilePath;
    ColorProfileSource colorProfileSource = ColorProfileSource::sRGB;
    ColorProfileSource hdrColorProfileSource = ColorProfileSource::EDID;
    ColorPowerTradeoff colorPowerPreference = ColorPowerTradeoff::PreferEfficiency;
    RgbRange rgbRange = RgbRange::Automatic;
    VrrPolicy vrrPolicy = VrrPolicy::Automatic;
    AutoRotatePolicy autoRotatePolicy = AutoRotatePolicy::InTabletMode;
    EdrPolicy edrPolicy = EdrPolicy::Never;
    uint32_t overscan = 0;
    uint32_t abmLevel = 0;
    uint32_t maxBitsPerColor = 0;
    uint32_t automaticMaxBitsPerColorLimit = 0;
    BpcRange bitsPerColorRange;
    int replicationSource = 0;
    QList<ModeInfo> customModes;
    DpmsMode dpms = DpmsMode::On;
    // For a disabled output: whether pos, currentModeId, scale and rotation
    // are what it comes back with (the server or the library remembers
    // them), not defaults filled in. Always true for an enabled one.
    bool placementKnown = true;
    // Whether the program set the place or shape (position, mode, size,
    // scale, rotation, logical size, mirroring) since the last apply, even
    // to the value it had: a disabled output takes none of these.
    bool placementAsked = false;
};

// What an Output points to: its state, shared by copies until one changes.
class Output::Private : public QSharedData {
public:
    Private() = default;
    explicit Private(const Data &data) : data(data) {}

    Data data;
};

class OutputPrivate {
public:
    // Detached first, like every setter: a copy sharing the state keeps it.
    static Output::Data &data(Output &output) { return output.d->data; }
};

// The whole state of the output, to write.
inline Output::Data &dataOf(Output &output)
{
    return OutputPrivate::data(output);
}

} // namespace Dispor
