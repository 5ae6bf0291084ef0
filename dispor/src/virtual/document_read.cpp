#include "document_parts.h"

#include "../mode_block.h"
#include "../text.h"

#include "dispor/words.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <deque>
#include <initializer_list>
#include <limits>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace Dispor::Virtual {

namespace {

// What a value is, for "must be …, not …".
QString describe(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Null:
        return QStringLiteral("null");
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Double:
        return number(value.toDouble());
    case QJsonValue::String: {
        const QString text = value.toString();
        return text.size() <= 40 ? quoted(text) : quoted(text.left(40) + "…");
    }
    case QJsonValue::Array:
        return QStringLiteral("an array");
    case QJsonValue::Object:
        return QStringLiteral("an object");
    case QJsonValue::Undefined:
        break;
    }
    return QStringLiteral("nothing");
}

QString mustBe(const QString &key, const QString &what, const QJsonValue &value)
{
    return quoted(key) + " must be " + what + ", not " + describe(value);
}

QString mustBe(const Path &key, const QString &what, const QJsonValue &value)
{
    return mustBe(key.text(), what, value);
}

bool readBool(const QJsonValue &value, const Path &key, bool *out, QString *fault)
{
    if (!value.isBool()) {
        *fault = mustBe(key, QStringLiteral("true or false"), value);
        return false;
    }
    *out = value.toBool();
    return true;
}

bool readInteger(const QJsonValue &value, const Path &key, qint64 min, qint64 max, qint64 *out,
                 QString *fault)
{
    const double d = value.toDouble();
    if (!value.isDouble() || !std::isfinite(d) || d != std::trunc(d) || d < double(min) || d > double(max)) {
        *fault = mustBe(key, u"an integer from %1 to %2"_qs.arg(min).arg(max), value);
        return false;
    }
    *out = static_cast<qint64>(d);
    return true;
}

template <typename T>
bool readInt(const QJsonValue &value, const Path &key, T *out, QString *fault,
             qint64 min = std::numeric_limits<T>::min())
{
    qint64 v = 0;
    if (!readInteger(value, key, min, std::numeric_limits<T>::max(), &v, fault))
        return false;
    *out = static_cast<T>(v);
    return true;
}

bool readNumber(const QJsonValue &value, const Path &key, double *out, QString *fault)
{
    if (!value.isDouble() || !std::isfinite(value.toDouble())) {
        *fault = mustBe(key, QStringLiteral("a number"), value);
        return false;
    }
    *out = value.toDouble();
    return true;
}

// A rate is kept as a 32-bit float: a number beyond its range, or one so
// close to 0 that it would become 0, is refused as what it is.
bool readFloat(const QJsonValue &value, const Path &key, float *out, QString *fault)
{
    const double d = value.toDouble();
    if (!value.isDouble() || !std::isfinite(d)) {
        *fault = mustBe(key, QStringLiteral("a number"), value);
        return false;
    }
    const bool large = std::fabs(d) > double(std::numeric_limits<float>::max());
    if (large || (d != 0 && static_cast<float>(d) == 0)) {
        *fault = quoted(key.text()) + ' ' + number(d) + " is too " + (large ? "large" : "small") +
                 " for a 32-bit floating-point number";
        return false;
    }
    *out = static_cast<float>(d);
    return true;
}

// A lone surrogate ("\ud800") reads as text but has no UTF-8 form: the
// next write would change it silently.
bool isUnicode(const QString &text, const QString &key, QString *fault)
{
    if (QStringView(text).isValidUtf16())
        return true;
    *fault = quoted(key) + " must be valid Unicode text";
    return false;
}

bool readString(const QJsonValue &value, const Path &key, QString *out, QString *fault)
{
    if (!value.isString()) {
        *fault = mustBe(key, QStringLiteral("a string"), value);
        return false;
    }
    *out = value.toString();
    // The key's text is made only for the fault: a document has thousands.
    return QStringView(*out).isValidUtf16() || isUnicode(*out, key.text(), fault);
}

template <typename E, size_t N>
bool readWord(const QJsonValue &value, const Path &key, const words::Word<E> (&table)[N], E *out,
              QString *fault)
{
    if (value.isString()) {
        if (const std::optional<E> known = words::valueOf(table, value.toString())) {
            *out = *known;
            return true;
        }
    }
    *fault = mustBe(key, u"one of "_qs + wordList(table), value);
    return false;
}

