#pragma once

#include "dispor/output.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace Dispor::X11 {

// The connector type, from the "ConnectorType" property when the driver has
// one, else from the output's name (eDP-1, HDMI-A-1, DVI-I-1, ...).
Output::Type connectorType(const QString &connectorTypeProperty, const QString &outputName);

// The identity an EDID gives: manufacturer letters, product code, serial.
struct EdidIdentity {
    QString manufacturer;
    uint16_t product = 0;
    uint32_t serial = 0;
    QString serialText; // the serial-number descriptor, empty when none
    QString name;       // the product-name descriptor, empty when none
};
// The monitor's make, model and serial number as the library tells them:
// the maker's three letters, the product name (else its code, 0x1234),
// the serial descriptor (else the serial number, where not 0).
void identify(const EdidIdentity &edid, QString *make, QString *model, QString *serialNumber);
// Null for a blob that is not an EDID (short, wrong header).
std::optional<EdidIdentity> edidIdentity(const QByteArray &edid);

// Stable across runs and reboots: derived from the EDID's identity when the
// output has one, else from the output's name. An identity that more than one
// output shows (twin monitors without serials) is repeated: the output's name
// then tells them apart.
QString outputUuid(const std::optional<EdidIdentity> &edid, const QString &outputName, bool repeated = false);

// The timings of a RandR mode, as far as the refresh and a custom mode need.
struct Timings {
    uint16_t width = 0;
    uint16_t height = 0;
    uint32_t dotClock = 0; // Hz
    uint16_t hsyncStart = 0;
    uint16_t hsyncEnd = 0;
    uint16_t htotal = 0;
    uint16_t hskew = 0;
    uint16_t vsyncStart = 0;
    uint16_t vsyncEnd = 0;
    uint16_t vtotal = 0;
    uint32_t flags = 0; // RandR mode flags

    bool operator==(const Timings &) const = default;
};

// Vertical refresh in Hz, 0 for timings without totals.
float refreshRate(const Timings &timings);

// Custom modes are RandR modes whose name records the ModeInfo they were
// made from, so that the next fetch finds them again exactly:
//   dispor:1920x1080@60:f3
//   dispor:3840x2160@59.981:f1:712750/3840/4160/4576/5312/0/2160/2163/2168/2237/1/6
QByteArray customModeName(const ModeInfo &mode);
// Null for a name that is not one of ours.
std::optional<ModeInfo> parseCustomModeName(const QByteArray &name);

// The timings the server gets for a custom mode: the explicit ones, or CVT
// timings (reduced blanking with the ReducedBlanking flag). Null with a
// reason when none can be made.
std::optional<Timings> customModeTimings(const ModeInfo &mode, QString *reason);

// "1920x1080@60.00", as the tool shows a custom mode.
QString describeCustomMode(const ModeInfo &mode);

} // namespace Dispor::X11
