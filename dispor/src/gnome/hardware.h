#pragma once

#include "client.h"

#include "../output_data.h"

// Mutter's variable refresh and underscanning as the library's VRR policy
// and overscan. Mutter has no VRR policy: a monitor that can vary its rate
// lists each such mode twice, fixed and variable, and the current mode says
// which. Underscanning is on or off; on, mutter trims about 5 % of the mode
// off each edge (at most 128 pixels), which is the overscan it reads as.
namespace Dispor::Gnome {

constexpr uint32_t underscanPercent = 5;

// The VRR and overscan capabilities, policy and value mutter reports.
void describeHardware(Output::Data &d, const MonitorState &monitor);

// The mode of the same size and rate as modeId that carries policy: the
// variable one for always, the fixed one for never; empty, with the reason,
// where there is none (automatic is mutter's never).
QString modeForPolicy(const MonitorState &monitor, const QString &modeId, Output::VrrPolicy policy,
                      QString *why);

// The underscanning an overscan means; none, with the reason, for a value
// mutter cannot keep.
std::optional<bool> underscanningFor(uint32_t overscan, QString *why);

} // namespace Dispor::Gnome
