#pragma once

// Snapshots of chosen outputs for the unit tests, built from the library's
// Data as its own tests build them.

#include <dispor/config.h>

#include "output_data.h"

#include <vector>

namespace unit {

struct Spec {
    int id;
    const char *name;
    const char *make = "";
    const char *model = "";
    const char *serial = "";
    bool connected = true;
    uint32_t priority = 0;
    Dispor::Output::Capabilities capabilities = {};
};

inline Dispor::OutputPtr makeOutput(const Spec &spec)
{
    Dispor::Output::Data data;
    data.id = spec.id;
    data.name = QString::fromUtf8(spec.name);
    data.make = QString::fromUtf8(spec.make);
    data.model = QString::fromUtf8(spec.model);
    data.serialNumber = QString::fromUtf8(spec.serial);
    data.connected = spec.connected;
    data.priority = spec.priority;
    data.capabilities = spec.capabilities;
    data.modes.insert(Dispor::ModePtr::create(QStringLiteral("1"), QSize(1920, 1080), 60.0f));
    data.modes.insert(Dispor::ModePtr::create(QStringLiteral("2"), QSize(2560, 1440), 59.951f));
    data.currentModeId = QStringLiteral("1");
    return Dispor::OutputPtr::create(data);
}

inline Dispor::ConfigPtr makeConfig(const std::vector<Spec> &specs)
{
    Dispor::OutputList outputs;
    for (const Spec &spec : specs)
        outputs.insert(spec.id, makeOutput(spec));
    return Dispor::ConfigPtr::create(outputs);
}

} // namespace unit
