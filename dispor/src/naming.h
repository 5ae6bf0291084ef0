#pragma once

#include "dispor/output.h"

#include <QString>

#include <cstdint>

// What the display servers' own names and numbers stand for, as more than
// one backend reads them.
namespace Dispor {

// The connector type a connector name gives: the kernel's names ("DP-1",
// "HDMI-A-1", "eDP-1"), the X drivers' ("DP1", "DisplayPort-0") and RandR's
// "ConnectorType" words ("HDMI", "Panel"). Unknown for any other name.
Output::Type connectorTypeOfName(const QString &name);

// wl_output's transforms (mutter numbers them alike): quarter turns
// counter-clockwise, then the same after a flip. None for a number beyond
// them.
Output::Rotation rotationOfTransform(int64_t transform);
// -1 for a value that is no single rotation.
int transformOfRotation(Output::Rotation rotation);

} // namespace Dispor
