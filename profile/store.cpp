#include "store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace profile {

namespace {

constexpr auto suffix = QLatin1StringView(".json");

QString path(const QString &name, QString *error)
{
    const QString dir = directory(error);
    return dir.isEmpty() ? QString() : dir + u'/' + name + suffix;
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Makes the directory (and its parents) for the user alone, or narrows one
// that is there.
bool ensurePrivate(const QString &dir, QString *error)
{
    const QByteArray local = QFile::encodeName(dir);
    struct stat info {};
    if (::lstat(local.constData(), &info) != 0) {
        const mode_t old = ::umask(077);
        const bool made = QDir().mkpath(QFileInfo(dir).path()) && ::mkdir(local.constData(), 0700) == 0;
        ::umask(old);
        if (!made && errno != EEXIST) {
            *error = QStringLiteral("Cannot make %1: %2").arg(dir, systemError());
            return false;
        }
        if (::lstat(local.constData(), &info) != 0) {
            *error = QStringLiteral("Cannot make %1: %2").arg(dir, systemError());
            return false;
        }
    }
    if (!S_ISDIR(info.st_mode)) {
        *error = QStringLiteral("%1 is not a directory").arg(dir);
        return false;
    }
    if (info.st_uid != ::geteuid()) {
        *error = QStringLiteral("%1 belongs to another user").arg(dir);
        return false;
    }
    if ((info.st_mode & 077) != 0 && ::chmod(local.constData(), 0700) != 0) {
        *error = QStringLiteral("Cannot narrow %1 to mode 0700: %2").arg(dir, systemError());
        return false;
    }
    return true;
}

} // namespace

bool validName(const QString &name)
{
    if (name.isEmpty() || name.startsWith(u'.') || name.contains(u'/'))
        return false;
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() < 0xa0))
            return false;
    }
    return true;
}

QString directory(QString *error)
{
    // A relative XDG_CONFIG_HOME is to be ignored, as if unset.
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!base.startsWith(u'/')) {
        const QString home = qEnvironmentVariable("HOME");
        if (!home.startsWith(u'/')) {
            *error = QStringLiteral("Cannot find the profiles: neither XDG_CONFIG_HOME nor HOME is set");
            return {};
        }
        base = home + QLatin1StringView("/.config");
    }
    return base + QLatin1StringView("/dispctl/profiles");
}

std::optional<QByteArray> loadText(const QString &name, QString *error)
{
    const QString file = path(name, error);
    if (file.isEmpty())
        return std::nullopt;
    const QFileInfo info(file);
    if (!info.exists()) {
        *error = QStringLiteral("Unknown profile: %1").arg(name);
        return std::nullopt;
    }
    // A FIFO would block the read.
    if (!info.isFile()) {
        *error = QStringLiteral("Profile %1: %2 is not a regular file").arg(name, file);
        return std::nullopt;
    }
    QFile input(file);
    if (!input.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("Profile %1: cannot read %2: %3").arg(name, file, input.errorString());
        return std::nullopt;
    }
    QByteArray text = input.readAll();
    if (input.error() != QFileDevice::NoError) {
        *error = QStringLiteral("Profile %1: cannot read %2: %3").arg(name, file, input.errorString());
        return std::nullopt;
    }
    return text;
}

std::optional<Profile> load(const QString &name, QString *error)
{
    const std::optional<QByteArray> text = loadText(name, error);
    if (!text)
        return std::nullopt;
    QString why;
    std::optional<Profile> profile = parseProfile(*text, &why);
    if (!profile)
        *error = QStringLiteral("Profile %1: malformed: %2").arg(name, why);
    return profile;
}

bool store(const QString &name, const Profile &profile, bool replace, QString *error)
{
    const QString dir = directory(error);
    if (dir.isEmpty() || !ensurePrivate(QFileInfo(dir).path(), error) || !ensurePrivate(dir, error))
        return false;
    const QString file = dir + u'/' + name + suffix;
    if (!replace && QFileInfo::exists(file)) {
        *error = QStringLiteral("Profile %1 exists; --force replaces it").arg(name);
        return false;
    }
    QSaveFile output(file);
    if (!output.open(QIODevice::WriteOnly) || ::fchmod(output.handle(), 0600) != 0) {
        *error = QStringLiteral("Profile %1: cannot write %2: %3").arg(name, file, output.errorString());
        return false;
    }
    output.write(writeProfile(profile));
    if (!output.commit()) {
        *error = QStringLiteral("Profile %1: cannot write %2: %3").arg(name, file, output.errorString());
        return false;
    }
    return true;
}

bool remove(const QString &name, QString *error)
{
    const QString file = path(name, error);
    if (file.isEmpty())
        return false;
    if (!QFileInfo::exists(file)) {
        *error = QStringLiteral("Unknown profile: %1").arg(name);
        return false;
    }
    QFile target(file);
    if (!target.remove()) {
        *error = QStringLiteral("Profile %1: cannot remove %2: %3").arg(name, file, target.errorString());
        return false;
    }
    return true;
}

std::optional<QStringList> names(QString *error)
{
    const QString dir = directory(error);
    if (dir.isEmpty())
        return std::nullopt;
    QStringList found;
    const QStringList files =
        QDir(dir).entryList({QStringLiteral("*.json")}, QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &file : files) {
        const QString name = file.chopped(suffix.size());
        if (validName(name))
            found.append(name);
    }
    return found;
}

} // namespace profile
