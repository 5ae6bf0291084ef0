#include "schema.h"

#include <dispor/words.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <limits>

namespace profile {

namespace {

using Dispor::Output;
namespace words = Dispor::words;

double threeDecimals(double value)
{
    return std::round(value * 1000.0) / 1000.0;
}

QJsonObject identityJson(const Identity &identity)
{
    QJsonObject object;
    if (identity.byConnector()) {
        object.insert(QLatin1StringView("connector"), identity.connector);
        return object;
    }
    object.insert(QLatin1StringView("make"), identity.make);
    object.insert(QLatin1StringView("model"), identity.model);
    object.insert(QLatin1StringView("serial"), identity.serial);
    return object;
}

QJsonObject outputJson(const OutputSettings &output)
{
    QJsonObject object = identityJson(output.identity);
    object.insert(QLatin1StringView("enabled"), output.enabled);
    if (!output.enabled)
        return object;
    object.insert(QLatin1StringView("mode"),
                  QJsonObject{{QLatin1StringView("width"), output.mode.width},
                              {QLatin1StringView("height"), output.mode.height},
                              {QLatin1StringView("refresh"), threeDecimals(output.mode.refresh)}});
    object.insert(QLatin1StringView("position"), QJsonObject{{QLatin1StringView("x"), output.position.x()},
                                                             {QLatin1StringView("y"), output.position.y()}});
    object.insert(QLatin1StringView("scale"), output.scale);
    object.insert(QLatin1StringView("rotation"),
                  QLatin1StringView(words::wordOf(words::rotation, output.rotation)));
    object.insert(QLatin1StringView("priority"), static_cast<qint64>(output.priority));
    if (output.mirror)
        object.insert(QLatin1StringView("mirror"), identityJson(*output.mirror));
    if (output.vrr)
        object.insert(QLatin1StringView("vrr"),
                      QLatin1StringView(words::wordOf(words::vrrPolicy, *output.vrr)));
    if (output.hdr)
        object.insert(QLatin1StringView("hdr"), *output.hdr);
    return object;
}

// Reads one JSON object, checking that every key it has is known and
// every value has its type; the first fault wins.
class Reader {
public:
    Reader(const QJsonObject &object, QString where, QString *error)
        : m_object(object), m_where(std::move(where)), m_error(error)
    {}

    bool ok() const { return m_error->isEmpty(); }
    bool has(const char *key) const { return m_object.contains(QLatin1StringView(key)); }
    QString at(QStringView key) const
    {
        return m_where.isEmpty() ? key.toString() : m_where + u'.' + key.toString();
    }
    QString at(const char *key) const { return at(QString::fromLatin1(key)); }
    QJsonValue value(const char *key) const { return m_object.value(QLatin1StringView(key)); }

    bool fail(const QString &where, const char *what)
    {
        if (ok())
            *m_error = where + QLatin1StringView(": ") + QLatin1StringView(what);
        return false;
    }

    bool onlyKeys(std::initializer_list<const char *> known)
    {
        for (auto it = m_object.begin(); it != m_object.end(); ++it) {
            bool found = false;
            for (const char *key : known)
                found = found || it.key() == QLatin1StringView(key);
            if (!found)
                return fail(at(it.key()), "unknown key");
        }
        return true;
    }

    std::optional<QString> string(const char *key, bool required)
    {
        if (!has(key))
            return required ? (fail(at(key), "missing"), std::nullopt) : std::optional<QString>(QString());
        if (!value(key).isString())
            return fail(at(key), "expected a string"), std::nullopt;
        return value(key).toString();
    }

    std::optional<bool> boolean(const char *key)
    {
        if (!has(key))
            return fail(at(key), "missing"), std::nullopt;
        if (!value(key).isBool())
            return fail(at(key), "expected true or false"), std::nullopt;
        return value(key).toBool();
    }

    std::optional<double> number(const char *key)
    {
        if (!has(key))
            return fail(at(key), "missing"), std::nullopt;
        const double number = value(key).toDouble(std::numeric_limits<double>::quiet_NaN());
        if (!value(key).isDouble() || !std::isfinite(number))
            return fail(at(key), "expected a number"), std::nullopt;
        return number;
    }