// An object with exactly the given keys, all required unless listed in optional.
bool readObject(const QJsonValue &value, const Path &key, std::initializer_list<const char *> keys,
                QJsonObject *out, QString *fault, std::initializer_list<const char *> optional = {})
{
    if (!value.isObject()) {
        *fault = mustBe(key, QStringLiteral("an object"), value);
        return false;
    }
    *out = value.toObject();
    for (auto it = out->constBegin(); it != out->constEnd(); ++it) {
        bool known = false;
        for (const char *k : keys)
            known = known || it.key() == QLatin1StringView(k);
        for (const char *k : optional)
            known = known || it.key() == QLatin1StringView(k);
        if (!known) {
            *fault = u"unknown key "_qs + quoted(it.key()) + " in " + quoted(key.text());
            return false;
        }
    }
    for (const char *k : keys) {
        if (!out->contains(QLatin1StringView(k))) {
            *fault = quoted(sub(key, k).text()) + " is missing";
            return false;
        }
    }
    return true;
}

bool readSize(const QJsonValue &value, const Path &key, QSize *out, QString *fault)
{
    QJsonObject o;
    int w = 0, h = 0;
    if (!readObject(value, key, {"width", "height"}, &o, fault) ||
        !readInt(o[u"width"], sub(key, "width"), &w, fault) ||
        !readInt(o[u"height"], sub(key, "height"), &h, fault))
        return false;
    *out = QSize(w, h);
    return true;
}

bool readTimings(const QJsonValue &value, const Path &key, ModeTimings *t, QString *fault)
{
    QJsonObject o;
    if (!readObject(value, key,
                    {"clock", "hdisplay", "hsyncStart", "hsyncEnd", "htotal", "hskew", "vdisplay",
                     "vsyncStart", "vsyncEnd", "vtotal", "vscan", "flags"},
                    &o, fault))
        return false;
    const auto u16 = [&](const char *member, uint16_t *out) {
        return readInt(o[QLatin1StringView(member)], sub(key, member), out, fault);
    };
    return readInt(o[u"clock"], sub(key, "clock"), &t->clock, fault) && u16("hdisplay", &t->hdisplay) &&
           u16("hsyncStart", &t->hsyncStart) && u16("hsyncEnd", &t->hsyncEnd) && u16("htotal", &t->htotal) &&
           u16("hskew", &t->hskew) && u16("vdisplay", &t->vdisplay) && u16("vsyncStart", &t->vsyncStart) &&
           u16("vsyncEnd", &t->vsyncEnd) && u16("vtotal", &t->vtotal) && u16("vscan", &t->vscan) &&
           readInt(o[u"flags"], sub(key, "flags"), &t->flags, fault);
}

bool readCustomModes(const QJsonValue &value, const Path &key, QList<ModeInfo> *out, QString *fault)
{
    if (!value.isArray()) {
        *fault = mustBe(key, QStringLiteral("an array"), value);
        return false;
    }
    const QJsonArray array = value.toArray();
    out->reserve(array.size());
    for (qsizetype i = 0; i < array.size(); ++i) {
        const Path at = indexed(key, i);
        QJsonObject o;
        ModeInfo mode;
        if (!readObject(array[i], at, {"width", "height", "refreshRate", "flags"}, &o, fault, {"timings"}) ||
            !readInt(o[u"width"], sub(at, "width"), &mode.width, fault) ||
            !readInt(o[u"height"], sub(at, "height"), &mode.height, fault) ||
            !readFloat(o[u"refreshRate"], sub(at, "refreshRate"), &mode.refreshRate, fault) ||
            !readInt(o[u"flags"], sub(at, "flags"), &mode.flags, fault))
            return false;
        if (o.contains(u"timings")) {
            mode.timings.emplace();
            if (!readTimings(o[u"timings"], sub(at, "timings"), &*mode.timings, fault))
                return false;
        }
        out->append(mode);
    }
    return true;
}

