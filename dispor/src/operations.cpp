#include "dispor/operations.h"

// Placeholder until the backends land.
namespace Dispor {

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
    m_error = QStringLiteral("no backend");
    return false;
}

SetConfigOperation::SetConfigOperation(const ConfigPtr &config, QObject *parent)
    : ConfigOperation(parent)
{
    m_config = config;
}

bool SetConfigOperation::run()
{
    m_error = QStringLiteral("no backend");
    return false;
}

} // namespace Dispor
