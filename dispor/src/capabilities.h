#pragma once

#include "reach.h"

// Every capability of an output, described once, beside the properties
// whose changes need it (properties.h): how a refusal says that an output
// lacks it, and which servers grant it to an output, on every output
// (Reach::everywhere) or under a condition.
namespace Dispor::Properties {

struct Capability {
    Output::Capability capability;
    const char *lack; // after "the output ": "has no VRR support"
    Reach::PerServer granted;
};

// In the order of the bits.
inline std::span<const Capability> capabilities()
{
    using Cap = Output::Capability;
    using Reach::everywhere;
    constexpr const char *described = "the output's description grants it";
    constexpr const char *underscanning = "mutter reports underscanning for the monitor (0 or 5 %)";
    // BT.2100 is HDR and a wide gamut at once.
    constexpr const char *bt2100 = "the monitor offers the BT.2100 colour mode";
    // Where the server offers no light of its own (backlight/panel.h).
    constexpr const char *kernelLight =
        "the output is a built-in panel (eDP, LVDS, DSI) with a kernel backlight device, set through logind";
    static constexpr Capability table[] = {
        {Cap::Overscan,
         "has no overscan control",
         {.virtualSet = described,
          .x11 = "the driver offers \"underscan\"",
          .mutter43 = underscanning,
          .mutter48 = underscanning}},
        {Cap::Vrr,
         "has no VRR support",
         {.virtualSet = described,
          .wlroots018 = "the compositor reports adaptive sync for the output",
          .mutter48 = "mutter lists variable-refresh modes for the monitor (experimental feature "
                      "\"variable-refresh-rate\"); no automatic policy"}},
        {Cap::RgbRange,
         "has no RGB range setting",
         {.virtualSet = described, .x11 = "the driver offers \"Broadcast RGB\""}},
        {Cap::HighDynamicRange, "has no HDR support", {.virtualSet = described, .mutter48 = bt2100}},
        {Cap::WideColorGamut,
         "has no wide colour gamut support",
         {.virtualSet = described, .mutter48 = bt2100}},
        {Cap::AutoRotation, "has no automatic rotation", {.virtualSet = described}},
        {Cap::IccProfile, "takes no ICC profile", {.virtualSet = described}},
        {Cap::BrightnessControl,
         "has no brightness control",
         {.virtualSet = described,
          .x11 = "the driver offers \"Backlight\", or the output is a built-in panel (eDP, LVDS, DSI) with a "
                 "kernel "
                 "backlight device, set through logind, or the output is on and its CRTC has a gamma ramp",
          .wlroots015 = kernelLight,
          .wlroots018 = kernelLight,
          .mutter43 = kernelLight,
          .mutter48 = everywhere}},
        {Cap::BuiltInColorProfile, "has no built-in colour profile", {.virtualSet = described}},
        {Cap::DdcCi, "has no DDC/CI", {.virtualSet = described}},
        {Cap::MaxBitsPerColor,
         "has no setting for the bits per colour",
         {.virtualSet = described, .x11 = "the driver offers \"max bpc\""}},
        {Cap::Edr, "has no EDR support", {.virtualSet = described}},
        {Cap::SharpnessControl, "has no sharpness control", {.virtualSet = described}},
        {Cap::CustomModes,
         "takes no custom modes",
         {.virtualSet = described, .x11 = everywhere, .wlroots015 = everywhere, .wlroots018 = everywhere}},
        {Cap::AutomaticBrightness, "has no automatic brightness", {.virtualSet = described}},
        {Cap::HdrIccProfile, "takes no HDR ICC profile", {.virtualSet = described}},
        {Cap::Abm, "has no adaptive backlight modulation", {.virtualSet = described}},
        {Cap::Disable,
         "cannot be switched off",
         {.virtualSet = described,
          .x11 = everywhere,
          .wlroots015 = everywhere,
          .wlroots018 = everywhere,
          .mutter43 = everywhere,
          .mutter48 = everywhere}},
    };
    return table;
}

} // namespace Dispor::Properties
