#include "library_log.h"

#include "../text.h"

#include <QByteArray>
#include <QLoggingCategory>

#include <wayland-client.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace Dispor::Wayland {

namespace {

// The library's category by name: Qt's rules and handlers go by the name,
// and the library exports none of its own to plugins, which are loaded
// lazily bound and would fail at the first line otherwise.
Q_LOGGING_CATEGORY(lcDispor, "dispor", QtCriticalMsg)

thread_local QStringList *kept = nullptr;

void keepOrShow(const char *format, va_list args)
{
    va_list counting;
    va_copy(counting, args);
    const int size = std::vsnprintf(nullptr, 0, format, counting);
    va_end(counting);
    if (size <= 0)
        return;
    QByteArray text(size, Qt::Uninitialized);
    std::vsnprintf(text.data(), size_t(size) + 1, format, args);
    const QString line = escaped(QString::fromLocal8Bit(text).trimmed());
    if (line.isEmpty())
        return;
    if (kept)
        kept->append(line);
    else
        std::fprintf(stderr, "%s\n", qUtf8Printable(line));
}

} // namespace

LibraryLog::LibraryLog() : m_outer(kept)
{
    // Once for the process: the plugin is never unloaded, so the handler
    // stays callable for as long as libwayland is.
    static std::once_flag installed;
    std::call_once(installed, [] { wl_log_set_handler_client(keepOrShow); });
    kept = &m_lines;
}

LibraryLog::~LibraryLog()
{
    kept = m_outer;
    if (m_outer) {
        m_outer->append(m_lines);
        return;
    }
    for (const QString &line : std::as_const(m_lines))
        qCWarning(lcDispor, "libwayland: %s", qUtf8Printable(line));
}

QString LibraryLog::take()
{
    if (!kept || kept->isEmpty())
        return {};
    const QString text = u" (libwayland: "_qs + kept->join(u"; "_qs) + u')';
    kept->clear();
    return text;
}

} // namespace Dispor::Wayland
