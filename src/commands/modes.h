#pragma once

#include <dispor/output.h>

#include <QString>
#include <QStringView>

#include <optional>

// "id:WxH@R.RR", then "*" for the current and "!" for the preferred mode.
QString formatModeLine(const Dispor::Output &output, const Dispor::ModePtr &mode);

// A mode by id, by a copied list-modes line, by WxH@R (within 0.01 Hz, last
// match wins) or by WxH (highest rate, first wins); null when none.
Dispor::ModePtr findMode(const Dispor::Output &output, const QString &text);

// "WxH" or "WxH@R", the rate with an optional trailing "Hz"; the "x" is
// lower-case only. None when the text has no "x" or a part is no number.
struct ModeText {
    int width = 0;
    int height = 0;
    std::optional<double> refreshRate; // none without an "@"
};
std::optional<ModeText> parseModeText(QStringView text);
