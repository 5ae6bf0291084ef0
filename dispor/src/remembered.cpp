#include "remembered.h"

#include "text.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <cmath>

namespace Dispor {

namespace {

constexpr int coordinateLimit = 1 << 30;

bool integer(const QJsonObject &record, const char *key, int low, int high, int *value)
{
    const QJsonValue field = record.value(QLatin1StringView(key));
    const double number = field.toDouble(std::nan(""));
    if (!field.isDouble() || number != std::floor(number) || number < low || number > high)
        return false;
    *value = int(number);
    return true;
}

bool isRotation(int value)
{
    return value > 0 && value <= 128 && (value & (value - 1)) == 0;
}

} // namespace

Remembered rememberedOf(const Output::Data &d)
{
    const Output output(d);
    Remembered r;
    r.uuid = d.uuid;
    r.modeId = d.currentModeId;
    if (const ModePtr mode = output.currentMode()) {
        r.modeSize = mode->size();
        r.refreshRate = mode->refreshRate();
    }
    r.scale = d.scale;
    r.rotation = d.rotation;
    r.pos = d.pos;
    return r;
}

bool restore(Output::Data &d, const Remembered &r)
{
    if (d.enabled || r.uuid != d.uuid)
        return false;
    QString modeId;
    if (d.modes.contains(r.modeId)) {
        const ModePtr mode = d.modes.value(r.modeId);
        if (mode->size() == r.modeSize && std::abs(mode->refreshRate() - r.refreshRate) < 0.01)
            modeId = r.modeId;
    }
    // Ids may be the server's own, given anew in each session.
    for (auto at = d.modes.cbegin(); modeId.isEmpty() && at != d.modes.cend(); ++at) {
        if ((*at)->size() == r.modeSize && std::abs((*at)->refreshRate() - r.refreshRate) < 0.01)
            modeId = (*at)->id();
    }
    if (modeId.isEmpty())
        return false;
    d.currentModeId = modeId;
    d.scale = r.scale;
    d.rotation = r.rotation;
    d.pos = r.pos;
    d.placementKnown = true;
    return true;
}

QByteArray rememberedDocument(const RememberedOutputs &outputs)
{
    QJsonObject document;
    for (auto at = outputs.cbegin(); at != outputs.cend(); ++at) {
        document.insert(at.key(), QJsonObject{
                                      {QStringLiteral("uuid"), at->uuid},
                                      {QStringLiteral("modeId"), at->modeId},
                                      {QStringLiteral("width"), at->modeSize.width()},
                                      {QStringLiteral("height"), at->modeSize.height()},
                                      {QStringLiteral("refreshRate"), at->refreshRate},
                                      {QStringLiteral("scale"), at->scale},
                                      {QStringLiteral("rotation"), qint64(at->rotation)},
                                      {QStringLiteral("x"), at->pos.x()},
                                      {QStringLiteral("y"), at->pos.y()},
                                  });
    }
    return QJsonDocument(document).toJson(QJsonDocument::Compact);
}

bool parseRemembered(const QByteArray &bytes, RememberedOutputs *outputs, QString *fault)
{
    outputs->clear();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        *fault = error.error == QJsonParseError::NoError
                     ? u"not an object of outputs"_qs
                     : u"not JSON: "_qs + error.errorString() + " at offset " + QString::number(error.offset);
        return false;
    }
    const QJsonObject object = document.object();
    for (auto entry = object.constBegin(); entry != object.constEnd(); ++entry) {
        const QJsonObject record = entry->toObject();
        Remembered r;
        int width = 0, height = 0, rotation = 0, x = 0, y = 0;
        const double rate = record.value(QStringLiteral("refreshRate")).toDouble(-1);
        r.scale = record.value(QStringLiteral("scale")).toDouble(-1);
        if (!entry->isObject() || !record.value(QStringLiteral("uuid")).isString() ||
            !record.value(QStringLiteral("modeId")).isString() ||
            !integer(record, "width", 0, coordinateLimit, &width) ||
            !integer(record, "height", 0, coordinateLimit, &height) ||
            !integer(record, "rotation", 1, 128, &rotation) || !isRotation(rotation) ||
            !integer(record, "x", -coordinateLimit, coordinateLimit, &x) ||
            !integer(record, "y", -coordinateLimit, coordinateLimit, &y) || !(rate >= 0 && rate < 1e6) ||
            !(r.scale > 0 && r.scale <= 100)) {
            *fault = u"the record of "_qs + quoted(entry.key()) + " is not one this library wrote";
            return false;
        }
        r.uuid = record.value(QStringLiteral("uuid")).toString();
        r.modeId = record.value(QStringLiteral("modeId")).toString();
        r.modeSize = QSize(width, height);
        r.refreshRate = rate;
        r.rotation = Output::Rotation(rotation);
        r.pos = QPoint(x, y);
        outputs->insert(entry.key(), r);
    }
    return true;
}

RememberedFile::RememberedFile(const QString &session)
    : m_location(runtimeLocation(QUrl::toPercentEncoding(session) + "-disabled-outputs.json"))
{}

bool RememberedFile::read(RememberedOutputs *outputs, QString *reason)
{
    outputs->clear();
    Store store(m_location);
    bool missing = false;
    bool exists = false;
    QByteArray bytes;
    if (!store.openDirectory(false, &missing, reason))
        return false;
    if (missing || !store.read(&bytes, &exists, reason))
        return missing;
    QString fault;
    if (exists && !parseRemembered(bytes, outputs, &fault)) {
        *reason = shownPath(m_location.path) + ": " + fault;
        return false;
    }
    return true;
}

bool RememberedFile::update(const QMap<QString, std::optional<Remembered>> &changes, QString *reason)
{
    if (changes.isEmpty())
        return true;
    Store store(m_location);
    bool missing = false;
    bool exists = false;
    QByteArray bytes;
    if (!store.openDirectory(true, &missing, reason) || !store.lock(reason) ||
        !store.read(&bytes, &exists, reason))
        return false;
    RememberedOutputs outputs;
    QString fault;
    // A damaged record is replaced: it is a memory, not the user's document.
    if (exists && !parseRemembered(bytes, &outputs, &fault))
        outputs.clear();
    const RememberedOutputs before = exists ? outputs : RememberedOutputs();
    for (auto at = changes.cbegin(); at != changes.cend(); ++at) {
        if (*at)
            outputs.insert(at.key(), **at);
        else
            outputs.remove(at.key());
    }
    if (exists && outputs == before && fault.isEmpty())
        return true;
    if (!exists && outputs.isEmpty())
        return true;
    return store.write(rememberedDocument(outputs), reason);
}

} // namespace Dispor
