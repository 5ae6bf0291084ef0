#pragma once

// A profile as a value, and its JSON text: what `save` writes and every
// other verb reads. Parsing refuses anything it does not know, so that a
// typo is never read as "not set".

#include <dispor/output.h>

#include <QByteArray>
#include <QList>
#include <QPoint>
#include <QString>

#include <optional>

namespace profile {

inline constexpr int formatVersion = 1;

// Who an output is: the monitor's make, model and serial number, or, where
// those cannot tell it apart, the connector it is plugged into.
struct Identity {
    QString make;
    QString model;
    QString serial;
    QString connector; // set: the output is known by its connector only

    bool byConnector() const { return !connector.isEmpty(); }
    bool operator==(const Identity &other) const = default;
};

struct Mode {
    int width = 0;
    int height = 0;
    double refresh = 0; // Hz, to three decimals
};

// One output's settings. A disabled output carries only its identity.
struct OutputSettings {
    Identity identity;
    bool enabled = true;
    Mode mode;
    QPoint position;
    double scale = 1.0;
    Dispor::Output::Rotation rotation = Dispor::Output::Rotation::None;
    uint32_t priority = 0; // 1 is primary, 0 none
    std::optional<Identity> mirror;
    // Only where the output can take them.
    std::optional<Dispor::Output::VrrPolicy> vrr;
    std::optional<bool> hdr;
};

struct Profile {
    QList<OutputSettings> outputs;
};

// The profile as indented JSON, ending in a newline.
QByteArray writeProfile(const Profile &profile);

// The profile in text; none, with what is wrong and where in *error (one
// line, e.g. "outputs[1].mode.width: expected an integer").
std::optional<Profile> parseProfile(const QByteArray &text, QString *error);

// How an identity reads in messages and the dry run: the connector, or
// "make model serial" without the empty parts.
QString describe(const Identity &identity);

} // namespace profile
