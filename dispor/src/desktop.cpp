#include "dispor/desktop.h"

#include "backend.h"
#include "config_origin.h"
#include "text.h"

namespace Dispor {

class Desktop::Private {
public:
    ConfigPtr config;
};

Desktop::Desktop(const ConfigPtr &config) : d(std::make_unique<Private>())
{
    d->config = config;
}

Desktop::~Desktop() = default;

bool Desktop::isSimulated() const
{
    return d->config && originOf(*d->config).backend && originOf(*d->config).backend->isSimulated();
}

QString Desktop::activeOutput(QString *why) const
{
    if (!d->config || !originOf(*d->config).backend) {
        *why = QStringLiteral("the configuration was not fetched from a display service");
        return {};
    }
    QString reason;
    const QString name = originOf(*d->config).backend->activeOutput(*d->config, &reason);
    if (name.isEmpty())
        *why = escaped(reason);
    return name;
}

bool Desktop::showLabels(int seconds, QString *why) const
{
    if (!d->config || !originOf(*d->config).backend) {
        *why = QStringLiteral("the configuration was not fetched from a display service");
        return false;
    }
    QString reason;
    if (originOf(*d->config).backend->showLabels(*d->config, seconds, &reason))
        return true;
    *why = escaped(reason);
    return false;
}
} // namespace Dispor
