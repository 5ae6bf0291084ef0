#pragma once

#include "server.h"

#include "dispor/output.h"

#include <QMap>

namespace Dispor::X11 {

// The outputs as the library describes them, by output id: what the server
// holds, with nothing made up where it holds nothing (no primary, no mirror).
QMap<int, Output::Data> describe(const ServerState &state);

// RandR rotation bits and the library's rotations, both ways; 0 when the
// CRTC's supported set has no way to show the rotation.
Output::Rotation rotationFromRandr(uint16_t randr);
uint16_t rotationToRandr(Output::Rotation rotation, uint16_t supported);

// What the brightness of a CRTC's gamma ramp is, 1 without a ramp.
double rampBrightness(const CrtcState &crtc);
// The RGB range a "Broadcast RGB" word stands for.
Output::RgbRange rgbRangeOf(const QString &word);

// The output's property of that atom, null when it has none.
const Property *findProperty(const OutputState &output, xcb_atom_t atom);
// Whether a client may change it, and whether it is a 32-bit range.
bool usable(const Property *property);
bool usableRange(const Property *property);
// The output our mark on the output names as its source, 0 when none.
int replicaMark(const OutputState &output, const Atoms &atoms);

} // namespace Dispor::X11
