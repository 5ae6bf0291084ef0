#include "dispor/dpms.h"

namespace Dispor {

Dpms::Dpms(QObject *parent) : QObject(parent) {}

void Dpms::switchMode(Mode, const QList<QScreen *> &)
{
    Q_EMIT hasPendingChangesChanged(true);
    m_error = QStringLiteral("no backend");
    Q_EMIT hasPendingChangesChanged(false);
}

} // namespace Dispor
