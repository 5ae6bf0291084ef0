#pragma once

#include "output_data.h"

#include <QList>
#include <QStringList>

namespace Dispor {

// The ids of the modes offered for the custom modes, one per custom mode in
// list order. Each is made from the mode's own content, so it stays the same
// while that custom mode exists; none equals an id of documentModes.
QStringList customModeIds(const ModeList &documentModes, const QList<ModeInfo> &customModes);

// Adds the modes offered for the custom modes to data.modes.
void offerCustomModes(Output::Data &data);

} // namespace Dispor
