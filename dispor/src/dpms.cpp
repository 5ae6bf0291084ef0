#include "dispor/dpms.h"

#include "backend.h"

namespace Dispor {

class Dpms::Private {
public:
    QString error;
};

Dpms::Dpms(QObject *parent) : QObject(parent), d(std::make_unique<Private>()) {}

Dpms::~Dpms() = default;

bool Dpms::hasError() const
{
    return !d->error.isEmpty();
}

QString Dpms::errorString() const
{
    return d->error;
}

void Dpms::switchMode(Mode mode)
{
    Q_EMIT hasPendingChangesChanged(true);
    d->error.clear();
    const std::shared_ptr<Backend> backend = createBackend(&d->error);
    // A failure stays in errorString(): the caller reports it, once.
    if (backend)
        backend->setDpms(static_cast<Output::DpmsMode>(mode), &d->error);
    Q_EMIT hasPendingChangesChanged(false);
}

} // namespace Dispor
