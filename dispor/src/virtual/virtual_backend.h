#pragma once

#include "../backend.h"
#include "location.h"

namespace Dispor::Virtual {

// The simulated display set kept in one JSON document.
class VirtualBackend : public Backend {
public:
    explicit VirtualBackend(Location location) : m_location(std::move(location)) {}

    QString name() const override { return QStringLiteral("virtual"); }
    bool fetch(ConfigPtr *config, QString *reason) override;
    Applied apply(const Config &config, QByteArray *stamp, QString *reason) override;
    bool setDpms(Output::DpmsMode mode, QString *reason) override;
    bool keepsDisabledOutputs() const override { return true; }
    bool isSimulated() const override { return true; }
    // The document replaced, written or removed.
    std::unique_ptr<Watch> watch(QString *reason) override;

    const Location &location() const { return m_location; }

private:
    Location m_location;
};

std::shared_ptr<Backend> createVirtualBackend(QString *reason);

} // namespace Dispor::Virtual
