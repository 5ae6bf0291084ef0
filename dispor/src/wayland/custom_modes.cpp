#include "custom_modes.h"

#include "../text.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <cmath>
#include <limits>

#include <unistd.h>

namespace Dispor::Wayland {

namespace {

const QString rateKey = QStringLiteral("refreshRate");

// An integer field of a mode record, within 32 bits.
bool integer(const QJsonObject &record, const char *key, qint64 low, qint64 high, qint64 *value)
{
    const QJsonValue field = record.value(QLatin1StringView(key));
    const double number = field.toDouble(std::nan(""));
    if (!field.isDouble() || number != std::floor(number) || number < double(low) || number > double(high))
        return false;
    *value = qint64(number);
    return true;
}

} // namespace

QByteArray customModesDocument(const CustomModeLists &lists)
{
    QJsonObject document;
    for (auto list = lists.cbegin(); list != lists.cend(); ++list) {
        if (list->isEmpty())
            continue;
        QJsonArray records;
        for (const ModeInfo &mode : *list) {
            records.append(QJsonObject{
                {QStringLiteral("width"), mode.width},
                {QStringLiteral("height"), mode.height},
                {rateKey, double(mode.refreshRate)},
                {QStringLiteral("flags"), qint64(mode.flags)},
            });
        }
        document.insert(list.key(), records);
    }
    return QJsonDocument(document).toJson();
}

bool parseCustomModes(const QByteArray &bytes, CustomModeLists *lists, QString *fault)
{
    lists->clear();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        *fault = error.error == QJsonParseError::NoError
                     ? u"not an object of custom mode lists"_qs
                     : u"not JSON: "_qs + error.errorString() + " at offset " + QString::number(error.offset);
        return false;
    }
    const QJsonObject object = document.object();
    for (auto entry = object.constBegin(); entry != object.constEnd(); ++entry) {
        if (!entry->isArray()) {
            *fault = u"the custom modes of "_qs + quoted(entry.key()) + " are not a list";
            return false;
        }
        QList<ModeInfo> &list = (*lists)[entry.key()];
        const QJsonArray records = entry->toArray();
        for (qsizetype i = 0; i < records.size(); ++i) {
            const QJsonObject record = records.at(i).toObject();
            qint64 width = 0, height = 0, flags = 0;
            const QJsonValue rate = record.value(rateKey);
            if (!records.at(i).isObject() || !integer(record, "width", INT32_MIN, INT32_MAX, &width) ||
                !integer(record, "height", INT32_MIN, INT32_MAX, &height) ||
                !integer(record, "flags", 0, UINT32_MAX, &flags) || !rate.isDouble() ||
                std::abs(rate.toDouble()) > double(std::numeric_limits<float>::max())) {
                *fault = u"custom mode "_qs + QString::number(i) + " of " + quoted(entry.key()) +
                         " is not a record of width, height, refreshRate and flags";
                return false;
            }
            list.append(
                ModeInfo{int32_t(width), int32_t(height), float(rate.toDouble()), uint32_t(flags), {}});
        }
    }
    return true;
}

Location customModesLocation(const QString &socket)
{
    return runtimeLocation("wayland-" + QUrl::toPercentEncoding(socket) + "-custom-modes.json");
}

bool CustomModeFile::read(CustomModeLists *lists, QString *reason)
{
    lists->clear();
    bool missing = false;
    bool exists = false;
    QByteArray bytes;
    if (!m_store.openDirectory(false, &missing, reason) || !m_store.read(&bytes, &exists, reason))
        return false;
    if (!exists)
        return true;
    QString fault;
    if (!parseCustomModes(bytes, lists, &fault)) {
        *reason = shownPath(m_location.path) + ": " + fault;
        return false;
    }
    return true;
}

Applied CustomModeFile::begin(const CustomModeLists &fetched, const CustomModeLists &wanted, QString *reason)
{
    bool missing = false;
    if (!m_store.openDirectory(true, &missing, reason) || !m_store.lock(reason))
        return Applied::Refused;
    bool exists = false;
    QByteArray bytes;
    if (!m_store.read(&bytes, &exists, reason))
        return Applied::Refused;
    QString fault;
    if (exists && !parseCustomModes(bytes, &m_lists, &fault)) {
        *reason = shownPath(m_location.path) + ": " + fault;
        return Applied::Refused;
    }
    for (auto list = wanted.cbegin(); list != wanted.cend(); ++list) {
        if (m_lists.value(list.key()) != fetched.value(list.key())) {
            *reason = list.key() + ": the custom modes changed since they were read";
            return Applied::Conflict;
        }
        m_lists.insert(list.key(), *list);
    }
    return Applied::Done;
}

bool CustomModeFile::commit(QString *reason)
{
    return m_store.write(customModesDocument(m_lists), reason);
}

} // namespace Dispor::Wayland