bool readModes(const QJsonValue &value, const Path &key, ModeList *out, QString *fault)
{
    if (!value.isArray()) {
        *fault = mustBe(key, QStringLiteral("an array"), value);
        return false;
    }
    const QJsonArray array = value.toArray();
    // Gathered, then put in id order at once: inserted one by one in
    // document order, most went into the middle of the list.
    QList<ModePtr> modes;
    modes.reserve(array.size());
    QSet<QString> ids;
    ids.reserve(array.size());
    const ModeBlock block(static_cast<size_t>(array.size()));
    for (qsizetype i = 0; i < array.size(); ++i) {
        const Path at = indexed(key, i);
        QJsonObject o;
        QString id;
        int w = 0, h = 0;
        float rate = 0;
        if (!readObject(array[i], at, {"id", "width", "height", "refreshRate"}, &o, fault) ||
            !readString(o[u"id"], sub(at, "id"), &id, fault) ||
            !readInt(o[u"width"], sub(at, "width"), &w, fault) ||
            !readInt(o[u"height"], sub(at, "height"), &h, fault) ||
            !readFloat(o[u"refreshRate"], sub(at, "refreshRate"), &rate, fault))
            return false;
        if (id.isEmpty()) {
            *fault = mustBe(sub(at, "id"), QStringLiteral("a non-empty string"), o[u"id"]);
            return false;
        }
        if (ids.contains(id)) {
            *fault = quoted(key.text()) + " has the id " + quoted(id) + " twice";
            return false;
        }
        ids.insert(id);
        modes.append(ModePtr::create(id, QSize(w, h), rate));
    }
    // QString's order is the list's: by UTF-16 unit.
    std::sort(modes.begin(), modes.end(),
              [](const ModePtr &a, const ModePtr &b) { return a->id() < b->id(); });
    ModeListPrivate::assignSorted(*out, std::move(modes));
    return true;
}

bool readCapabilities(const QJsonValue &value, const Path &key, Output::Capabilities *out, QString *fault)
{
    if (!value.isArray()) {
        *fault = mustBe(key, QStringLiteral("an array"), value);
        return false;
    }
    const QJsonArray array = value.toArray();
    for (qsizetype i = 0; i < array.size(); ++i) {
        Output::Capability capability{};
        if (!readWord(array[i], indexed(key, i), words::capability, &capability, fault))
            return false;
        if (out->testFlag(capability)) {
            *fault = quoted(key.text()) + " lists " + quoted(array[i].toString()) + " twice";
            return false;
        }
        *out |= capability;
    }
    return true;
}

bool readOptionalNumber(const QJsonValue &value, const Path &key, std::optional<double> *out, QString *fault)
{
    if (value.isNull()) {
        out->reset();
        return true;
    }
    if (!value.isDouble() || !std::isfinite(value.toDouble())) {
        *fault = mustBe(key, QStringLiteral("a number or null"), value);
        return false;
    }
    *out = value.toDouble();
    return true;
}

template <typename T>
bool readValue(const Properties::Property<T> &p, const Path &key, const QJsonValue &v, Data &d,
               QString *fault)
{
    T *out = &(d.*p.member);
    if constexpr (std::is_same_v<T, bool>) {
        return readBool(v, key, out, fault);
    } else if constexpr (std::is_integral_v<T>) {
        return readInt(v, key, out, fault, std::max<qint64>(p.least, std::numeric_limits<T>::min()));
    } else if constexpr (std::is_same_v<T, double>) {
        return readNumber(v, key, out, fault);
    } else if constexpr (std::is_same_v<T, std::optional<double>>) {
        return readOptionalNumber(v, key, out, fault);
    } else if constexpr (std::is_same_v<T, QString>) {
        return readString(v, key, out, fault);
    } else if constexpr (std::is_enum_v<T>) {
        return readWord(v, key, words::of<T>(), out, fault);
    } else if constexpr (std::is_same_v<T, QPoint>) {
        QJsonObject o;
        int x = 0, y = 0;
        if (!readObject(v, key, {"x", "y"}, &o, fault) || !readInt(o[u"x"], sub(key, "x"), &x, fault) ||
            !readInt(o[u"y"], sub(key, "y"), &y, fault))
            return false;
        *out = QPoint(x, y);
        return true;
    } else if constexpr (std::is_same_v<T, ModeList>) {
        return readModes(v, key, out, fault);
    } else if constexpr (std::is_same_v<T, std::optional<QSize>>) {
        QSize size;
        if (!readSize(v, key, &size, fault))
            return false;
        *out = size;
        return true;
    } else if constexpr (std::is_same_v<T, std::optional<QSizeF>>) {
        QJsonObject o;
        double w = 0, h = 0;
        if (!readObject(v, key, {"width", "height"}, &o, fault) ||
            !readNumber(o[u"width"], sub(key, "width"), &w, fault) ||
            !readNumber(o[u"height"], sub(key, "height"), &h, fault))
            return false;
        *out = QSizeF(w, h);
        return true;
    } else if constexpr (std::is_same_v<T, Output::Capabilities>) {
        return readCapabilities(v, key, out, fault);
    } else if constexpr (std::is_same_v<T, Output::BpcRange>) {
        QJsonObject o;
        return readObject(v, key, {"min", "max"}, &o, fault) &&
               readInt(o[u"min"], sub(key, "min"), &out->min, fault) &&
               readInt(o[u"max"], sub(key, "max"), &out->max, fault);
    } else if constexpr (std::is_same_v<T, QList<ModeInfo>>) {
        return readCustomModes(v, key, out, fault);
    } else {
        static_assert(!sizeof(T), "a property of a type the document cannot read");
    }
}

