#include "dispor/dpms.h"

#include "backend.h"

#include <cstdio>

namespace Dispor {

Dpms::Dpms(QObject *parent) : QObject(parent) {}

// The virtual backend has no screens of its own: every connected output
// switches, whatever screens were named.
void Dpms::switchMode(Mode mode, const QList<QScreen *> &)
{
    Q_EMIT hasPendingChangesChanged(true);
    m_error.clear();
    const std::shared_ptr<Backend> backend = createBackend(&m_error);
    if (!backend || !backend->setDpms(static_cast<Output::DpmsMode>(mode), &m_error)) {
        // Nobody else reports it: the caller takes no result from here.
        std::fputs(("dispor: " + m_error + u'\n').toUtf8().constData(), stderr);
    }
    Q_EMIT hasPendingChangesChanged(false);
}

} // namespace Dispor
