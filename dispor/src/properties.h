#pragma once

#include "output_data.h"
#include "reach.h"

#include <cstdint>
#include <limits>
#include <tuple>

// Every property of an output, described once: its document key, the member
// that holds it, what values it takes beyond its type, whether and with
// what capability a snapshot may change it, the words the commands name it
// by, and what each kind of server refuses of it or carries only under a
// condition (the capabilities themselves, with their words and the servers
// that grant them, are rows of capabilities.h). The virtual backend's
// readers, writer and checks, the backends' merges, the refusals' words and
// the manual's table of what each backend carries walk this list; a new
// property is a Data member, its getter and setter, a row here and its
// report lines. How a value is read and written follows from the member's
// type.
namespace Dispor::Properties {

using Data = Output::Data;
using Caps = Output::Capabilities;

// The values a number takes beyond its type.
enum class Range {
    Any,
    Positive,    // greater than 0 and finite
    Fraction,    // from 0 to 1
    AtLeastZero, // at least 0 and finite; for an optional, when set
};

template <typename T> struct Property {
    const char *key;
    T Data::*member;
    const char *words = nullptr; // as the commands name it: "the VRR policy"
    bool required = false;       // a document names it on every output
    bool changeable = false;     // a snapshot may change it
    Caps need;                   // what a change needs, or else orNeed
    Caps orNeed;
    Range range = Range::Any;
    int64_t least = std::numeric_limits<int64_t>::min(); // integers: as low as the type allows
    Reach::PerFamily refusals;                           // whatever the output
    Reach::PerServer conditions;                         // under which a server carries a change

    constexpr Property changes(Caps needs = {}, Caps orNeeds = {}) const
    {
        Property p = *this;
        p.changeable = true;
        p.need = needs;
        p.orNeed = orNeeds;
        return p;
    }
    constexpr Property in(Range r) const
    {
        Property p = *this;
        p.range = r;
        return p;
    }
    constexpr Property from(int64_t value) const
    {
        Property p = *this;
        p.least = value;
        return p;
    }
    constexpr Property always() const
    {
        Property p = *this;
        p.required = true;
        return p;
    }
    constexpr Property refused(Reach::PerFamily by) const
    {
        Property p = *this;
        p.refusals = by;
        return p;
    }
    constexpr Property where(Reach::PerServer on) const
    {
        Property p = *this;
        p.conditions = on;
        return p;
    }
};

template <typename T>
constexpr Property<T> property(const char *key, T Data::*member, const char *words = nullptr)
{
    Property<T> p{};
    p.key = key;
    p.member = member;
    p.words = words;
    return p;
}

// Every property's row, in document order. Changeable ones are also in the
// order applies take them: the first refused one is the one reported.
inline constexpr auto rows = [] {
    using Cap = Output::Capability;
    using Reach::partly;
    constexpr Caps hdr(Cap::HighDynamicRange);
    constexpr Caps brightnessControl(Cap::BrightnessControl);
    // mutter's colour mode is the whole of HDR there.
    constexpr const char *noSuchSetting = "mutter has no such setting";
    constexpr const char *powerManagement = "the compositor offers output power management";
    return std::tuple{
        property("id", &Data::id).always().from(1),
        property("name", &Data::name).always(),
        property("uuid", &Data::uuid),
        property("make", &Data::make),
        property("model", &Data::model),
        property("serialNumber", &Data::serialNumber),
        property("type", &Data::type),
        property("enabled", &Data::enabled, "disabling").changes(),
        property("connected", &Data::connected),
        // Backends refuse it; no snapshot changes it.
        property("priority", &Data::priority, "the priority")
            .refused({.x11 = partly("X11 keeps one primary output and no ranking"),
                      .wlroots = "the compositor has no output priorities",
                      .mutter = partly("mutter keeps one primary output and ranks the others by id")}),
        property("pos", &Data::pos, "the position").changes(),
        property("modes", &Data::modes),
        property("currentModeId", &Data::currentModeId, "the mode").changes(),
        property("preferredModeId", &Data::preferredModeId),
        property("size", &Data::size, "the size").changes(),
        property("scale", &Data::scale, "the scale")
            .changes()
            .in(Range::Positive)
            .where({.x11 = "the driver lets RandR transform the output's CRTC"}),
        property("rotation", &Data::rotation, "the rotation").changes(),
        property("explicitLogicalSize", &Data::explicitLogicalSize, "the logical size").changes(),
        property("capabilities", &Data::capabilities),
        property("hdrEnabled", &Data::hdrEnabled, "HDR").changes(hdr),
        property("wcgEnabled", &Data::wcgEnabled, "wide colour gamut").changes(Caps(Cap::WideColorGamut)),
        property("automaticBrightness", &Data::automaticBrightness, "automatic brightness")
            .changes(Caps(Cap::AutomaticBrightness)),
        property("ddcCiAllowed", &Data::ddcCiAllowed, "the DDC/CI permission").changes(Caps(Cap::DdcCi)),
        property("sdrBrightness", &Data::sdrBrightness, "the SDR brightness")
            .changes(hdr)
            .refused({.mutter = noSuchSetting}),
        property("sdrGamutWideness", &Data::sdrGamutWideness, "the SDR gamut")
            .changes(hdr)
            .in(Range::Fraction)
            .refused({.mutter = noSuchSetting}),
        // The backlight is a built-in panel's light; the luminance scales
        // the picture of any monitor.
        property("brightness", &Data::brightness, "the brightness")
            .changes(brightnessControl)
            .in(Range::Fraction)
            .where({.mutter48 = "mutter lists backlight levels for the monitor (built-in panels)"}),
        property("dimming", &Data::dimming, "the dimming")
            .changes(brightnessControl)
            .in(Range::Fraction)
            .refused({.x11 = "the gamma ramp of an X11 output carries its brightness only",
                      .wlroots = "the compositor has no dimming"})
            .where({.mutter43 = "mutter offers the monitor's luminance (mutter 48 and later)",
                    .mutter48 = "mutter offers the monitor's luminance"}),
        property("sharpness", &Data::sharpness, "the sharpness")
            .changes(Caps(Cap::SharpnessControl))
            .in(Range::Fraction),
        property("maxPeakBrightness", &Data::maxPeakBrightness).in(Range::AtLeastZero),
        property("maxAverageBrightness", &Data::maxAverageBrightness).in(Range::AtLeastZero),
        property("minBrightness", &Data::minBrightness).in(Range::AtLeastZero),
        property("maxPeakBrightnessOverride", &Data::maxPeakBrightnessOverride,
                 "the maximum peak brightness override")
            .changes(hdr)
            .in(Range::AtLeastZero)
            .refused({.mutter = noSuchSetting}),
        property("maxAverageBrightnessOverride", &Data::maxAverageBrightnessOverride,
                 "the maximum average brightness override")
            .changes(hdr)
            .in(Range::AtLeastZero)
            .refused({.mutter = noSuchSetting}),
        property("minBrightnessOverride", &Data::minBrightnessOverride, "the minimum brightness override")
            .changes(hdr)
            .in(Range::AtLeastZero)
            .refused({.mutter = noSuchSetting}),
        property("iccProfilePath", &Data::iccProfilePath, "the ICC profile").changes(Caps(Cap::IccProfile)),
        property("hdrIccProfilePath", &Data::hdrIccProfilePath, "the HDR ICC profile")
            .changes(Caps(Cap::HdrIccProfile)),
        property("colorProfileSource", &Data::colorProfileSource, "the colour profile source")
            .changes(Caps(Cap::IccProfile), Caps(Cap::BuiltInColorProfile)),
        property("hdrColorProfileSource", &Data::hdrColorProfileSource, "the HDR colour profile source")
            .changes(Caps(Cap::HdrIccProfile)),
        property("colorPowerPreference", &Data::colorPowerPreference, "the colour/power trade-off")
            .changes()
            .refused({.x11 = "X11 keeps no colour management of its own",
                      .wlroots = "the compositor has no colour/power setting",
                      .mutter = "mutter has no colour/power setting"}),
        property("rgbRange", &Data::rgbRange, "the RGB range").changes(Caps(Cap::RgbRange)),
        property("vrrPolicy", &Data::vrrPolicy, "the VRR policy").changes(Caps(Cap::Vrr)),
        property("autoRotatePolicy", &Data::autoRotatePolicy, "automatic rotation")
            .changes(Caps(Cap::AutoRotation)),
        property("edrPolicy", &Data::edrPolicy, "the EDR policy").changes(Caps(Cap::Edr)),
        property("overscan", &Data::overscan, "the overscan").changes(Caps(Cap::Overscan)),
        property("abmLevel", &Data::abmLevel, "adaptive backlight modulation").changes(Caps(Cap::Abm)),
        property("maxBitsPerColor", &Data::maxBitsPerColor, "the maximum bits per colour")
            .changes(Caps(Cap::MaxBitsPerColor)),
        property("automaticMaxBitsPerColorLimit", &Data::automaticMaxBitsPerColorLimit),
        property("bitsPerColorRange", &Data::bitsPerColorRange),
        property("replicationSource", &Data::replicationSource, "mirroring")
            .changes()
            .from(0)
            .refused({.wlroots = "the compositor has no mirroring"}),
        property("customModes", &Data::customModes, "custom modes").changes(Caps(Cap::CustomModes)),
        property("dpms", &Data::dpms, "the power state")
            .changes()
            .where({.x11 = "the server has the DPMS extension",
                    .wlroots015 = powerManagement,
                    .wlroots018 = powerManagement}),
    };
}();

// visit(property) for each row in order; it returns false to stop the walk.
template <typename Visitor> bool forEach(Visitor &&visit)
{
    return std::apply([&](const auto &...row) { return (visit(row) && ...); }, rows);
}

} // namespace Dispor::Properties
