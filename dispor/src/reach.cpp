#include "reach.h"

#include "properties.h"
#include "wording.h"

#include <QStringList>

#include <cstring>

namespace Dispor::Reach {

namespace {

using Cap = Output::Capability;

constexpr Refusal x11Refusals[] = {
    {"dimming", "the gamma ramp of an X11 output carries its brightness only"},
    {"colorPowerPreference", "X11 keeps no colour management of its own"},
    {"priority", "X11 keeps one primary output and no ranking", true},
};

constexpr Refusal wlrootsRefusals[] = {
    {"replicationSource", "the compositor has no mirroring"},
    {"colorPowerPreference", "the compositor has no colour/power setting"},
    {"dimming", "the compositor has no dimming"},
    {"priority", "the compositor has no output priorities"},
    {"primary", "the compositor has no output priorities"},
};

constexpr Refusal mutterRefusals[] = {
    {"colorPowerPreference", "mutter has no colour/power setting"},
    // Its colour mode is the whole of HDR there.
    {"sdrBrightness", "mutter has no such setting"},
    {"sdrGamutWideness", "mutter has no such setting"},
    {"maxPeakBrightnessOverride", "mutter has no such setting"},
    {"maxAverageBrightnessOverride", "mutter has no such setting"},
    {"minBrightnessOverride", "mutter has no such setting"},
    {"priority", "mutter keeps one primary output and ranks the others by id", true},
};

constexpr const char *granted = "the output's description grants it";

constexpr Offer virtualOffers[] = {
    {Cap::Overscan, granted},
    {Cap::Vrr, granted},
    {Cap::RgbRange, granted},
    {Cap::HighDynamicRange, granted},
    {Cap::WideColorGamut, granted},
    {Cap::AutoRotation, granted},
    {Cap::IccProfile, granted},
    {Cap::BrightnessControl, granted},
    {Cap::BuiltInColorProfile, granted},
    {Cap::DdcCi, granted},
    {Cap::MaxBitsPerColor, granted},
    {Cap::Edr, granted},
    {Cap::SharpnessControl, granted},
    {Cap::CustomModes, granted},
    {Cap::AutomaticBrightness, granted},
    {Cap::HdrIccProfile, granted},
    {Cap::Disable, granted},
    {Cap::Abm, granted},
};

// Where the server offers no light of its own (backlight/panel.h).
constexpr const char *kernelLight =
    "the output is a built-in panel (eDP, LVDS, DSI) with a kernel backlight device, set through logind";

constexpr Offer x11Offers[] = {
    {Cap::Disable, nullptr},
    {Cap::CustomModes, nullptr},
    {Cap::BrightnessControl,
     "the driver offers \"Backlight\", or the output is a built-in panel (eDP, LVDS, DSI) with a kernel "
     "backlight device, set through logind, or the output is on and its CRTC has a gamma ramp"},
    {Cap::RgbRange, "the driver offers \"Broadcast RGB\""},
    {Cap::MaxBitsPerColor, "the driver offers \"max bpc\""},
    {Cap::Overscan, "the driver offers \"underscan\""},
};

constexpr Offer wlroots015Offers[] = {
    {Cap::Disable, nullptr},
    {Cap::CustomModes, nullptr},
    {Cap::BrightnessControl, kernelLight},
};

constexpr Offer wlroots018Offers[] = {
    {Cap::Disable, nullptr},
    {Cap::CustomModes, nullptr},
    {Cap::Vrr, "the compositor reports adaptive sync for the output"},
    {Cap::BrightnessControl, kernelLight},
};

constexpr const char *underscanning = "mutter reports underscanning for the monitor (0 or 5 %)";

constexpr Offer mutter43Offers[] = {
    {Cap::Disable, nullptr},
    {Cap::Overscan, underscanning},
    {Cap::BrightnessControl, kernelLight},
};

// BT.2100 is HDR and a wide gamut at once.
constexpr Offer mutter48Offers[] = {
    {Cap::Disable, nullptr},
    {Cap::HighDynamicRange, "the monitor offers the BT.2100 colour mode"},
    {Cap::WideColorGamut, "the monitor offers the BT.2100 colour mode"},
    {Cap::BrightnessControl, nullptr},
    {Cap::Overscan, underscanning},
    {Cap::Vrr, "mutter lists variable-refresh modes for the monitor (experimental feature "
               "\"variable-refresh-rate\"); no automatic policy"},
};

constexpr const char *locator = "the compositor's bus service runs";

constexpr Condition virtualConditions[] = {
    {"locator", locator},
};

// Without the compositor's service, dispctl draws the labels itself on X11.
constexpr Condition x11Conditions[] = {
    {"dpms", "the server has the DPMS extension"},
    {"scale", "the driver lets RandR transform the output's CRTC"},
};

// Without the compositor's service, the labels module draws them on a
// layer-shell surface, else in a fullscreen xdg-shell window.
constexpr Condition wlrootsConditions[] = {
    {"dpms", "the compositor offers output power management"},
    {"locator", "the compositor's bus service runs or the compositor offers layer-shell or xdg-shell"},
};

// gnome-shell keeps its own labels for its settings: label windows, which
// mutter (xdg-shell) always takes, stand in.
constexpr const char *mutterLocator =
    "the compositor's bus service runs or mutter's Wayland display is reached";

constexpr Condition mutter43Conditions[] = {
    {"dimming", "mutter offers the monitor's luminance (mutter 48 and later)"},
    {"locator", mutterLocator},
};

// The backlight is a built-in panel's light; the luminance scales the
// picture of any monitor.
constexpr Condition mutter48Conditions[] = {
    {"brightness", "mutter lists backlight levels for the monitor (built-in panels)"},
    {"dimming", "mutter offers the monitor's luminance"},
    {"locator", mutterLocator},
};

constexpr Server table[] = {
    {"virtual", Family::Virtual, virtualOffers, virtualConditions},
    {"X11", Family::X11, x11Offers, x11Conditions},
    {"wlroots 0.15", Family::Wlroots, wlroots015Offers, wlrootsConditions},
    {"wlroots 0.18", Family::Wlroots, wlroots018Offers, wlrootsConditions},
    {"mutter 43", Family::Mutter, mutter43Offers, mutter43Conditions},
    {"mutter 48", Family::Mutter, mutter48Offers, mutter48Conditions},
};

const Refusal *refusalOf(Family family, const char *key)
{
    for (const Refusal &r : refusals(family)) {
        if (std::strcmp(r.key, key) == 0)
            return &r;
    }
    return nullptr;
}

const Offer *offerOf(const Server &server, Output::Capabilities caps)
{
    for (const Offer &o : server.offers) {
        if (caps.testFlag(o.capability))
            return &o;
    }
    return nullptr;
}

} // namespace

std::span<const Server> servers()
{
    return table;
}

std::span<const Refusal> refusals(Family family)
{
    switch (family) {
    case Family::Virtual:
        return {};
    case Family::X11:
        return x11Refusals;
    case Family::Wlroots:
        return wlrootsRefusals;
    case Family::Mutter:
        return mutterRefusals;
    }
    return {};
}

Output::Capabilities offered(const Server &server)
{
    Output::Capabilities caps;
    for (const Offer &o : server.offers)
        caps |= o.capability;
    return caps;
}

const char *why(Family family, const char *key)
{
    const Refusal *r = refusalOf(family, key);
    return r ? r->why : nullptr;
}

bool known(const char *key)
{
    for (const char *word : {"primary", "priority", "locator"}) {
        if (std::strcmp(word, key) == 0)
            return true;
    }
    bool found = false;
    Properties::forEach([&](const auto &p) {
        found = p.changeable && std::strcmp(p.key, key) == 0;
        return !found;
    });
    return found;
}

QString cell(const Server &server, const char *keys)
{
    QStringList wheres;
    QString partly;
    for (const QString &key : QString::fromLatin1(keys ? keys : "").split(u' ', Qt::SkipEmptyParts)) {
        const QByteArray name = key.toLatin1();
        Output::Capabilities need, orNeed;
        Properties::forEach([&](const auto &p) {
            if (!p.changeable || name != p.key)
                return true;
            need = p.need;
            orNeed = p.orNeed;
            return false;
        });
        if (need) {
            const Offer *offer = offerOf(server, need);
            if (!offer && orNeed)
                offer = offerOf(server, orNeed);
            if (!offer)
                return u"no: "_qs + Wording::lacking(need, orNeed);
            if (offer->where && !wheres.contains(QLatin1StringView(offer->where)))
                wheres.append(QLatin1StringView(offer->where));
        }
        // After the capability, as the backends check them.
        if (const Refusal *r = refusalOf(server.family, name.constData())) {
            if (!r->partly)
                return u"no: "_qs + QLatin1StringView(r->why);
            partly = QLatin1StringView(r->why);
        }
        for (const Condition &c : server.conditions) {
            if (name == c.key && !wheres.contains(QLatin1StringView(c.where)))
                wheres.append(QLatin1StringView(c.where));
        }
    }
    if (!partly.isEmpty())
        return u"partly: "_qs + partly;
    return wheres.isEmpty() ? u"yes"_qs : u"yes, where "_qs + wheres.join(u" and "_qs);
}

} // namespace Dispor::Reach
