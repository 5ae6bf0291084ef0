#include "device.h"

#include "../naming.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Dispor::Backlight {

namespace {

// A sysfs attribute: a short regular file. Anything else (a FIFO in a
// tree made to look like sysfs) is not read, so no read can hang.
std::optional<QByteArray> attribute(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return std::nullopt;
    struct stat status;
    char buffer[64];
    ssize_t got = -1;
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
        do
            got = ::read(fd, buffer, sizeof buffer);
        while (got < 0 && errno == EINTR);
    }
    ::close(fd);
    if (got < 0)
        return std::nullopt;
    return QByteArray(buffer, got).trimmed();
}

std::optional<int64_t> number(const QString &path)
{
    const std::optional<QByteArray> text = attribute(path);
    bool ok = false;
    const qlonglong value = text ? text->toLongLong(&ok) : 0;
    return ok && value >= 0 ? std::optional<int64_t>(value) : std::nullopt;
}

// "eDP-1" and the intel driver's "eDP1" name one connector.
QString plain(QString name)
{
    return name.remove(u'-');
}

// The connector the kernel ties the device to (its parent "card0-eDP-1");
// empty where its parent is no DRM connector.
QString connectorOf(const QString &entry)
{
    const QString parent = QFileInfo(QFileInfo(entry + u"/device"_qs).canonicalFilePath()).fileName();
    if (!parent.startsWith(u"card"))
        return {};
    qsizetype at = 4;
    while (at < parent.size() && parent[at].isDigit())
        ++at;
    return at > 4 && at + 1 < parent.size() && parent[at] == u'-' ? parent.mid(at + 1) : QString();
}

} // namespace

bool isBuiltInPanel(const QString &output)
{
    return connectorTypeOfName(output) == Output::Type::Panel;
}

// A variable, and no internal hook: the end-to-end tests run dispctl as a
// process with a tree of their own. It can only change what is read: the
// library writes nothing under it, and the level goes to logind with the
// device's name alone, which logind looks up in its own sysfs, for the
// caller's session, as any program of the session may ask it.
QString sysfsRoot()
{
    const QString root = qEnvironmentVariable("DISPOR_SYSFS");
    return root.startsWith(u'/') ? root : u"/sys"_qs;
}

std::optional<Device> choose(const QString &root, const QString &output)
{
    const QString classDir = root + u"/class/backlight"_qs;
    static constexpr const char *order[] = {"firmware", "platform", "raw"};
    // Each device's type read once: (its rank in order, its name).
    std::vector<std::pair<size_t, QString>> devices;
    for (const QString &name : QDir(classDir).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const std::optional<QByteArray> type = attribute(classDir + u'/' + name + u"/type"_qs);
        const auto rank = std::find_if(std::begin(order), std::end(order),
                                       [&](const char *known) { return type == QByteArray(known); });
        if (rank != std::end(order))
            devices.emplace_back(size_t(rank - std::begin(order)), name);
    }
    std::sort(devices.begin(), devices.end());
    for (const auto &[rank, name] : devices) {
        const QString entry = classDir + u'/' + name;
        const QString connector = connectorOf(entry);
        if (!connector.isEmpty() && plain(connector) != plain(output))
            continue;
        const std::optional<int64_t> max = number(entry + u"/max_brightness"_qs);
        const std::optional<int64_t> now = number(entry + u"/brightness"_qs);
        if (max && *max > 0 && now)
            return Device{name, QLatin1StringView(order[rank]), std::min(*now, *max), *max};
    }
    return std::nullopt;
}

std::optional<int64_t> level(const QString &root, const QString &device)
{
    return number(root + u"/class/backlight/"_qs + device + u"/brightness"_qs);
}

} // namespace Dispor::Backlight
