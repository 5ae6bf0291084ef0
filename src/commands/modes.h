#pragma once

#include <dispor/output.h>

#include <QString>

// "id:WxH@R.RR", then "*" for the current and "!" for the preferred mode.
QString formatModeLine(const Dispor::Output &output, const Dispor::ModePtr &mode);

// A mode by id, by a copied list-modes line, by WxH@R (within 0.01 Hz, last
// match wins) or by WxH (highest rate, first wins); null when none.
Dispor::ModePtr findMode(const Dispor::Output &output, const QString &text);
