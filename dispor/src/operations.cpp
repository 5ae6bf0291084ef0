#include "dispor/operations.h"

#include "backend.h"
#include "backlight/panel.h"
#include "logging.h"
#include "settle.h"
#include "text.h"

#include <QThread>

#include <algorithm>

namespace Dispor {

// The category of the library's reports, quiet unless the program asks:
// the failures reach it as values (errorString()), and a program that shows
// them would otherwise show each twice.
Q_LOGGING_CATEGORY(lcDispor, "dispor", QtCriticalMsg)

class ConfigOperation::Private {
public:
    ConfigPtr config;
    QString error;
    bool done = false;
    bool result = false;
    // GetConfigOperation's
    Options options;
    // SetConfigOperation's
    bool conflict = false;
    // start()'s run, while it goes on.
    std::unique_ptr<QThread> thread;
};

ConfigOperation::ConfigOperation(QObject *parent) : QObject(parent), d(std::make_unique<Private>()) {}

ConfigOperation::~ConfigOperation()
{
    if (d->thread)
        d->thread->wait();
}

bool ConfigOperation::exec()
{
    if (d->thread)
        d->thread->wait();
    if (!d->done) {
        d->result = run();
        d->done = true;
    }
    return d->result;
}

void ConfigOperation::start()
{
    if (d->thread)
        return;
    if (d->done) {
        QMetaObject::invokeMethod(
            this, [this] { Q_EMIT finished(this); }, Qt::QueuedConnection);
        return;
    }
    d->thread.reset(QThread::create([this] {
        d->result = run();
        d->done = true;
    }));
    // Queued to this object's thread: the run's results are all written
    // before it reads them.
    connect(d->thread.get(), &QThread::finished, this, [this] {
        d->thread->wait();
        d->thread.reset();
        Q_EMIT finished(this);
    });
    d->thread->start();
}

bool ConfigOperation::hasError() const
{
    return !d->error.isEmpty();
}

QString ConfigOperation::errorString() const
{
    return d->error;
}

ConfigPtr ConfigOperation::config() const
{
    return d->config;
}

GetConfigOperation::GetConfigOperation(Options options, QObject *parent) : ConfigOperation(parent)
{
    d->options = options;
}

GetConfigOperation::~GetConfigOperation() = default;

bool GetConfigOperation::run()
{
    QString &error = d->error;
    std::shared_ptr<Backend> backend = createBackend(&error);
    ConfigPtr config;
    if (!backend || !backend->fetch(&config, &error)) {
        // Whatever part of it came from outside, the reason stays one line.
        qCWarning(lcDispor, "%s", qUtf8Printable(escaped(error)));
        return false;
    }
    Backlight::offer(*config, *backend);
    originOf(*config).backend = std::move(backend);
    d->config = std::move(config);
    return true;
}

SetConfigOperation::SetConfigOperation(const ConfigPtr &config, QObject *parent) : ConfigOperation(parent)
{
    d->config = config;
}

SetConfigOperation::~SetConfigOperation() = default;

bool SetConfigOperation::isConflict() const
{
    return d->conflict;
}

bool SetConfigOperation::run()
{
    const ConfigPtr &config = d->config;
    QString &error = d->error;
    if (!config) {
        error = QStringLiteral("there is no configuration to apply");
        return false;
    }
    ConfigOrigin &origin = originOf(*config);
    if (!origin.backend) {
        error = QStringLiteral("the configuration was not fetched from a display service");
        return false;
    }
    // What a server would drop is refused before anything is sent. One
    // switched off by this apply is no disabled output yet: the layout
    // rules place it as they leave it.
    if (!origin.backend->keepsDisabledOutputs()) {
        for (const OutputPtr &output : config->outputs()) {
            if (const auto was = origin.fetched.constFind(output->id());
                was != origin.fetched.cend() && was->enabled)
                continue;
            const auto ranked = [&](const std::pair<int, uint32_t> &request) {
                return request.first == output->id() && request.second != 0;
            };
            const QString refusal = LayoutRules::changedWhileDisabled(
                output->data(),
                std::any_of(origin.priorityRequests.cbegin(), origin.priorityRequests.cend(), ranked));
            if (!refusal.isEmpty()) {
                error = escaped(refusal);
                return false;
            }
        }
    }
    // A priority request must not succeed without effect.
    for (const auto &[id, priority] : std::as_const(origin.priorityRequests)) {
        const OutputPtr output = config->output(id);
        if (output && priority != 0 && !(output->isEnabled() && output->isConnected())) {
            error = escaped(output->name()) +
                    (output->isConnected() ? u": a disabled"_qs : u": a disconnected"_qs) +
                    " output has no place in the ranking of priorities";
            return false;
        }
    }
    // The kernel's backlight goes after the server's part, which may still
    // be refused or conflict.
    Backlight::Part kernel(*config);
    Applied applied = kernel.takeOut(&error);
    QByteArray stamp;
    if (applied == Applied::Done) {
        applied = origin.backend->apply(*config, &stamp, &error);
        kernel.putBack();
        if (applied == Applied::Done)
            applied = kernel.set(&error);
    }
    switch (applied) {
    case Applied::Done:
        break;
    case Applied::Refused:
        // Line breaks separate lines of the error (below): one from outside
        // within the reason is escaped.
        error = escaped(error);
        return false;
    case Applied::NotHeld:
        // A line per output, each escaped by the backend.
        return false;
    case Applied::Conflict:
        d->conflict = true;
        return false;
    }
    origin.stamp = std::move(stamp);
    // Applied: a later apply of this snapshot carries only what changes next.
    origin.fetched.clear();
    for (const OutputPtr &output : config->outputs()) {
        dataOf(*output).placementAsked = false;
        origin.fetched.insert(output->id(), output->data());
    }
    origin.priorityRequests.clear();
    return true;
}

} // namespace Dispor
