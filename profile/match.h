#pragma once

// Which connected output a profile's entry stands for, and which profile
// fits the outputs connected now.

#include "schema.h"

#include <dispor/config.h>

#include <QList>
#include <QString>

#include <optional>

namespace profile {

// The identity a profile gives this output among the connected ones: its
// make, model and serial number, or its connector where those are all
// empty or another connected output has the same.
Identity identityOf(const Dispor::Output &output, const Dispor::OutputList &connected);

// The connected output each of the profile's outputs stands for, in the
// profile's order, when its outputs are exactly the connected ones. An
// identity names the one connected output with that make, model and serial;
// a connector the output plugged into it.
struct Assignment {
    QList<int> outputIds;
    int exact = 0; // how many outputs matched by make, model and serial
};
std::optional<Assignment> assign(const Profile &profile, const Dispor::OutputList &connected);

// Why the profile does not fit the connected outputs, naming an output:
// for the message of an apply that cannot be made.
QString mismatch(const Profile &profile, const Dispor::OutputList &connected);

struct Candidate {
    QString name;
    Profile profile;
};

// The profile that fits best: the most outputs matched by identity. None
// fits: index -1. Two fit equally well: index -1 and *tie holds both names.
struct Choice {
    qsizetype index = -1;
    Assignment assignment;
    QStringList tie;
};
Choice choose(const QList<Candidate> &candidates, const Dispor::OutputList &connected);

// The connected set as a value: each output's connector and identity.
// Equal keys, the same outputs are plugged in where they were.
QStringList connectedKey(const Dispor::OutputList &connected);

} // namespace profile