bool readOutput(const QJsonValue &value, qsizetype index, Data *d, QString *fault)
{
    const Path outputs{nullptr, u"outputs", -1};
    const Path at = indexed(outputs, index);
    if (!value.isObject()) {
        *fault = mustBe(at, QStringLiteral("an object"), value);
        return false;
    }
    const QJsonObject o = value.toObject();
    const QJsonValue name = o[u"name"];
    if (name.isUndefined()) {
        *fault = at.text() + ": \"name\" is missing";
        return false;
    }
    if (!name.isString() || name.toString().isEmpty()) {
        *fault = at.text() + ": " + mustBe(u"name"_qs, QStringLiteral("a non-empty string"), name);
        return false;
    }
    d->name = name.toString();
    if (!isUnicode(d->name, u"name"_qs, fault)) {
        fault->prepend(at.text() + ": ");
        return false;
    }
    const QString label = u"output "_qs + quoted(d->name) + ": ";
    const QJsonValue id = o[u"id"];
    if (id.isUndefined()) {
        *fault = label + "\"id\" is missing";
        return false;
    }
    if (!readInt(id, Path{nullptr, u"id", -1}, &d->id, fault, 1)) {
        fault->prepend(label);
        return false;
    }
    for (auto it = o.constBegin(); it != o.constEnd(); ++it) {
        const QString name = it.key();
        bool read = true;
        int index = 0;
        const bool known = visitKey(name, &index, [&](const auto &p) {
            // id and name are read above
            read = p.required || readValue(p, Path{nullptr, name, -1}, it.value(), *d, fault);
        });
        if (!known) {
            *fault = label + "unknown key " + quoted(name);
            return false;
        }
        if (!read) {
            fault->prepend(label);
            return false;
        }
    }
    return true;
}

// QJsonDocument keeps the last of two equal keys without a word; a document
// is refused instead. Runs on text the parser has accepted: each object's
// keys are collected and sorted when it closes.
bool findDuplicateKey(const QByteArray &bytes, QString *fault)
{
    struct Frame {
        bool object;
        bool expectKey;
        qsizetype index;
        std::string_view key; // the member being read
        std::vector<std::string_view> keys;
    };
    std::vector<Frame> stack;
    std::deque<std::string> decoded; // keys written with escapes
    const auto path = [&stack] {
        QString where;
        for (size_t i = 0; i + 1 < stack.size(); ++i) {
            const Frame &f = stack[i];
            if (f.object)
                where +=
                    (where.isEmpty() ? QString() : u"."_qs) + QString::fromUtf8(f.key.data(), f.key.size());
            else
                where += u'[' + QString::number(f.index) + u']';
        }
        return where;
    };
    const char *p = bytes.constData();
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        switch (p[i]) {
        case '{':
            stack.push_back({true, true, 0, {}, {}});
            break;
        case '[':
            stack.push_back({false, false, 0, {}, {}});
            break;
        case '}':
        case ']': {
            if (stack.empty())
                break;
            Frame &top = stack.back();
            std::sort(top.keys.begin(), top.keys.end());
            const auto twice = std::adjacent_find(top.keys.begin(), top.keys.end());
            if (twice != top.keys.end()) {
                const QString where = path();
                *fault = (where.isEmpty() ? u"the document"_qs : quoted(where)) + " has the key " +
                         quoted(QString::fromUtf8(twice->data(), twice->size())) + " twice";
                return true;
            }
            stack.pop_back();
            break;
        }
        case ',':
            if (!stack.empty()) {
                if (stack.back().object)
                    stack.back().expectKey = true;
                else
                    ++stack.back().index;
            }
            break;
        case '"': {
            const qsizetype start = i + 1;
            bool escaped = false;
            for (++i; i < n && p[i] != '"'; ++i) {
                if (p[i] == '\\') {
                    escaped = true;
                    ++i;
                }
            }
            if (stack.empty() || !stack.back().object || !stack.back().expectKey)
                break;
            std::string_view key(p + start, size_t(i - start));
            if (escaped) {
                const QJsonArray parsed =
                    QJsonDocument::fromJson('[' + bytes.mid(start - 1, i - start + 2) + ']').array();
                key = decoded.emplace_back(parsed.at(0).toString().toStdString());
            }
            Frame &top = stack.back();
            top.expectKey = false;
            top.key = key;
            top.keys.push_back(key);
            break;
        }
        default:
            break;
        }
    }
    return false;
}

