#pragma once

#include <dispor/mode.h>

#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

// The custom mode for "WxH@R" (rate with an optional "Hz"); none when the
// text is not of that shape or a part is no number.
std::optional<Dispor::ModeInfo> customModeFromResolution(QStringView text, bool reducedBlanking);

// The custom mode for CLOCK HDISPLAY HSYNC_START HSYNC_END HTOTAL VDISPLAY
// VSYNC_START VSYNC_END VTOTAL FLAG*, or the first value that does not
// convert.
struct TimingsResult {
    std::optional<Dispor::ModeInfo> mode;
    QString failedValue; // set when mode is none
};
TimingsResult customModeFromTimings(const QStringList &values);

// Refresh rate in Hz, in integer millihertz as the kernel computes it;
// none when a total is zero.
std::optional<float> refreshRateFromTimings(const Dispor::ModeTimings &timings);
