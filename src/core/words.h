#pragma once

#include <dispor/output.h>

#include <QStringView>

#include <cstddef>
#include <optional>

// One table per enumeration, read both ways: the commands parse the words,
// the JSON report prints them.

template <typename Value>
struct Word {
    const char *word;
    Value value;
};

// The value of a word, compared whole and case-sensitively.
template <typename Value, std::size_t N>
std::optional<Value> valueOfWord(const Word<Value> (&table)[N], QStringView text)
{
    for (const Word<Value> &entry : table) {
        if (text == QLatin1StringView(entry.word))
            return entry.value;
    }
    return std::nullopt;
}

// The first word of a value, or "" when the table has none.
template <typename Value, std::size_t N>
const char *wordOfValue(const Word<Value> (&table)[N], Value value)
{
    for (const Word<Value> &entry : table) {
        if (entry.value == value)
            return entry.word;
    }
    return "";
}

namespace words {

using O = Dispor::Output;

inline constexpr Word<O::VrrPolicy> vrrPolicy[] = {
    {"never", O::VrrPolicy::Never},
    {"always", O::VrrPolicy::Always},
    {"automatic", O::VrrPolicy::Automatic},
};

inline constexpr Word<O::RgbRange> rgbRange[] = {
    {"automatic", O::RgbRange::Automatic},
    {"full", O::RgbRange::Full},
    {"limited", O::RgbRange::Limited},
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

inline constexpr Word<O::ColorPowerTradeoff> colorPowerTradeoff[] = {
    {"prefer-accuracy", O::ColorPowerTradeoff::PreferAccuracy},
    {"prefer-efficiency", O::ColorPowerTradeoff::PreferEfficiency},
};

inline constexpr Word<O::ColorProfileSource> colorProfileSource[] = {
    {"sRGB", O::ColorProfileSource::sRGB},
    {"ICC", O::ColorProfileSource::ICC},
    {"EDID", O::ColorProfileSource::EDID},
};

// The words the JSON report prints first; set-rotation also takes the rest.
inline constexpr Word<O::Rotation> rotation[] = {
    {"normal", O::Rotation::None},
    {"90", O::Rotation::Left},
    {"180", O::Rotation::Inverted},
    {"270", O::Rotation::Right},
    {"flipped", O::Rotation::Flipped},
    {"flipped90", O::Rotation::Flipped90},
    {"flipped180", O::Rotation::Flipped180},
    {"flipped270", O::Rotation::Flipped270},
    {"none", O::Rotation::None},
    {"0", O::Rotation::None},
    {"left", O::Rotation::Left},
    {"inverted", O::Rotation::Inverted},
    {"right", O::Rotation::Right},
};

// In the order the JSON report lists them ("disable" before "abm").
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

} // namespace words