// JSON has control characters (below U+0020) in strings only as escapes;
// Qt's parser takes them raw as well. Runs on text the parser has accepted.
bool findRawControl(const QByteArray &bytes, QString *fault)
{
    bool inString = false;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (!inString) {
            inString = c == '"';
        } else if (c == '\\') {
            ++i;
        } else if (c == '"') {
            inString = false;
        } else if (c < 0x20) {
            *fault =
                u"not valid JSON: a control character (0x%1) stands unescaped in a string at offset %2"_qs
                    .arg(uint(c), 2, 16, QChar(u'0'))
                    .arg(i);
            return true;
        }
    }
    return false;
}

} // namespace

bool parseDocument(const QByteArray &bytes, Outputs *outputs, QString *fault,
                   const QMap<int, Output::Data> *like)
{
    return fastRead(bytes, outputs, like) || parseDocumentFully(bytes, outputs, fault);
}

bool parseDocumentFully(const QByteArray &bytes, Outputs *outputs, QString *fault)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        *fault = u"not valid JSON: "_qs + error.errorString() + " at offset " + QString::number(error.offset);
        return false;
    }
    if (findRawControl(bytes, fault))
        return false;
    if (!document.isObject()) {
        *fault = QStringLiteral("the document must be a JSON object");
        return false;
    }
    if (findDuplicateKey(bytes, fault))
        return false;
    const QJsonObject root = document.object();
    for (auto it = root.constBegin(); it != root.constEnd(); ++it) {
        if (it.key() != u"outputs") {
            *fault = u"unknown key "_qs + quoted(it.key()) + " at the top level";
            return false;
        }
    }
    const QJsonValue list = root[u"outputs"];
    if (list.isUndefined()) {
        *fault = QStringLiteral("\"outputs\" is missing");
        return false;
    }
    if (!list.isArray()) {
        *fault = mustBe(u"outputs"_qs, QStringLiteral("an array"), list);
        return false;
    }
    const QJsonArray array = list.toArray();
    Outputs result;
    result.reserve(array.size());
    QHash<int, qsizetype> byId;
    QHash<QString, qsizetype> byName;
    byId.reserve(array.size());
    byName.reserve(array.size());
    for (qsizetype i = 0; i < array.size(); ++i) {
        Data d;
        if (!readOutput(array[i], i, &d, fault))
            return false;
        if (const auto other = byName.constFind(d.name); other != byName.constEnd()) {
            *fault =
                u"outputs[%1] and outputs[%2] have the same name "_qs.arg(*other).arg(i) + quoted(d.name);
            return false;
        }
        if (const auto other = byId.constFind(d.id); other != byId.constEnd()) {
            *fault = u"outputs "_qs + quoted(result[*other].name) + " and " + quoted(d.name) +
                     " have the same id " + QString::number(d.id);
            return false;
        }
        byName.insert(d.name, i);
        byId.insert(d.id, i);
        result.append(std::move(d));
    }
    qsizetype faulty = 0;
    QString what;
    if (!checkOutputs(result, &faulty, &what)) {
        *fault = u"output "_qs + quoted(result[faulty].name) + ": " + what;
        return false;
    }
    *outputs = std::move(result);
    return true;
}

} // namespace Dispor::Virtual
