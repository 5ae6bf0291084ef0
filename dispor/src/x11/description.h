#pragma once

#include "../remembered.h"
#include "server.h"

#include "dispor/output.h"

#include <QMap>

namespace Dispor::X11 {

// The outputs as the library describes them, by output id: what the server
// holds, with nothing made up where it holds nothing (no primary, no mirror).
// The server forgets what a disabled output had: its record, where one fits,
// says what it comes back with; without one that is unknown.
QMap<int, Output::Data> describe(const ServerState &state, const RememberedOutputs &remembered = {});

// The custom mode a mode of ours is, at the size the server keeps: the width
// of CVT timings is a multiple of 8, so one asked as 1700x900@60 is 1696x900.
// Null for a mode that is not ours.
std::optional<ModeInfo> customModeOf(const ModeLine &mode);

// RandR rotation bits and the library's rotations, both ways; 0 when the
// CRTC's supported set has no way to show the rotation.
Output::Rotation rotationFromRandr(uint16_t randr);
uint16_t rotationToRandr(Output::Rotation rotation, uint16_t supported);

// A scale as a CRTC transform: the CRTC shows mode / scale of the screen.
// The factor is 65536 / scale rounded down, so that the area it covers is
// never larger than the layout's; scale 1 is the identity, without filter.
Transform scaleTransform(double scale);
// The scale a transform stands for: the simplest decimal written as its
// factor, so that a scale set reads back as given; null for a transform
// that is no uniform scale.
std::optional<double> scaleOf(const Transform &transform);
// The area of the screen a CRTC covers with the transform, from the size it
// has after its rotation, as the X server bounds it.
QSize transformedExtent(QSize size, const Transform &transform);

// What the brightness of a CRTC's gamma ramp is, 1 without a ramp.
double rampBrightness(const CrtcState &crtc);

// A CRTC's ramps as they are at full brightness, and the brightness they are
// shown at: the ramps on the CRTC are these scaled by it.
struct Gamma {
    double brightness = 1;
    QList<uint16_t> red, green, blue;

    bool operator==(const Gamma &) const = default;
};
// What the ramps were made of: our record on one of the CRTC's outputs while
// the CRTC still shows what that record makes and its ramps could be ours
// (any client can write it), else the ramps themselves
// (another client's) at the brightness they read; ramps all at zero where
// the driver keeps them are brightness 0 of its straight ramp. Null without
// ramps, for ramps that fall, and for ramps all at zero elsewhere, which
// servers without gamma report (Xwayland, Xvfb, which may also hold whatever
// its memory held): they tell nothing about brightness.
std::optional<Gamma> gammaOf(const ServerState &state, const CrtcState &crtc);
// Each step scaled by the brightness, so that every channel keeps its curve
// and the channels their ratio.
QList<uint16_t> scaledRamp(const QList<uint16_t> &full, double brightness);
// A brightness as our record keeps it, in millionths: what is shown and
// what reads back are the same number.
double recordedBrightness(double brightness);
// Our record, as the output property holds it (16-bit units: the brightness
// in millionths, high half first, then the red, green and blue ramps).
QByteArray gammaRecord(const Gamma &gamma);
std::optional<Gamma> parseGammaRecord(const Property &property);
// The output's "Backlight" where a client may set it (a 32-bit range that
// holds more than one value), else null.
const Property *backlightOf(const OutputState &output, const Atoms &atoms);
// Its value as a brightness: the share of the range, and back, rounded to
// the nearest value the range holds.
double backlightBrightness(const Property &backlight);
int32_t backlightValue(const Property &backlight, double brightness);
// The RGB range a "Broadcast RGB" word stands for.
Output::RgbRange rgbRangeOf(const QString &word);

// The output's property of that atom, null when it has none.
const Property *findProperty(const OutputState &output, xcb_atom_t atom);
// Whether a client may change it, and whether it is a 32-bit range.
bool usable(const Property *property);
bool usableRange(const Property *property);
// The output our mark on the output names as its source, 0 when none or
// when another client has set the configuration since the mark was made.
int replicaMark(const OutputState &output, const ServerState &state);
// A mark naming the source, made in the configuration of that timestamp.
QByteArray replicaMarkData(xcb_randr_output_t source, xcb_timestamp_t timestamp);

} // namespace Dispor::X11
