#include "document_parts.h"

#include <initializer_list>
#include <tuple>

namespace Dispor::Virtual {

// The built-in set, deterministic so that tests and users can rely on it:
//   eDP-1 (id 1): laptop panel, 2560x1600 at 120/60/48 Hz plus 1920x1200,
//     1680x1050 and 1280x800 at 60 Hz; current and preferred mode "1"
//     (2560x1600@120), scale 1.25 (logical 2048x1280) at 0,0, primary.
//     Brightness 0.75, colour from the built-in (EDID) profile, ABM level 1;
//     peak and average 500, minimum 0.5 nits.
//     Capabilities: auto-rotate, icc, brightness, builtin-color-profile,
//     auto-brightness, abm, disable.
//   DP-1 (id 2): 27" 4K HDR monitor right of the panel at 2048,0, priority 2,
//     3840x2160 at 60/59.94/30 Hz plus 2560x1440@60, 1920x1080@60/59.94 and
//     1280x720@60; current and preferred mode "1" (3840x2160@60), scale 1.5
//     (logical 2560x1440). HDR off; peak 600, average 400, minimum 0.05 nits;
//     6 to 12 bits per colour, DDC/CI allowed. Capabilities: overscan, vrr,
//     rgb-range, hdr, wcg, icc, ddc-ci, maxbpc, edr, custom-modes, hdr-icc,
//     disable.
//   HDMI-A-1 (id 3): an HDMI port with nothing plugged in: disconnected,
//     disabled, no modes. Capabilities: overscan, rgb-range, disable.
Outputs defaultSet()
{
    using Cap = Output::Capability;
    const auto modes = [](std::initializer_list<std::tuple<int, int, float>> list) {
        ModeList result;
        int n = 0;
        for (const auto &[w, h, rate] : list) {
            const QString id = QString::number(++n);
            result.insert(ModePtr::create(id, QSize(w, h), rate));
        }
        return result;
    };

    Data panel;
    panel.id = 1;
    panel.name = u"eDP-1"_qs;
    panel.uuid = u"3f0c6a2e-5d1b-4b8e-9a47-1c2d3e4f5a01"_qs;
    panel.type = Output::Type::Panel;
    panel.priority = 1;
    panel.modes = modes({{2560, 1600, 120.0f},
                         {2560, 1600, 60.0f},
                         {2560, 1600, 48.0f},
                         {1920, 1200, 60.0f},
                         {1680, 1050, 60.0f},
                         {1280, 800, 60.0f}});
    panel.currentModeId = u"1"_qs;
    panel.preferredModeId = u"1"_qs;
    panel.scale = 1.25;
    panel.capabilities = Cap::AutoRotation | Cap::IccProfile | Cap::BrightnessControl |
                         Cap::BuiltInColorProfile | Cap::AutomaticBrightness | Cap::Abm | Cap::Disable;
    panel.brightness = 0.75;
    panel.colorProfileSource = Output::ColorProfileSource::EDID;
    panel.abmLevel = 1;
    panel.maxPeakBrightness = 500;
    panel.maxAverageBrightness = 500;
    panel.minBrightness = 0.5;

    Data monitor;
    monitor.id = 2;
    monitor.name = u"DP-1"_qs;
    monitor.uuid = u"8b7a9c1d-2e3f-4a5b-8c6d-7e8f9a0b1c02"_qs;
    monitor.type = Output::Type::DisplayPort;
    monitor.priority = 2;
    monitor.pos = QPoint(2048, 0);
    monitor.modes = modes({{3840, 2160, 60.0f},
                           {3840, 2160, 59.94f},
                           {3840, 2160, 30.0f},
                           {2560, 1440, 60.0f},
                           {1920, 1080, 60.0f},
                           {1920, 1080, 59.94f},
                           {1280, 720, 60.0f}});
    monitor.currentModeId = u"1"_qs;
    monitor.preferredModeId = u"1"_qs;
    monitor.scale = 1.5;
    monitor.capabilities = Cap::Overscan | Cap::Vrr | Cap::RgbRange | Cap::HighDynamicRange |
                           Cap::WideColorGamut | Cap::IccProfile | Cap::DdcCi | Cap::MaxBitsPerColor |
                           Cap::Edr | Cap::CustomModes | Cap::HdrIccProfile | Cap::Disable;
    monitor.maxPeakBrightness = 600;
    monitor.maxAverageBrightness = 400;
    monitor.minBrightness = 0.05;
    monitor.bitsPerColorRange = {6, 12};
    monitor.ddcCiAllowed = true;

    Data hdmi;
    hdmi.id = 3;
    hdmi.name = u"HDMI-A-1"_qs;
    hdmi.uuid = u"d4e5f6a7-b8c9-4d0e-8f1a-2b3c4d5e6f03"_qs;
    hdmi.type = Output::Type::HDMI;
    hdmi.enabled = false;
    hdmi.connected = false;
    hdmi.capabilities = Cap::Overscan | Cap::RgbRange | Cap::Disable;

    return {panel, monitor, hdmi};
}

} // namespace Dispor::Virtual
