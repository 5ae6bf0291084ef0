#include "wording.h"

#include "text.h"

#include <cstring>

namespace Dispor::Wording {

namespace {

using Cap = Output::Capability;

struct SettingWords {
    const char *key;
    const char *words;
};

// Every key a snapshot may change, and priority, which backends refuse.
constexpr SettingWords settings[] = {
    {"enabled", "disabling"},
    {"priority", "the priority"},
    {"pos", "the position"},
    {"currentModeId", "the mode"},
    {"size", "the size"},
    {"scale", "the scale"},
    {"rotation", "the rotation"},
    {"explicitLogicalSize", "the logical size"},
    {"hdrEnabled", "HDR"},
    {"wcgEnabled", "wide colour gamut"},
    {"automaticBrightness", "automatic brightness"},
    {"ddcCiAllowed", "the DDC/CI permission"},
    {"sdrBrightness", "the SDR brightness"},
    {"sdrGamutWideness", "the SDR gamut"},
    {"brightness", "the brightness"},
    {"dimming", "the dimming"},
    {"sharpness", "the sharpness"},
    {"maxPeakBrightnessOverride", "the maximum peak brightness override"},
    {"maxAverageBrightnessOverride", "the maximum average brightness override"},
    {"minBrightnessOverride", "the minimum brightness override"},
    {"iccProfilePath", "the ICC profile"},
    {"hdrIccProfilePath", "the HDR ICC profile"},
    {"colorProfileSource", "the colour profile source"},
    {"hdrColorProfileSource", "the HDR colour profile source"},
    {"colorPowerPreference", "the colour/power trade-off"},
    {"rgbRange", "the RGB range"},
    {"vrrPolicy", "the VRR policy"},
    {"autoRotatePolicy", "automatic rotation"},
    {"edrPolicy", "the EDR policy"},
    {"overscan", "the overscan"},
    {"abmLevel", "adaptive backlight modulation"},
    {"maxBitsPerColor", "the maximum bits per colour"},
    {"replicationSource", "mirroring"},
    {"customModes", "custom modes"},
    {"dpms", "the power state"},
};

struct CapabilityWords {
    Cap capability;
    const char *lack; // after "the output "
};

constexpr CapabilityWords capabilities[] = {
    {Cap::Overscan, "has no overscan control"},
    {Cap::Vrr, "has no VRR support"},
    {Cap::RgbRange, "has no RGB range setting"},
    {Cap::HighDynamicRange, "has no HDR support"},
    {Cap::WideColorGamut, "has no wide colour gamut support"},
    {Cap::AutoRotation, "has no automatic rotation"},
    {Cap::IccProfile, "takes no ICC profile"},
    {Cap::BrightnessControl, "has no brightness control"},
    {Cap::BuiltInColorProfile, "has no built-in colour profile"},
    {Cap::DdcCi, "has no DDC/CI"},
    {Cap::MaxBitsPerColor, "has no setting for the bits per colour"},
    {Cap::Edr, "has no EDR support"},
    {Cap::SharpnessControl, "has no sharpness control"},
    {Cap::CustomModes, "takes no custom modes"},
    {Cap::AutomaticBrightness, "has no automatic brightness"},
    {Cap::HdrIccProfile, "takes no HDR ICC profile"},
    {Cap::Abm, "has no adaptive backlight modulation"},
    {Cap::Disable, "cannot be switched off"},
};

QString lack(Caps capability)
{
    for (const CapabilityWords &c : capabilities) {
        if (capability.testFlag(c.capability))
            return QLatin1StringView(c.lack);
    }
    return u"lacks the capability 0x"_qs + QString::number(capability.toInt(), 16);
}

QString named(const char *key)
{
    const char *words = setting(key);
    return words ? QLatin1StringView(words) : u'"' + QLatin1StringView(key) + u'"';
}

} // namespace

const char *setting(const char *key)
{
    for (const SettingWords &s : settings) {
        if (std::strcmp(s.key, key) == 0)
            return s.words;
    }
    return nullptr;
}

QString lacking(Caps need, Caps orNeed)
{
    QString text = u"the output "_qs + lack(need);
    if (orNeed)
        text += u" and "_qs + lack(orNeed);
    return text;
}

QString cannotChange(const char *key, const QString &why)
{
    if (std::strcmp(key, "enabled") == 0)
        return u"cannot disable the output: "_qs + why;
    return u"cannot change "_qs + named(key) + ": " + why;
}

QString outsideRange(const char *key, const QString &value, qint64 least, qint64 most)
{
    return named(key) + " cannot be " + value + ": the output allows " + QString::number(least) + " to " +
           QString::number(most);
}

QString notHeld(const char *server, const char *key, const QString &sent, const QString &held)
{
    if (std::strcmp(key, "enabled") == 0)
        return QLatin1StringView(server) + u" accepted "_qs +
               (sent == u"on" ? u"enabling"_qs : u"disabling"_qs) + " the output but keeps it " +
               (held == u"on" ? u"enabled"_qs : u"disabled"_qs);
    return QLatin1StringView(server) + u" accepted "_qs + named(key) + u' ' + quoted(sent) + " but keeps " +
           quoted(held);
}

QString transformWord(int transform)
{
    static const char *const words[] = {"normal",  "90",        "180",        "270",
                                        "flipped", "flipped90", "flipped180", "flipped270"};
    return transform >= 0 && transform < 8 ? QLatin1StringView(words[transform]) : QString::number(transform);
}

} // namespace Dispor::Wording
