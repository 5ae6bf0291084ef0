#pragma once

#include "output_data.h"

#include <cstdint>
#include <limits>

// Every property of an output, described once: its document key, the member
// that holds it, what values it takes beyond its type, and whether and with
// what capability a snapshot may change it. The virtual backend's readers,
// writer and checks and the backends' merges walk this list; a new property
// is a Data member, its getter and setter, a line here and its report lines.
// How a value is read and written follows from the member's type.
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
    bool required = false;   // a document names it on every output
    bool changeable = false; // a snapshot may change it
    Caps need;               // what a change needs, or else orNeed
    Caps orNeed;
    Range range = Range::Any;
    int64_t least = std::numeric_limits<int64_t>::min(); // integers: as low as the type allows

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
};

template <typename T> constexpr Property<T> property(const char *key, T Data::*member)
{
    Property<T> p{};
    p.key = key;
    p.member = member;
    return p;
}

// In document order. Changeable ones are also in the order applies take
// them: the first refused one is the one reported. visit(property) returns
// false to stop the walk.
template <typename Visitor> bool forEach(Visitor &&visit)
{
    using Cap = Output::Capability;
    const Caps hdr(Cap::HighDynamicRange);
    const Caps brightnessControl(Cap::BrightnessControl);
    return visit(property("id", &Data::id).always().from(1)) &&
           visit(property("name", &Data::name).always()) && visit(property("uuid", &Data::uuid)) &&
           visit(property("make", &Data::make)) && visit(property("model", &Data::model)) &&
           visit(property("serialNumber", &Data::serialNumber)) && visit(property("type", &Data::type)) &&
           visit(property("enabled", &Data::enabled).changes()) &&
           visit(property("connected", &Data::connected)) && visit(property("priority", &Data::priority)) &&
           visit(property("pos", &Data::pos).changes()) && visit(property("modes", &Data::modes)) &&
           visit(property("currentModeId", &Data::currentModeId).changes()) &&
           visit(property("preferredModeId", &Data::preferredModeId)) &&
           visit(property("size", &Data::size).changes()) &&
           visit(property("scale", &Data::scale).changes().in(Range::Positive)) &&
           visit(property("rotation", &Data::rotation).changes()) &&
           visit(property("explicitLogicalSize", &Data::explicitLogicalSize).changes()) &&
           visit(property("capabilities", &Data::capabilities)) &&
           visit(property("hdrEnabled", &Data::hdrEnabled).changes(hdr)) &&
           visit(property("wcgEnabled", &Data::wcgEnabled).changes(Caps(Cap::WideColorGamut))) &&
           visit(property("automaticBrightness", &Data::automaticBrightness)
                     .changes(Caps(Cap::AutomaticBrightness))) &&
           visit(property("ddcCiAllowed", &Data::ddcCiAllowed).changes(Caps(Cap::DdcCi))) &&
           visit(property("sdrBrightness", &Data::sdrBrightness).changes(hdr)) &&
           visit(property("sdrGamutWideness", &Data::sdrGamutWideness).changes(hdr).in(Range::Fraction)) &&
           visit(property("brightness", &Data::brightness).changes(brightnessControl).in(Range::Fraction)) &&
           visit(property("dimming", &Data::dimming).changes(brightnessControl).in(Range::Fraction)) &&
           visit(property("sharpness", &Data::sharpness)
                     .changes(Caps(Cap::SharpnessControl))
                     .in(Range::Fraction)) &&
           visit(property("maxPeakBrightness", &Data::maxPeakBrightness).in(Range::AtLeastZero)) &&
           visit(property("maxAverageBrightness", &Data::maxAverageBrightness).in(Range::AtLeastZero)) &&
           visit(property("minBrightness", &Data::minBrightness).in(Range::AtLeastZero)) &&
           visit(property("maxPeakBrightnessOverride", &Data::maxPeakBrightnessOverride)
                     .changes(hdr)
                     .in(Range::AtLeastZero)) &&
           visit(property("maxAverageBrightnessOverride", &Data::maxAverageBrightnessOverride)
                     .changes(hdr)
                     .in(Range::AtLeastZero)) &&
           visit(property("minBrightnessOverride", &Data::minBrightnessOverride)
                     .changes(hdr)
                     .in(Range::AtLeastZero)) &&
           visit(property("iccProfilePath", &Data::iccProfilePath).changes(Caps(Cap::IccProfile))) &&
           visit(property("hdrIccProfilePath", &Data::hdrIccProfilePath).changes(Caps(Cap::HdrIccProfile))) &&
           visit(property("colorProfileSource", &Data::colorProfileSource)
                     .changes(Caps(Cap::IccProfile), Caps(Cap::BuiltInColorProfile))) &&
           visit(property("hdrColorProfileSource", &Data::hdrColorProfileSource)
                     .changes(Caps(Cap::HdrIccProfile))) &&
           visit(property("colorPowerPreference", &Data::colorPowerPreference).changes()) &&
           visit(property("rgbRange", &Data::rgbRange).changes(Caps(Cap::RgbRange))) &&
           visit(property("vrrPolicy", &Data::vrrPolicy).changes(Caps(Cap::Vrr))) &&
           visit(property("autoRotatePolicy", &Data::autoRotatePolicy).changes(Caps(Cap::AutoRotation))) &&
           visit(property("edrPolicy", &Data::edrPolicy).changes(Caps(Cap::Edr))) &&
           visit(property("overscan", &Data::overscan).changes(Caps(Cap::Overscan))) &&
           visit(property("abmLevel", &Data::abmLevel).changes(Caps(Cap::Abm))) &&
           visit(property("maxBitsPerColor", &Data::maxBitsPerColor).changes(Caps(Cap::MaxBitsPerColor))) &&
           visit(property("automaticMaxBitsPerColorLimit", &Data::automaticMaxBitsPerColorLimit)) &&
           visit(property("bitsPerColorRange", &Data::bitsPerColorRange)) &&
           visit(property("replicationSource", &Data::replicationSource).changes().from(0)) &&
           visit(property("customModes", &Data::customModes).changes(Caps(Cap::CustomModes))) &&
           visit(property("dpms", &Data::dpms).changes());
}

} // namespace Dispor::Properties
