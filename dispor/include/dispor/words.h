#pragma once

#include "dispor/output.h"

#include <QStringView>

#include <cstddef>
#include <iterator>
#include <optional>

// The words that name the values of Output's enumerations, one table per
// enumeration. The virtual backend's document and dispctl's reports and
// commands use them; other programs may too, so that the words stay the same
// everywhere. Tables list every value once, in the enumeration's order
// (capabilities: in the order reports list them). Words are ASCII and
// compared whole and case-sensitively.
namespace Dispor::words {

template <typename Value> struct Word {
    const char *word;
    Value value;
};

using O = Output;

// The connector type, as the enumerators are spelled.
inline constexpr Word<O::Type> type[] = {
    {"Unknown", O::Type::Unknown},
    {"VGA", O::Type::VGA},
    {"DVI", O::Type::DVI},
    {"DVII", O::Type::DVII},
    {"DVIA", O::Type::DVIA},
    {"DVID", O::Type::DVID},
    {"HDMI", O::Type::HDMI},
    {"Panel", O::Type::Panel},
    {"TV", O::Type::TV},
    {"TVComposite", O::Type::TVComposite},
    {"TVSVideo", O::Type::TVSVideo},
    {"TVComponent", O::Type::TVComponent},
    {"TVSCART", O::Type::TVSCART},
    {"TVC4", O::Type::TVC4},
    {"DisplayPort", O::Type::DisplayPort},
};

// Quarter turns counter-clockwise, then the same after a flip.
inline constexpr Word<O::Rotation> rotation[] = {
    {"normal", O::Rotation::None},           {"90", O::Rotation::Left},
    {"180", O::Rotation::Inverted},          {"270", O::Rotation::Right},
    {"flipped", O::Rotation::Flipped},       {"flipped90", O::Rotation::Flipped90},
    {"flipped180", O::Rotation::Flipped180}, {"flipped270", O::Rotation::Flipped270},
};

inline constexpr Word<O::ColorProfileSource> colorProfileSource[] = {
    {"sRGB", O::ColorProfileSource::sRGB},
    {"ICC", O::ColorProfileSource::ICC},
    {"EDID", O::ColorProfileSource::EDID},
};

inline constexpr Word<O::ColorPowerTradeoff> colorPowerTradeoff[] = {
    {"prefer-efficiency", O::ColorPowerTradeoff::PreferEfficiency},
    {"prefer-accuracy", O::ColorPowerTradeoff::PreferAccuracy},
};

inline constexpr Word<O::RgbRange> rgbRange[] = {
    {"automatic", O::RgbRange::Automatic},
    {"full", O::RgbRange::Full},
    {"limited", O::RgbRange::Limited},
};

inline constexpr Word<O::VrrPolicy> vrrPolicy[] = {
    {"never", O::VrrPolicy::Never},
    {"always", O::VrrPolicy::Always},
    {"automatic", O::VrrPolicy::Automatic},
};

inline constexpr Word<O::AutoRotatePolicy> autoRotatePolicy[] = {
    {"never", O::AutoRotatePolicy::Never},
    {"in-tablet-mode", O::AutoRotatePolicy::InTabletMode},
    {"always", O::AutoRotatePolicy::Always},
};

inline constexpr Word<O::EdrPolicy> edrPolicy[] = {
    {"never", O::EdrPolicy::Never},
    {"always", O::EdrPolicy::Always},
};

inline constexpr Word<O::DpmsMode> dpmsMode[] = {
    {"on", O::DpmsMode::On},
    {"standby", O::DpmsMode::Standby},
    {"suspend", O::DpmsMode::Suspend},
    {"off", O::DpmsMode::Off},
};

// In the order reports list them ("disable" before "abm").
inline constexpr Word<O::Capability> capability[] = {
    {"overscan", O::Capability::Overscan},
    {"vrr", O::Capability::Vrr},
    {"rgb-range", O::Capability::RgbRange},
    {"hdr", O::Capability::HighDynamicRange},
    {"wcg", O::Capability::WideColorGamut},
    {"auto-rotate", O::Capability::AutoRotation},
    {"icc", O::Capability::IccProfile},
    {"brightness", O::Capability::BrightnessControl},
    {"builtin-color-profile", O::Capability::BuiltInColorProfile},
    {"ddc-ci", O::Capability::DdcCi},
    {"maxbpc", O::Capability::MaxBitsPerColor},
    {"edr", O::Capability::Edr},
    {"sharpness", O::Capability::SharpnessControl},
    {"custom-modes", O::Capability::CustomModes},
    {"auto-brightness", O::Capability::AutomaticBrightness},
    {"hdr-icc", O::Capability::HdrIccProfile},
    {"disable", O::Capability::Disable},
    {"abm", O::Capability::Abm},
};

// The table of an enumeration, for code that has only the type.
template <typename Value> constexpr const auto &of();
template <> constexpr const auto &of<O::Type>()
{
    return type;
}
template <> constexpr const auto &of<O::Rotation>()
{
    return rotation;
}
template <> constexpr const auto &of<O::ColorProfileSource>()
{
    return colorProfileSource;
}
template <> constexpr const auto &of<O::ColorPowerTradeoff>()
{
    return colorPowerTradeoff;
}
template <> constexpr const auto &of<O::RgbRange>()
{
    return rgbRange;
}
template <> constexpr const auto &of<O::VrrPolicy>()
{
    return vrrPolicy;
}
template <> constexpr const auto &of<O::AutoRotatePolicy>()
{
    return autoRotatePolicy;
}
template <> constexpr const auto &of<O::EdrPolicy>()
{
    return edrPolicy;
}
template <> constexpr const auto &of<O::DpmsMode>()
{
    return dpmsMode;
}
template <> constexpr const auto &of<O::Capability>()
{
    return capability;
}

// The value a word names; none for a word the table lacks.
template <typename Table>
constexpr auto valueOf(const Table &table, QStringView text)
    -> std::optional<decltype(std::begin(table)->value)>
{
    for (const auto &entry : table) {
        if (text == QLatin1StringView(entry.word))
            return entry.value;
    }
    return std::nullopt;
}

// The first word of a value; null for a value the table lacks.
template <typename Table, typename Value> constexpr const char *wordOf(const Table &table, Value value)
{
    for (const auto &entry : table) {
        if (entry.value == value)
            return entry.word;
    }
    return nullptr;
}

} // namespace Dispor::words
