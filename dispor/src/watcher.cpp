#include "dispor/watcher.h"

#include "backend.h"
#include "text.h"

#include <QSocketNotifier>

namespace Dispor {

class ConfigWatcher::Private {
public:
    std::shared_ptr<Backend> backend;
    std::unique_ptr<Watch> watch;
    std::unique_ptr<QSocketNotifier> notifier;
    QString error;
};

ConfigWatcher::ConfigWatcher(QObject *parent) : QObject(parent), d(std::make_unique<Private>()) {}

ConfigWatcher::~ConfigWatcher() = default;

bool ConfigWatcher::start()
{
    if (d->watch)
        return true;
    d->error.clear();
    d->backend = createBackend(&d->error);
    if (d->backend)
        d->watch = d->backend->watch(&d->error);
    if (!d->watch) {
        d->backend.reset();
        d->error = escaped(d->error);
        return false;
    }
    // Stops once the service is gone; queued, since a watch may tell so
    // from inside its own call.
    const auto lost = [this](const QString &reason) {
        QMetaObject::invokeMethod(
            this,
            [this, reason] {
                d->notifier.reset();
                d->watch.reset();
                d->backend.reset();
                Q_EMIT serviceLost(escaped(reason));
            },
            Qt::QueuedConnection);
    };
    d->watch->notify = [this, lost](bool changed, const QString &reason) {
        if (changed)
            Q_EMIT configChanged();
        else
            lost(reason);
    };
    if (const int fd = d->watch->descriptor(); fd >= 0) {
        d->notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        connect(d->notifier.get(), &QSocketNotifier::activated, this, [this, lost] {
            bool changed = false;
            QString reason;
            if (!d->watch->dispatch(&changed, &reason)) {
                d->notifier->setEnabled(false);
                lost(reason);
            } else if (changed) {
                Q_EMIT configChanged();
            }
        });
    }
    return true;
}

bool ConfigWatcher::isWatching() const
{
    return d->watch != nullptr;
}

QString ConfigWatcher::errorString() const
{
    return d->error;
}

} // namespace Dispor
