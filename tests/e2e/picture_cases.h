#pragma once

// Table-driven cases for the commands that set one output property: each
// case runs on a fresh virtual set and looks at what the run left in the
// document, property by property.

#include "document_cases.h"

#include <string>

namespace picture {

using namespace cases;

inline constexpr const char *allCapabilities =
    R"(["overscan", "vrr", "rgb-range", "hdr", "wcg", "auto-rotate", "icc", "brightness",
        "builtin-color-profile", "ddc-ci", "maxbpc", "edr", "sharpness", "custom-modes",
        "auto-brightness", "hdr-icc", "abm", "disable"])";

// eDP-1 (id 1, primary) and DP-1 (id 2) can do everything; HDMI-A-1 (id 3)
// can do nothing. DP-1 gets dp1 as its picture settings.
inline std::string document(const std::string &dp1)
{
    const std::string mode = R"("modes": [{"id": "1", "width": 1920, "height": 1080, "refreshRate": 60.0}],
        "currentModeId": "1")";
    return R"({"outputs": [
    {"id": 1, "name": "eDP-1", "type": "Panel", "priority": 1, )" +
           mode + R"(, "capabilities": )" + allCapabilities + R"(},
    {"id": 2, "name": "DP-1", "uuid": "3b1f8e2c-dp1", "type": "DisplayPort", "priority": 2,
     "pos": {"x": 1920, "y": 0}, )" +
           mode + R"(, "capabilities": )" + allCapabilities + (dp1.empty() ? "" : ", " + dp1) + R"(},
    {"id": 3, "name": "HDMI-A-1", "type": "HDMI", "priority": 3, "pos": {"x": 3840, "y": 0}, )" +
           mode + R"(}
]})";
}

// DP-1 away from every default, so that any change shows.
inline const std::string dp1Settings = R"("brightness": 0.8, "dimming": 0.9, "automaticBrightness": true,
    "hdrEnabled": true, "sdrBrightness": 300, "sdrGamutWideness": 0.4, "sharpness": 0.2,
    "maxPeakBrightnessOverride": 800, "maxAverageBrightnessOverride": 500, "minBrightnessOverride": 50,
    "colorProfileSource": "EDID", "hdrColorProfileSource": "ICC", "colorPowerPreference": "prefer-accuracy",
    "rgbRange": "full", "vrrPolicy": "never", "autoRotatePolicy": "always", "edrPolicy": "always",
    "overscan": 5, "abmLevel": 2, "maxBitsPerColor": 10, "ddcCiAllowed": true, "replicationSource": 1)";

// The service's refusal of a setting that HDMI-A-1 has no capability for,
// with what the output lacks.
inline std::string lacks(const std::string &setting, const std::string &lack)
{
    return "Failed to apply output configuration: HDMI-A-1: cannot change " + setting + ": the output " +
           lack;
}

} // namespace picture
