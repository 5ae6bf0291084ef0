#include "dispor/dpms.h"

#include "backend.h"

namespace Dispor {

Dpms::Dpms(QObject *parent) : QObject(parent) {}

void Dpms::switchMode(Mode mode)
{
    Q_EMIT hasPendingChangesChanged(true);
    m_error.clear();
    const std::shared_ptr<Backend> backend = createBackend(&m_error);
    // A failure stays in errorString(): the caller reports it, once.
    if (backend)
        backend->setDpms(static_cast<Output::DpmsMode>(mode), &m_error);
    Q_EMIT hasPendingChangesChanged(false);
}

} // namespace Dispor
