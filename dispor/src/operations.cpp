#include "dispor/operations.h"

#include "backend.h"
#include "text.h"

#include <cstdio>

namespace Dispor {

namespace {

void report(const QString &reason)
{
    // Whatever part of it came from outside, the reason stays one line.
    std::fputs(("dispor: " + escaped(reason) + u'\n').toUtf8().constData(), stderr);
}

} // namespace

bool ConfigOperation::exec()
{
    if (!m_done) {
        m_result = run();
        m_done = true;
    }
    return m_result;
}

GetConfigOperation::GetConfigOperation(Options options, QObject *parent)
    : ConfigOperation(parent), m_options(options)
{
}

bool GetConfigOperation::run()
{
    std::shared_ptr<Backend> backend = createBackend(&m_error);
    ConfigPtr config;
    if (!backend || !backend->fetch(&config, &m_error)) {
        report(m_error);
        return false;
    }
    originOf(*config).backend = std::move(backend);
    m_config = std::move(config);
    return true;
}

SetConfigOperation::SetConfigOperation(const ConfigPtr &config, QObject *parent)
    : ConfigOperation(parent)
{
    m_config = config;
}

bool SetConfigOperation::run()
{
    if (!m_config) {
        m_error = QStringLiteral("there is no configuration to apply");
        return false;
    }
    ConfigOrigin &origin = originOf(*m_config);
    if (!origin.backend) {
        m_error = QStringLiteral("the configuration was not fetched from a display service");
        return false;
    }
    // A priority request must not succeed without effect.
    for (const auto &[id, priority] : std::as_const(origin.priorityRequests)) {
        const OutputPtr output = m_config->output(id);
        if (output && priority != 0 && !(output->isEnabled() && output->isConnected())) {
            m_error = escaped(output->name())
                + (output->isConnected() ? u": a disabled"_qs : u": a disconnected"_qs)
                + " output has no place in the ranking of priorities";
            return false;
        }
    }
    QByteArray stamp;
    switch (origin.backend->apply(*m_config, &stamp, &m_error)) {
    case Applied::Done:
        break;
    case Applied::Refused:
        // Line breaks separate lines of the error (below): one from outside
        // within the reason is escaped.
        m_error = escaped(m_error);
        return false;
    case Applied::NotHeld:
        // A line per output, each escaped by the backend.
        return false;
    case Applied::Conflict:
        m_conflict = true;
        return false;
    }
    origin.stamp = std::move(stamp);
    // Applied: a later apply of this snapshot carries only what changes next.
    origin.fetched.clear();
    for (const OutputPtr &output : m_config->outputs())
        origin.fetched.insert(output->id(), output->data());
    origin.priorityRequests.clear();
    return true;
}

} // namespace Dispor