    std::optional<int> integer(const char *key, double minimum)
    {
        const std::optional<double> number = this->number(key);
        if (!number)
            return std::nullopt;
        if (*number != std::floor(*number) || *number < minimum ||
            *number > std::numeric_limits<int32_t>::max())
            return fail(at(key),
                        minimum > 0 ? "expected a positive integer" : "expected an integer in range"),
                   std::nullopt;
        return static_cast<int>(*number);
    }

    std::optional<QJsonObject> object(const char *key)
    {
        if (!has(key))
            return fail(at(key), "missing"), std::nullopt;
        if (!value(key).isObject())
            return fail(at(key), "expected an object"), std::nullopt;
        return value(key).toObject();
    }

    template <typename Table> auto word(const char *key, const Table &table)
    {
        const std::optional<QString> text = string(key, true);
        auto parsed = text ? words::valueOf(table, *text) : std::nullopt;
        if (text && !parsed)
            fail(at(key), "unknown word");
        return parsed;
    }

private:
    QJsonObject m_object;
    QString m_where;
    QString *m_error;
};

std::optional<Identity> readIdentity(Reader &reader, const QString &where)
{
    Identity identity;
    if (reader.has("connector")) {
        if (reader.has("make") || reader.has("model") || reader.has("serial"))
            return reader.fail(where, "either a connector or make, model and serial, not both"), std::nullopt;
        const std::optional<QString> connector = reader.string("connector", true);
        if (!connector)
            return std::nullopt;
        if (connector->isEmpty())
            return reader.fail(reader.at("connector"), "empty"), std::nullopt;
        identity.connector = *connector;
        return identity;
    }
    const auto make = reader.string("make", false);
    const auto model = reader.string("model", false);
    const auto serial = reader.string("serial", false);
    if (!make || !model || !serial)
        return std::nullopt;
    if (make->isEmpty() && model->isEmpty() && serial->isEmpty())
        return reader.fail(where, "no connector, make, model or serial"), std::nullopt;
    identity.make = *make;
    identity.model = *model;
    identity.serial = *serial;
    return identity;
}

std::optional<OutputSettings> readOutput(const QJsonObject &object, const QString &where, QString *error)
{
    Reader reader(object, where, error);
    OutputSettings output;
    const std::optional<Identity> identity = readIdentity(reader, where);
    const std::optional<bool> enabled = reader.boolean("enabled");
    if (!identity || !enabled)
        return std::nullopt;
    output.identity = *identity;
    output.enabled = *enabled;
    if (!output.enabled) {
        if (!reader.onlyKeys({"connector", "make", "model", "serial", "enabled"}))
            return std::nullopt;
        return output;
    }
    if (!reader.onlyKeys({"connector", "make", "model", "serial", "enabled", "mode", "position", "scale",
                          "rotation", "priority", "mirror", "vrr", "hdr"}))
        return std::nullopt;

    const std::optional<QJsonObject> mode = reader.object("mode");
    const std::optional<QJsonObject> position = reader.object("position");
    if (!mode || !position)
        return std::nullopt;
    Reader modeReader(*mode, reader.at("mode"), error);
    const auto width = modeReader.integer("width", 1);
    const auto height = modeReader.integer("height", 1);
    const auto refresh = modeReader.number("refresh");
    if (!modeReader.onlyKeys({"width", "height", "refresh"}) || !width || !height || !refresh)
        return std::nullopt;
    if (*refresh <= 0)
        return modeReader.fail(modeReader.at("refresh"), "expected a positive number"), std::nullopt;
    output.mode = {*width, *height, *refresh};

    Reader positionReader(*position, reader.at("position"), error);
    const auto x = positionReader.integer("x", std::numeric_limits<int32_t>::min());
    const auto y = positionReader.integer("y", std::numeric_limits<int32_t>::min());
    if (!positionReader.onlyKeys({"x", "y"}) || !x || !y)
        return std::nullopt;
    output.position = {*x, *y};

    const auto scale = reader.number("scale");
    if (!scale)
        return std::nullopt;
    if (*scale <= 0)
        return reader.fail(reader.at("scale"), "expected a positive number"), std::nullopt;
    output.scale = *scale;
    const auto rotation = reader.word("rotation", words::rotation);
    if (!rotation)
        return std::nullopt;
    output.rotation = *rotation;
    if (reader.has("priority")) {
        const auto priority = reader.integer("priority", 0);
        if (!priority)
            return std::nullopt;
        output.priority = static_cast<uint32_t>(*priority);
    }
    if (reader.has("mirror")) {
        const auto mirror = reader.object("mirror");
        if (!mirror)
            return std::nullopt;
        Reader mirrorReader(*mirror, reader.at("mirror"), error);
        output.mirror = readIdentity(mirrorReader, reader.at("mirror"));
        if (!output.mirror || !mirrorReader.onlyKeys({"connector", "make", "model", "serial"}))
            return std::nullopt;
    }
    if (reader.has("vrr")) {
        output.vrr = reader.word("vrr", words::vrrPolicy);
        if (!output.vrr)
            return std::nullopt;
    }
    if (reader.has("hdr")) {
        output.hdr = reader.boolean("hdr");
        if (!output.hdr)
            return std::nullopt;
    }
    return output;
}

// What holds only across outputs: each named once, mirrors of outputs the
// profile has, and a primary at most once.
bool checkOutputs(const Profile &profile, QString *error)
{
    const auto where = [](qsizetype index) { return QStringLiteral("outputs[%1]").arg(index); };
    for (qsizetype i = 0; i < profile.outputs.size(); ++i) {
        const OutputSettings &output = profile.outputs[i];
        for (qsizetype j = 0; j < i; ++j) {
            if (profile.outputs[j].identity == output.identity) {
                *error = where(i) + QLatin1StringView(": the same output as ") + where(j);
                return false;
            }
            if (output.enabled && profile.outputs[j].enabled && output.priority != 0 &&
                profile.outputs[j].priority == output.priority) {
                *error = where(i) + QLatin1StringView(".priority: the same as ") + where(j);
                return false;
            }
        }
        if (!output.mirror)
            continue;
        if (*output.mirror == output.identity) {
            *error = where(i) + QLatin1StringView(".mirror: the output itself");
            return false;
        }
        bool known = false;
        for (const OutputSettings &other : profile.outputs)
            known = known || other.identity == *output.mirror;
        if (!known) {
            *error = where(i) + QLatin1StringView(".mirror: not an output of the profile");
            return false;
        }
    }
    return true;
}

} // namespace

QByteArray writeProfile(const Profile &profile)
{
    QJsonArray outputs;
    for (const OutputSettings &output : profile.outputs)
        outputs.append(outputJson(output));
    const QJsonObject root{{QLatin1StringView("version"), formatVersion},
                           {QLatin1StringView("outputs"), outputs}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

std::optional<Profile> parseProfile(const QByteArray &text, QString *error)
{
    error->clear();
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(text, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *error =
            QStringLiteral("not JSON (%1 at byte %2)").arg(parseError.errorString()).arg(parseError.offset);
        return std::nullopt;
    }
    if (!document.isObject()) {
        *error = QStringLiteral("expected a JSON object");
        return std::nullopt;
    }
    Reader root(document.object(), QString(), error);
    const auto version = root.integer("version", 1);
    if (!version)
        return std::nullopt;
    if (*version != formatVersion) {
        *error = QStringLiteral("version %1 is not known (this program reads version %2)")
                     .arg(*version)
                     .arg(formatVersion);
        return std::nullopt;
    }
    if (!root.onlyKeys({"version", "outputs"}))
        return std::nullopt;
    if (!root.value("outputs").isArray()) {
        root.fail(QStringLiteral("outputs"), root.has("outputs") ? "expected an array" : "missing");
        return std::nullopt;
    }
    const QJsonArray outputs = root.value("outputs").toArray();
    if (outputs.isEmpty()) {
        *error = QStringLiteral("outputs: empty");
        return std::nullopt;
    }
    Profile profile;
    for (qsizetype i = 0; i < outputs.size(); ++i) {
        const QString where = QStringLiteral("outputs[%1]").arg(i);
        if (!outputs[i].isObject()) {
            *error = where + QLatin1StringView(": expected an object");
            return std::nullopt;
        }
        const std::optional<OutputSettings> output = readOutput(outputs[i].toObject(), where, error);
        if (!output)
            return std::nullopt;
        profile.outputs.append(*output);
    }
    if (!checkOutputs(profile, error))
        return std::nullopt;
    return profile;
}

QString describe(const Identity &identity)
{
    if (identity.byConnector())
        return identity.connector;
    QStringList parts;
    for (const QString &part : {identity.make, identity.model, identity.serial}) {
        if (!part.isEmpty())
            parts.append(part);
    }
    return parts.join(u' ');
}

} // namespace profile
