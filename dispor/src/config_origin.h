#pragma once

// The private side of Config: where a snapshot came from, and the access to
// it. Apart from backend.h, which the public classes do not need.

#include "dispor/config.h"

#include "output_data.h"

#include <memory>

namespace Dispor {

class Backend;

// A built-in panel whose light the kernel's backlight device carries, not
// the server (backlight/panel.h): the device, its level and range as
// fetched, and the brightness the server itself reported for the output.
struct KernelLight {
    QString device;
    int64_t level = 0;
    int64_t maxLevel = 1;
    double serverBrightness = 1;
};

// Where a snapshot came from: each output as fetched, the priority changes
// asked for in order (output id, rank), the backend that made the snapshot,
// and the state it was made from as that backend identifies it.
struct ConfigOrigin {
    std::shared_ptr<Backend> backend;
    QByteArray stamp;
    QMap<int, Output::Data> fetched;
    QList<std::pair<int, uint32_t>> priorityRequests;
    QMap<int, KernelLight> kernelLights; // by output id
};

class Config::Private {
public:
    OutputList outputs;
    ConfigOrigin origin;
};

class ConfigPrivate {
public:
    static ConfigOrigin &origin(Config &config) { return config.d->origin; }
    static const ConfigOrigin &origin(const Config &config) { return config.d->origin; }
};

inline ConfigOrigin &originOf(Config &config)
{
    return ConfigPrivate::origin(config);
}
inline const ConfigOrigin &originOf(const Config &config)
{
    return ConfigPrivate::origin(config);
}

} // namespace Dispor
