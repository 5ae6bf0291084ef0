#include "document.h"

#include "../sizes.h"
#include "../text.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QSet>

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <deque>
#include <string>
#include <vector>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <limits>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <unordered_map>

namespace Dispor::Virtual {

namespace {

using Data = Output::Data;

template <typename E>
struct Word {
    E value;
    const char *word;
};

constexpr Word<Output::Type> typeWords[] = {
    {Output::Type::Unknown, "Unknown"},
    {Output::Type::VGA, "VGA"},
    {Output::Type::DVI, "DVI"},
    {Output::Type::DVII, "DVII"},
    {Output::Type::DVIA, "DVIA"},
    {Output::Type::DVID, "DVID"},
    {Output::Type::HDMI, "HDMI"},
    {Output::Type::Panel, "Panel"},
    {Output::Type::TV, "TV"},
    {Output::Type::TVComposite, "TVComposite"},
    {Output::Type::TVSVideo, "TVSVideo"},
    {Output::Type::TVComponent, "TVComponent"},
    {Output::Type::TVSCART, "TVSCART"},
    {Output::Type::TVC4, "TVC4"},
    {Output::Type::DisplayPort, "DisplayPort"},
};

constexpr Word<Output::Rotation> rotationWords[] = {
    {Output::Rotation::None, "normal"},
    {Output::Rotation::Left, "90"},
    {Output::Rotation::Inverted, "180"},
    {Output::Rotation::Right, "270"},
    {Output::Rotation::Flipped, "flipped"},
    {Output::Rotation::Flipped90, "flipped90"},
    {Output::Rotation::Flipped180, "flipped180"},
    {Output::Rotation::Flipped270, "flipped270"},
};

constexpr Word<Output::ColorProfileSource> sourceWords[] = {
    {Output::ColorProfileSource::sRGB, "sRGB"},
    {Output::ColorProfileSource::ICC, "ICC"},
    {Output::ColorProfileSource::EDID, "EDID"},
};

constexpr Word<Output::ColorPowerTradeoff> tradeoffWords[] = {
    {Output::ColorPowerTradeoff::PreferEfficiency, "prefer-efficiency"},
    {Output::ColorPowerTradeoff::PreferAccuracy, "prefer-accuracy"},
};

constexpr Word<Output::RgbRange> rgbRangeWords[] = {
    {Output::RgbRange::Automatic, "automatic"},
    {Output::RgbRange::Full, "full"},
    {Output::RgbRange::Limited, "limited"},
};

constexpr Word<Output::VrrPolicy> vrrWords[] = {
    {Output::VrrPolicy::Never, "never"},
    {Output::VrrPolicy::Always, "always"},
    {Output::VrrPolicy::Automatic, "automatic"},
};

constexpr Word<Output::AutoRotatePolicy> autoRotateWords[] = {
    {Output::AutoRotatePolicy::Never, "never"},
    {Output::AutoRotatePolicy::InTabletMode, "in-tablet-mode"},
    {Output::AutoRotatePolicy::Always, "always"},
};

constexpr Word<Output::EdrPolicy> edrWords[] = {
    {Output::EdrPolicy::Never, "never"},
    {Output::EdrPolicy::Always, "always"},
};

constexpr Word<Output::DpmsMode> dpmsWords[] = {
    {Output::DpmsMode::On, "on"},
    {Output::DpmsMode::Standby, "standby"},
    {Output::DpmsMode::Suspend, "suspend"},
    {Output::DpmsMode::Off, "off"},
};

// In the reports' order.
constexpr Word<Output::Capability> capabilityWords[] = {
    {Output::Capability::Overscan, "overscan"},
    {Output::Capability::Vrr, "vrr"},
    {Output::Capability::RgbRange, "rgb-range"},
    {Output::Capability::HighDynamicRange, "hdr"},
    {Output::Capability::WideColorGamut, "wcg"},
    {Output::Capability::AutoRotation, "auto-rotate"},
    {Output::Capability::IccProfile, "icc"},
    {Output::Capability::BrightnessControl, "brightness"},
    {Output::Capability::BuiltInColorProfile, "builtin-color-profile"},
    {Output::Capability::DdcCi, "ddc-ci"},
    {Output::Capability::MaxBitsPerColor, "maxbpc"},
    {Output::Capability::Edr, "edr"},
    {Output::Capability::SharpnessControl, "sharpness"},
    {Output::Capability::CustomModes, "custom-modes"},
    {Output::Capability::AutomaticBrightness, "auto-brightness"},
    {Output::Capability::HdrIccProfile, "hdr-icc"},
    {Output::Capability::Disable, "disable"},
    {Output::Capability::Abm, "abm"},
};

template <typename E, size_t N>
const char *wordOf(const Word<E> (&words)[N], E value)
{
    for (const Word<E> &w : words) {
        if (w.value == value)
            return w.word;
    }
    return nullptr;
}

template <typename E, size_t N>
QString wordList(const Word<E> (&words)[N])
{
    QString list;
    for (const Word<E> &w : words) {
        if (!list.isEmpty())
            list += ", ";
        list += QLatin1StringView(w.word);
    }
    return list;
}

QString number(double value)
{
    if (value == std::trunc(value) && std::fabs(value) < 1e15)
        return QString::number(static_cast<qint64>(value));
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

// Where a value sits ("modes[2].width"), spelled out only for a message.
struct Path {
    const Path *parent = nullptr;
    QAnyStringView member; // empty for an array element
    qsizetype index = -1;

    QString text() const
    {
        QString t = parent ? parent->text() : QString();
        if (index >= 0) {
            t += u'[' + QString::number(index) + u']';
        } else {
            if (!t.isEmpty())
                t += u'.';
            t += member.toString();
        }
        return t;
    }
};

Path sub(const Path &key, const char *member)
{
    return {&key, QAnyStringView(member), -1};
}

Path indexed(const Path &key, qsizetype index)
{
    return {&key, {}, index};
}

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

bool readInteger(const QJsonValue &value, const Path &key, qint64 min, qint64 max, qint64 *out, QString *fault)
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

bool readFloat(const QJsonValue &value, const Path &key, float *out, QString *fault)
{
    const double d = value.toDouble();
    if (!value.isDouble() || !std::isfinite(d) || std::fabs(d) > double(std::numeric_limits<float>::max())) {
        *fault = mustBe(key, QStringLiteral("a number"), value);
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
    return isUnicode(*out, key.text(), fault);
}

template <typename E, size_t N>
bool readWord(const QJsonValue &value, const Path &key, const Word<E> (&words)[N], E *out, QString *fault)
{
    if (value.isString()) {
        const QString text = value.toString();
        for (const Word<E> &w : words) {
            if (text == QLatin1StringView(w.word)) {
                *out = w.value;
                return true;
            }
        }
    }
    *fault = mustBe(key, u"one of "_qs + wordList(words), value);
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
    if (!readObject(value, key, {"width", "height"}, &o, fault) || !readInt(o[u"width"], sub(key, "width"), &w, fault)
        || !readInt(o[u"height"], sub(key, "height"), &h, fault))
        return false;
    *out = QSize(w, h);
    return true;
}

bool readTimings(const QJsonValue &value, const Path &key, ModeTimings *t, QString *fault)
{
    QJsonObject o;
    if (!readObject(value, key,
                    {"clock", "hdisplay", "hsyncStart", "hsyncEnd", "htotal", "hskew", "vdisplay", "vsyncStart",
                     "vsyncEnd", "vtotal", "vscan", "flags"},
                    &o, fault))
        return false;
    const auto u16 = [&](const char *member, uint16_t *out) { return readInt(o[QLatin1StringView(member)], sub(key, member), out, fault); };
    return readInt(o[u"clock"], sub(key, "clock"), &t->clock, fault) && u16("hdisplay", &t->hdisplay)
        && u16("hsyncStart", &t->hsyncStart) && u16("hsyncEnd", &t->hsyncEnd) && u16("htotal", &t->htotal)
        && u16("hskew", &t->hskew) && u16("vdisplay", &t->vdisplay) && u16("vsyncStart", &t->vsyncStart)
        && u16("vsyncEnd", &t->vsyncEnd) && u16("vtotal", &t->vtotal) && u16("vscan", &t->vscan)
        && readInt(o[u"flags"], sub(key, "flags"), &t->flags, fault);
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
        if (!readObject(array[i], at, {"width", "height", "refreshRate", "flags"}, &o, fault, {"timings"})
            || !readInt(o[u"width"], sub(at, "width"), &mode.width, fault)
            || !readInt(o[u"height"], sub(at, "height"), &mode.height, fault)
            || !readFloat(o[u"refreshRate"], sub(at, "refreshRate"), &mode.refreshRate, fault)
            || !readInt(o[u"flags"], sub(at, "flags"), &mode.flags, fault))
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
    for (qsizetype i = 0; i < array.size(); ++i) {
        const Path at = indexed(key, i);
        QJsonObject o;
        QString id;
        int w = 0, h = 0;
        float rate = 0;
        if (!readObject(array[i], at, {"id", "width", "height", "refreshRate"}, &o, fault)
            || !readString(o[u"id"], sub(at, "id"), &id, fault) || !readInt(o[u"width"], sub(at, "width"), &w, fault)
            || !readInt(o[u"height"], sub(at, "height"), &h, fault)
            || !readFloat(o[u"refreshRate"], sub(at, "refreshRate"), &rate, fault))
            return false;
        if (id.isEmpty()) {
            *fault = mustBe(sub(at, "id"), QStringLiteral("a non-empty string"), o[u"id"]);
            return false;
        }
        if (out->contains(id)) {
            *fault = quoted(key.text()) + " has the id " + quoted(id) + " twice";
            return false;
        }
        out->insert(id, ModePtr::create(id, QSize(w, h), rate));
    }
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
        if (!readWord(array[i], indexed(key, i), capabilityWords, &capability, fault))
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

enum class Key {
    Id, Name, Uuid, Type, Enabled, Connected, Priority, Pos, Modes, CurrentModeId, PreferredModeId, Size, Scale,
    Rotation, ExplicitLogicalSize, Capabilities, HdrEnabled, WcgEnabled, AutomaticBrightness, DdcCiAllowed,
    SdrBrightness, SdrGamutWideness, Brightness, Dimming, Sharpness, MaxPeakBrightness, MaxAverageBrightness,
    MinBrightness, MaxPeakBrightnessOverride, MaxAverageBrightnessOverride, MinBrightnessOverride, IccProfilePath,
    HdrIccProfilePath, ColorProfileSource, HdrColorProfileSource, ColorPowerPreference, RgbRange, VrrPolicy,
    AutoRotatePolicy, EdrPolicy, Overscan, AbmLevel, MaxBitsPerColor, AutomaticMaxBitsPerColorLimit,
    BitsPerColorRange, ReplicationSource, CustomModes, Dpms,
};

const QHash<QString, Key> &keys()
{
    static const QHash<QString, Key> table = {
        {u"id"_qs, Key::Id},
        {u"name"_qs, Key::Name},
        {u"uuid"_qs, Key::Uuid},
        {u"type"_qs, Key::Type},
        {u"enabled"_qs, Key::Enabled},
        {u"connected"_qs, Key::Connected},
        {u"priority"_qs, Key::Priority},
        {u"pos"_qs, Key::Pos},
        {u"modes"_qs, Key::Modes},
        {u"currentModeId"_qs, Key::CurrentModeId},
        {u"preferredModeId"_qs, Key::PreferredModeId},
        {u"size"_qs, Key::Size},
        {u"scale"_qs, Key::Scale},
        {u"rotation"_qs, Key::Rotation},
        {u"explicitLogicalSize"_qs, Key::ExplicitLogicalSize},
        {u"capabilities"_qs, Key::Capabilities},
        {u"hdrEnabled"_qs, Key::HdrEnabled},
        {u"wcgEnabled"_qs, Key::WcgEnabled},
        {u"automaticBrightness"_qs, Key::AutomaticBrightness},
        {u"ddcCiAllowed"_qs, Key::DdcCiAllowed},
        {u"sdrBrightness"_qs, Key::SdrBrightness},
        {u"sdrGamutWideness"_qs, Key::SdrGamutWideness},
        {u"brightness"_qs, Key::Brightness},
        {u"dimming"_qs, Key::Dimming},
        {u"sharpness"_qs, Key::Sharpness},
        {u"maxPeakBrightness"_qs, Key::MaxPeakBrightness},
        {u"maxAverageBrightness"_qs, Key::MaxAverageBrightness},
        {u"minBrightness"_qs, Key::MinBrightness},
        {u"maxPeakBrightnessOverride"_qs, Key::MaxPeakBrightnessOverride},
        {u"maxAverageBrightnessOverride"_qs, Key::MaxAverageBrightnessOverride},
        {u"minBrightnessOverride"_qs, Key::MinBrightnessOverride},
        {u"iccProfilePath"_qs, Key::IccProfilePath},
        {u"hdrIccProfilePath"_qs, Key::HdrIccProfilePath},
        {u"colorProfileSource"_qs, Key::ColorProfileSource},
        {u"hdrColorProfileSource"_qs, Key::HdrColorProfileSource},
        {u"colorPowerPreference"_qs, Key::ColorPowerPreference},
        {u"rgbRange"_qs, Key::RgbRange},
        {u"vrrPolicy"_qs, Key::VrrPolicy},
        {u"autoRotatePolicy"_qs, Key::AutoRotatePolicy},
        {u"edrPolicy"_qs, Key::EdrPolicy},
        {u"overscan"_qs, Key::Overscan},
        {u"abmLevel"_qs, Key::AbmLevel},
        {u"maxBitsPerColor"_qs, Key::MaxBitsPerColor},
        {u"automaticMaxBitsPerColorLimit"_qs, Key::AutomaticMaxBitsPerColorLimit},
        {u"bitsPerColorRange"_qs, Key::BitsPerColorRange},
        {u"replicationSource"_qs, Key::ReplicationSource},
        {u"customModes"_qs, Key::CustomModes},
        {u"dpms"_qs, Key::Dpms},
    };
    return table;
}

bool readValue(Key key, const Path &name, const QJsonValue &v, Data &d, QString *fault)
{
    switch (key) {
    case Key::Id:
    case Key::Name:
        return true; // read first, by readOutput
    case Key::Uuid:
        return readString(v, name, &d.uuid, fault);
    case Key::Type:
        return readWord(v, name, typeWords, &d.type, fault);
    case Key::Enabled:
        return readBool(v, name, &d.enabled, fault);
    case Key::Connected:
        return readBool(v, name, &d.connected, fault);
    case Key::Priority:
        return readInt(v, name, &d.priority, fault);
    case Key::Pos: {
        QJsonObject o;
        int x = 0, y = 0;
        if (!readObject(v, name, {"x", "y"}, &o, fault) || !readInt(o[u"x"], sub(name, "x"), &x, fault)
            || !readInt(o[u"y"], sub(name, "y"), &y, fault))
            return false;
        d.pos = QPoint(x, y);
        return true;
    }
    case Key::Modes:
        return readModes(v, name, &d.modes, fault);
    case Key::CurrentModeId:
        return readString(v, name, &d.currentModeId, fault);
    case Key::PreferredModeId:
        return readString(v, name, &d.preferredModeId, fault);
    case Key::Size: {
        QSize size;
        if (!readSize(v, name, &size, fault))
            return false;
        d.size = size;
        return true;
    }
    case Key::Scale:
        return readNumber(v, name, &d.scale, fault);
    case Key::Rotation:
        return readWord(v, name, rotationWords, &d.rotation, fault);
    case Key::ExplicitLogicalSize: {
        QJsonObject o;
        double w = 0, h = 0;
        if (!readObject(v, name, {"width", "height"}, &o, fault)
            || !readNumber(o[u"width"], sub(name, "width"), &w, fault)
            || !readNumber(o[u"height"], sub(name, "height"), &h, fault))
            return false;
        d.explicitLogicalSize = QSizeF(w, h);
        return true;
    }
    case Key::Capabilities:
        return readCapabilities(v, name, &d.capabilities, fault);
    case Key::HdrEnabled:
        return readBool(v, name, &d.hdrEnabled, fault);
    case Key::WcgEnabled:
        return readBool(v, name, &d.wcgEnabled, fault);
    case Key::AutomaticBrightness:
        return readBool(v, name, &d.automaticBrightness, fault);
    case Key::DdcCiAllowed:
        return readBool(v, name, &d.ddcCiAllowed, fault);
    case Key::SdrBrightness:
        return readInt(v, name, &d.sdrBrightness, fault);
    case Key::SdrGamutWideness:
        return readNumber(v, name, &d.sdrGamutWideness, fault);
    case Key::Brightness:
        return readNumber(v, name, &d.brightness, fault);
    case Key::Dimming:
        return readNumber(v, name, &d.dimming, fault);
    case Key::Sharpness:
        return readNumber(v, name, &d.sharpness, fault);
    case Key::MaxPeakBrightness:
        return readNumber(v, name, &d.maxPeakBrightness, fault);
    case Key::MaxAverageBrightness:
        return readNumber(v, name, &d.maxAverageBrightness, fault);
    case Key::MinBrightness:
        return readNumber(v, name, &d.minBrightness, fault);
    case Key::MaxPeakBrightnessOverride:
        return readOptionalNumber(v, name, &d.maxPeakBrightnessOverride, fault);
    case Key::MaxAverageBrightnessOverride:
        return readOptionalNumber(v, name, &d.maxAverageBrightnessOverride, fault);
    case Key::MinBrightnessOverride:
        return readOptionalNumber(v, name, &d.minBrightnessOverride, fault);
    case Key::IccProfilePath:
        return readString(v, name, &d.iccProfilePath, fault);
    case Key::HdrIccProfilePath:
        return readString(v, name, &d.hdrIccProfilePath, fault);
    case Key::ColorProfileSource:
        return readWord(v, name, sourceWords, &d.colorProfileSource, fault);
    case Key::HdrColorProfileSource:
        return readWord(v, name, sourceWords, &d.hdrColorProfileSource, fault);
    case Key::ColorPowerPreference:
        return readWord(v, name, tradeoffWords, &d.colorPowerPreference, fault);
    case Key::RgbRange:
        return readWord(v, name, rgbRangeWords, &d.rgbRange, fault);
    case Key::VrrPolicy:
        return readWord(v, name, vrrWords, &d.vrrPolicy, fault);
    case Key::AutoRotatePolicy:
        return readWord(v, name, autoRotateWords, &d.autoRotatePolicy, fault);
    case Key::EdrPolicy:
        return readWord(v, name, edrWords, &d.edrPolicy, fault);
    case Key::Overscan:
        return readInt(v, name, &d.overscan, fault);
    case Key::AbmLevel:
        return readInt(v, name, &d.abmLevel, fault);
    case Key::MaxBitsPerColor:
        return readInt(v, name, &d.maxBitsPerColor, fault);
    case Key::AutomaticMaxBitsPerColorLimit:
        return readInt(v, name, &d.automaticMaxBitsPerColorLimit, fault);
    case Key::BitsPerColorRange: {
        QJsonObject o;
        return readObject(v, name, {"min", "max"}, &o, fault)
            && readInt(o[u"min"], sub(name, "min"), &d.bitsPerColorRange.min, fault)
            && readInt(o[u"max"], sub(name, "max"), &d.bitsPerColorRange.max, fault);
    }
    case Key::ReplicationSource:
        return readInt(v, name, &d.replicationSource, fault, 0);
    case Key::CustomModes:
        return readCustomModes(v, name, &d.customModes, fault);
    case Key::Dpms:
        return readWord(v, name, dpmsWords, &d.dpms, fault);
    }
    return true;
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
    const QHash<QString, Key> &table = keys();
    for (auto it = o.constBegin(); it != o.constEnd(); ++it) {
        const auto key = table.constFind(it.key());
        if (key == table.constEnd()) {
            *fault = label + "unknown key " + quoted(it.key());
            return false;
        }
        const QString name = it.key();
        if (!readValue(*key, Path{nullptr, name, -1}, it.value(), *d, fault)) {
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
                where += (where.isEmpty() ? QString() : u"."_qs) + QString::fromUtf8(f.key.data(), f.key.size());
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
                *fault = (where.isEmpty() ? u"the document"_qs : quoted(where)) + " has the key "
                    + quoted(QString::fromUtf8(twice->data(), twice->size())) + " twice";
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
                const QJsonArray parsed = QJsonDocument::fromJson('[' + bytes.mid(start - 1, i - start + 2) + ']').array();
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

QString rateText(float rate)
{
    const QString fixed = QString::number(double(rate), 'f', 2);
    if (fixed.toFloat() == rate)
        return fixed;
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, rate);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

// FNV-1a over the timing fields, so that different timings of one size and
// rate get different ids.
uint32_t timingsHash(const ModeTimings &t)
{
    uint32_t hash = 2166136261u;
    for (const uint32_t v : {t.clock, uint32_t(t.hdisplay), uint32_t(t.hsyncStart), uint32_t(t.hsyncEnd),
                             uint32_t(t.htotal), uint32_t(t.hskew), uint32_t(t.vdisplay), uint32_t(t.vsyncStart),
                             uint32_t(t.vsyncEnd), uint32_t(t.vtotal), uint32_t(t.vscan), t.flags}) {
        for (int shift = 0; shift < 32; shift += 8) {
            hash ^= (v >> shift) & 0xff;
            hash *= 16777619u;
        }
    }
    return hash;
}

// Equal custom modes (as ModeInfo's == has it) hash alike; the rate is
// checked finite and above 0 first, so its bits tell equal rates apart.
struct CustomModeHash {
    size_t operator()(const ModeInfo &mode) const
    {
        size_t hash = qHashMulti(0, mode.width, mode.height, std::bit_cast<uint32_t>(mode.refreshRate), mode.flags,
                                 mode.timings.has_value());
        if (const std::optional<ModeTimings> &t = mode.timings)
            hash = qHashMulti(hash, t->clock, t->hdisplay, t->hsyncStart, t->hsyncEnd, t->htotal, t->hskew,
                              t->vdisplay, t->vsyncStart, t->vsyncEnd, t->vtotal, t->vscan, t->flags);
        return hash;
    }
};

QString sizeText(double width, double height)
{
    return number(width) + u'x' + number(height);
}

// Reports and layouts work in int: the logical size, the explicit one and the
// edges they give must fit it, whatever the scale makes of the pixel size.
bool checkExtent(const Data &d, QSize pixels, QString *fault)
{
    Data sized = d;
    sized.size = pixels;
    const Output output(std::move(sized));
    const QSizeF logical = exactLogicalSize(output);
    if (!fitsInt(logical.width()) || !fitsInt(logical.height())) {
        *fault = u"the logical size "_qs + sizeText(logical.width(), logical.height()) + " (the size "
            + sizeText(pixels.width(), pixels.height()) + " at the scale " + number(d.scale)
            + ") does not fit 32-bit integers";
        return false;
    }
    const QSizeF extent = exactExplicitLogicalSize(output);
    if (!fitsInt(extent.width()) || !fitsInt(extent.height())) {
        *fault = u"\"explicitLogicalSize\" "_qs + sizeText(extent.width(), extent.height())
            + " does not fit 32-bit integers";
        return false;
    }
    // A rectangle keeps its last column and row too: x + width - 1 as well.
    const auto fits = [](int at, double length) {
        const qint64 end = qint64(at) + qint64(length);
        return fitsInt(double(end)) && fitsInt(double(end - 1));
    };
    if (!fits(d.pos.x(), extent.width()) || !fits(d.pos.y(), extent.height())) {
        *fault = u"\"pos\" "_qs + QString::number(d.pos.x()) + u',' + QString::number(d.pos.y())
            + " with the logical size " + sizeText(extent.width(), extent.height())
            + " puts an edge outside 32-bit integers";
        return false;
    }
    return true;
}

bool isFraction(double value)
{
    return value >= 0 && value <= 1;
}

template <typename E, size_t N>
bool checkWord(const Word<E> (&words)[N], E value, const char *key, QString *fault)
{
    if (wordOf(words, value))
        return true;
    *fault = quoted(QLatin1StringView(key)) + " must be one of " + wordList(words) + ", not "
        + QString::number(static_cast<uint32_t>(value));
    return false;
}

bool checkOutput(const Data &d, const QSet<int> &ids, QString *fault)
{
    const auto range = [fault](const QString &key, const QString &what, double value) {
        *fault = quoted(key) + " must be " + what + ", not " + number(value);
        return false;
    };
    if (!(d.scale > 0) || !std::isfinite(d.scale))
        return range(u"scale"_qs, u"greater than 0"_qs, d.scale);
    const std::pair<const char *, double> fractions[] = {
        {"sdrGamutWideness", d.sdrGamutWideness}, {"brightness", d.brightness},
        {"dimming", d.dimming}, {"sharpness", d.sharpness}};
    for (const auto &[key, value] : fractions) {
        if (!isFraction(value))
            return range(QLatin1StringView(key), u"from 0 to 1"_qs, value);
    }
    const std::pair<const char *, double> luminances[] = {{"maxPeakBrightness", d.maxPeakBrightness},
                                                          {"maxAverageBrightness", d.maxAverageBrightness},
                                                          {"minBrightness", d.minBrightness}};
    for (const auto &[key, value] : luminances) {
        if (!(value >= 0) || !std::isfinite(value))
            return range(QLatin1StringView(key), u"at least 0"_qs, value);
    }
    const std::pair<const char *, std::optional<double>> overrides[] = {
        {"maxPeakBrightnessOverride", d.maxPeakBrightnessOverride},
        {"maxAverageBrightnessOverride", d.maxAverageBrightnessOverride},
        {"minBrightnessOverride", d.minBrightnessOverride}};
    for (const auto &[key, value] : overrides) {
        if (value && (!(*value >= 0) || !std::isfinite(*value)))
            return range(QLatin1StringView(key), u"at least 0"_qs, *value);
    }
    if (d.size && (d.size->width() < 1 || d.size->height() < 1))
        return range(d.size->width() < 1 ? u"size.width"_qs : u"size.height"_qs, u"at least 1"_qs,
                     d.size->width() < 1 ? d.size->width() : d.size->height());
    if (d.explicitLogicalSize) {
        const QSizeF &s = *d.explicitLogicalSize;
        if (!(s.width() > 0) || !std::isfinite(s.width()))
            return range(u"explicitLogicalSize.width"_qs, u"greater than 0"_qs, s.width());
        if (!(s.height() > 0) || !std::isfinite(s.height()))
            return range(u"explicitLogicalSize.height"_qs, u"greater than 0"_qs, s.height());
    }
    for (const ModePtr &mode : d.modes) {
        const auto modeRange = [&](const char *key, const QString &what, double value) {
            range(QLatin1StringView(key), what, value);
            fault->prepend(u"mode "_qs + quoted(mode->id()) + ": ");
            return false;
        };
        if (mode->size().width() < 1)
            return modeRange("width", u"at least 1"_qs, mode->size().width());
        if (mode->size().height() < 1)
            return modeRange("height", u"at least 1"_qs, mode->size().height());
        if (!(mode->refreshRate() > 0) || !std::isfinite(mode->refreshRate()))
            return modeRange("refreshRate", u"greater than 0"_qs, mode->refreshRate());
    }
    // A service holds a custom mode once; a hash keeps the check linear in
    // a list of any length.
    std::unordered_map<ModeInfo, qsizetype, CustomModeHash> seen;
    seen.reserve(size_t(d.customModes.size()));
    const Path customModes{nullptr, u"customModes", -1};
    for (qsizetype i = 0; i < d.customModes.size(); ++i) {
        const ModeInfo &mode = d.customModes[i];
        const Path at = indexed(customModes, i);
        if (mode.width < 1)
            return range(sub(at, "width").text(), u"at least 1"_qs, mode.width);
        if (mode.height < 1)
            return range(sub(at, "height").text(), u"at least 1"_qs, mode.height);
        if (!(mode.refreshRate > 0) || !std::isfinite(mode.refreshRate))
            return range(sub(at, "refreshRate").text(), u"greater than 0"_qs, mode.refreshRate);
        if (const auto [first, added] = seen.emplace(mode, i); !added) {
            *fault = quoted(at.text()) + " is the same as " + quoted(indexed(customModes, first->second).text());
            return false;
        }
    }
    if (!checkWord(typeWords, d.type, "type", fault) || !checkWord(rotationWords, d.rotation, "rotation", fault)
        || !checkWord(sourceWords, d.colorProfileSource, "colorProfileSource", fault)
        || !checkWord(sourceWords, d.hdrColorProfileSource, "hdrColorProfileSource", fault)
        || !checkWord(tradeoffWords, d.colorPowerPreference, "colorPowerPreference", fault)
        || !checkWord(rgbRangeWords, d.rgbRange, "rgbRange", fault)
        || !checkWord(vrrWords, d.vrrPolicy, "vrrPolicy", fault)
        || !checkWord(autoRotateWords, d.autoRotatePolicy, "autoRotatePolicy", fault)
        || !checkWord(edrWords, d.edrPolicy, "edrPolicy", fault) || !checkWord(dpmsWords, d.dpms, "dpms", fault))
        return false;
    Output::Capabilities known;
    for (const auto &w : capabilityWords)
        known |= w.value;
    if (d.capabilities & ~known) {
        *fault = u"\"capabilities\" holds unknown bits 0x"_qs
            + QString::number(uint32_t(d.capabilities & ~known), 16);
        return false;
    }
    QSize current(0, 0);
    if (!d.currentModeId.isEmpty()) {
        if (const ModePtr mode = d.modes.value(d.currentModeId)) {
            current = mode->size();
        } else {
            const qsizetype custom = customModeIds(d.modes, d.customModes).indexOf(d.currentModeId);
            if (custom < 0) {
                *fault = u"\"currentModeId\" "_qs + quoted(d.currentModeId) + " is not one of the output's modes";
                return false;
            }
            current = QSize(d.customModes[custom].width, d.customModes[custom].height);
        }
    }
    if (!d.preferredModeId.isEmpty() && !d.modes.contains(d.preferredModeId)) {
        *fault = u"\"preferredModeId\" "_qs + quoted(d.preferredModeId) + " is not one of the output's modes";
        return false;
    }
    if (d.replicationSource == d.id) {
        *fault = QStringLiteral("\"replicationSource\" names the output itself");
        return false;
    }
    if (d.replicationSource != 0 && !ids.contains(d.replicationSource)) {
        *fault = u"\"replicationSource\" "_qs + QString::number(d.replicationSource) + " is no existing output";
        return false;
    }
    return checkExtent(d, d.size.value_or(current), fault);
}

// Writing ---------------------------------------------------------------

void appendString(QByteArray &out, const QString &text)
{
    out += '"';
    const QByteArray utf8 = text.toUtf8();
    for (const char c : utf8) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned char>(c));
                out += escape;
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

template <typename T>
void appendNumber(QByteArray &out, T value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    const std::string_view text(buffer, result.ptr - buffer);
    out.append(text.data(), text.size());
    if constexpr (std::is_floating_point_v<T>) {
        if (text.find_first_of(".e") == std::string_view::npos)
            out += ".0";
    }
}

// One output object's members, each on its own line.
class ObjectWriter {
public:
    ObjectWriter(QByteArray &out, int indent) : m_out(out), m_indent(indent) {}

    QByteArray &key(const char *name)
    {
        m_out += m_first ? "\n" : ",\n";
        m_first = false;
        m_out.append(m_indent, ' ');
        m_out += '"';
        m_out += name;
        m_out += "\": ";
        return m_out;
    }

private:
    QByteArray &m_out;
    int m_indent;
    bool m_first = true;
};

void appendCustomMode(QByteArray &out, const ModeInfo &mode)
{
    out += "{ \"width\": ";
    appendNumber(out, mode.width);
    out += ", \"height\": ";
    appendNumber(out, mode.height);
    out += ", \"refreshRate\": ";
    appendNumber(out, mode.refreshRate);
    out += ", \"flags\": ";
    appendNumber(out, mode.flags);
    if (const auto &t = mode.timings) {
        const std::pair<const char *, uint32_t> fields[] = {
            {"clock", t->clock},       {"hdisplay", t->hdisplay}, {"hsyncStart", t->hsyncStart},
            {"hsyncEnd", t->hsyncEnd}, {"htotal", t->htotal},     {"hskew", t->hskew},
            {"vdisplay", t->vdisplay}, {"vsyncStart", t->vsyncStart}, {"vsyncEnd", t->vsyncEnd},
            {"vtotal", t->vtotal},     {"vscan", t->vscan},       {"flags", t->flags}};
        out += ", \"timings\": {";
        bool first = true;
        for (const auto &[name, value] : fields) {
            out += first ? " \"" : ", \"";
            first = false;
            out += name;
            out += "\": ";
            appendNumber(out, value);
        }
        out += " }";
    }
    out += " }";
}

void appendOutput(QByteArray &out, const Data &d)
{
    static const Data defaults;
    constexpr int indent = 12;
    ObjectWriter w(out, indent);
    appendNumber(w.key("id"), d.id);
    appendString(w.key("name"), d.name);
    if (!d.uuid.isEmpty())
        appendString(w.key("uuid"), d.uuid);
    if (d.type != defaults.type)
        appendString(w.key("type"), QLatin1StringView(wordOf(typeWords, d.type)));
    if (d.enabled != defaults.enabled)
        w.key("enabled") += d.enabled ? "true" : "false";
    if (d.connected != defaults.connected)
        w.key("connected") += d.connected ? "true" : "false";
    if (d.priority != defaults.priority)
        appendNumber(w.key("priority"), d.priority);
    if (d.pos != defaults.pos) {
        QByteArray &o = w.key("pos");
        o += "{ \"x\": ";
        appendNumber(o, d.pos.x());
        o += ", \"y\": ";
        appendNumber(o, d.pos.y());
        o += " }";
    }
    if (!d.modes.isEmpty()) {
        QByteArray &o = w.key("modes");
        o += '[';
        bool first = true;
        for (const ModePtr &mode : d.modes) {
            o += first ? "\n" : ",\n";
            first = false;
            o.append(indent + 4, ' ');
            o += "{ \"id\": ";
            appendString(o, mode->id());
            o += ", \"width\": ";
            appendNumber(o, mode->size().width());
            o += ", \"height\": ";
            appendNumber(o, mode->size().height());
            o += ", \"refreshRate\": ";
            appendNumber(o, mode->refreshRate());
            o += " }";
        }
        o += '\n';
        o.append(indent, ' ');
        o += ']';
    }
    if (!d.currentModeId.isEmpty())
        appendString(w.key("currentModeId"), d.currentModeId);
    if (!d.preferredModeId.isEmpty())
        appendString(w.key("preferredModeId"), d.preferredModeId);
    if (d.size) {
        // The default is the current mode's size; a size equal to it follows the mode.
        QSize modeSize;
        if (const ModePtr mode = d.modes.value(d.currentModeId))
            modeSize = mode->size();
        else {
            const QStringList ids = customModeIds(d.modes, d.customModes);
            const qsizetype index = ids.indexOf(d.currentModeId);
            if (index >= 0)
                modeSize = QSize(d.customModes[index].width, d.customModes[index].height);
        }
        if (*d.size != modeSize) {
            QByteArray &o = w.key("size");
            o += "{ \"width\": ";
            appendNumber(o, d.size->width());
            o += ", \"height\": ";
            appendNumber(o, d.size->height());
            o += " }";
        }
    }
    if (d.scale != defaults.scale)
        appendNumber(w.key("scale"), d.scale);
    if (d.rotation != defaults.rotation)
        appendString(w.key("rotation"), QLatin1StringView(wordOf(rotationWords, d.rotation)));
    if (d.explicitLogicalSize) {
        QByteArray &o = w.key("explicitLogicalSize");
        o += "{ \"width\": ";
        appendNumber(o, d.explicitLogicalSize->width());
        o += ", \"height\": ";
        appendNumber(o, d.explicitLogicalSize->height());
        o += " }";
    }
    if (d.capabilities) {
        QByteArray &o = w.key("capabilities");
        o += '[';
        bool first = true;
        for (const auto &c : capabilityWords) {
            if (!d.capabilities.testFlag(c.value))
                continue;
            o += first ? " \"" : ", \"";
            first = false;
            o += c.word;
            o += '"';
        }
        o += " ]";
    }
    const auto flag = [&](const char *key, bool value, bool fallback) {
        if (value != fallback)
            w.key(key) += value ? "true" : "false";
    };
    const auto real = [&](const char *key, double value, double fallback) {
        if (value != fallback)
            appendNumber(w.key(key), value);
    };
    const auto optional = [&](const char *key, const std::optional<double> &value) {
        if (value)
            appendNumber(w.key(key), *value);
    };
    const auto unsignedInt = [&](const char *key, uint32_t value, uint32_t fallback) {
        if (value != fallback)
            appendNumber(w.key(key), value);
    };
    const auto text = [&](const char *key, const QString &value) {
        if (!value.isEmpty())
            appendString(w.key(key), value);
    };
    const auto word = [&](const char *key, const auto &words, auto value, auto fallback) {
        if (value != fallback)
            appendString(w.key(key), QLatin1StringView(wordOf(words, value)));
    };
    flag("hdrEnabled", d.hdrEnabled, defaults.hdrEnabled);
    flag("wcgEnabled", d.wcgEnabled, defaults.wcgEnabled);
    flag("automaticBrightness", d.automaticBrightness, defaults.automaticBrightness);
    flag("ddcCiAllowed", d.ddcCiAllowed, defaults.ddcCiAllowed);
    unsignedInt("sdrBrightness", d.sdrBrightness, defaults.sdrBrightness);
    real("sdrGamutWideness", d.sdrGamutWideness, defaults.sdrGamutWideness);
    real("brightness", d.brightness, defaults.brightness);
    real("dimming", d.dimming, defaults.dimming);
    real("sharpness", d.sharpness, defaults.sharpness);
    real("maxPeakBrightness", d.maxPeakBrightness, defaults.maxPeakBrightness);
    real("maxAverageBrightness", d.maxAverageBrightness, defaults.maxAverageBrightness);
    real("minBrightness", d.minBrightness, defaults.minBrightness);
    optional("maxPeakBrightnessOverride", d.maxPeakBrightnessOverride);
    optional("maxAverageBrightnessOverride", d.maxAverageBrightnessOverride);
    optional("minBrightnessOverride", d.minBrightnessOverride);
    text("iccProfilePath", d.iccProfilePath);
    text("hdrIccProfilePath", d.hdrIccProfilePath);
    word("colorProfileSource", sourceWords, d.colorProfileSource, defaults.colorProfileSource);
    word("hdrColorProfileSource", sourceWords, d.hdrColorProfileSource, defaults.hdrColorProfileSource);
    word("colorPowerPreference", tradeoffWords, d.colorPowerPreference, defaults.colorPowerPreference);
    word("rgbRange", rgbRangeWords, d.rgbRange, defaults.rgbRange);
    word("vrrPolicy", vrrWords, d.vrrPolicy, defaults.vrrPolicy);
    word("autoRotatePolicy", autoRotateWords, d.autoRotatePolicy, defaults.autoRotatePolicy);
    word("edrPolicy", edrWords, d.edrPolicy, defaults.edrPolicy);
    unsignedInt("overscan", d.overscan, defaults.overscan);
    unsignedInt("abmLevel", d.abmLevel, defaults.abmLevel);
    unsignedInt("maxBitsPerColor", d.maxBitsPerColor, defaults.maxBitsPerColor);
    unsignedInt("automaticMaxBitsPerColorLimit", d.automaticMaxBitsPerColorLimit,
                defaults.automaticMaxBitsPerColorLimit);
    if (d.bitsPerColorRange != defaults.bitsPerColorRange) {
        QByteArray &o = w.key("bitsPerColorRange");
        o += "{ \"min\": ";
        appendNumber(o, d.bitsPerColorRange.min);
        o += ", \"max\": ";
        appendNumber(o, d.bitsPerColorRange.max);
        o += " }";
    }
    if (d.replicationSource != defaults.replicationSource)
        appendNumber(w.key("replicationSource"), d.replicationSource);
    if (!d.customModes.isEmpty()) {
        QByteArray &o = w.key("customModes");
        o += '[';
        bool first = true;
        for (const ModeInfo &mode : d.customModes) {
            o += first ? "\n" : ",\n";
            first = false;
            o.append(indent + 4, ' ');
            appendCustomMode(o, mode);
        }
        o += '\n';
        o.append(indent, ' ');
        o += ']';
    }
    word("dpms", dpmsWords, d.dpms, defaults.dpms);
}

} // namespace

// The usual document, read straight into outputs without QJsonDocument. It
// takes only plain forms (ASCII strings without escapes, no timings, no
// "-0") and gives up on anything else or anything wrong: the full reader then
// reads the document again and says what is wrong in its own words.
namespace {

class FastReader {
public:
    explicit FastReader(const QByteArray &bytes) : m_p(bytes.constData()), m_end(bytes.constData() + bytes.size()) {}

    bool document(Outputs *outputs);

private:
    void space()
    {
        while (m_p < m_end && (*m_p == ' ' || *m_p == '\n' || *m_p == '\r' || *m_p == '\t'))
            ++m_p;
    }
    bool take(char c)
    {
        space();
        if (m_p < m_end && *m_p == c) {
            ++m_p;
            return true;
        }
        return false;
    }
    bool literal(std::string_view word)
    {
        space();
        if (static_cast<size_t>(m_end - m_p) < word.size() || std::string_view(m_p, word.size()) != word)
            return false;
        m_p += word.size();
        return true;
    }

    // Members in any order, each once: onMember(key) reads the value.
    template <typename F>
    bool object(F &&onMember)
    {
        if (!take('{'))
            return false;
        if (take('}'))
            return true;
        do {
            std::string_view key;
            if (!string(&key) || !take(':') || !onMember(key))
                return false;
        } while (take(','));
        return take('}');
    }
    template <typename F>
    bool array(F &&onElement)
    {
        if (!take('['))
            return false;
        if (take(']'))
            return true;
        do {
            if (!onElement())
                return false;
        } while (take(','));
        return take(']');
    }

    bool string(std::string_view *out)
    {
        if (!take('"'))
            return false;
        const char *start = m_p;
        while (m_p < m_end) {
            const unsigned char c = static_cast<unsigned char>(*m_p);
            if (c == '"') {
                *out = std::string_view(start, static_cast<size_t>(m_p - start));
                ++m_p;
                return true;
            }
            if (c < 0x20 || c > 0x7e || c == '\\')
                return false;
            ++m_p;
        }
        return false;
    }
    bool string(QString *out)
    {
        std::string_view text;
        if (!string(&text))
            return false;
        *out = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
        return true;
    }

    bool number(double *out)
    {
        space();
        const char *start = m_p;
        const bool negative = m_p < m_end && *m_p == '-';
        if (negative)
            ++m_p;
        const char *digits = m_p;
        if (m_p < m_end && *m_p == '0') {
            ++m_p;
        } else {
            if (m_p == m_end || *m_p < '1' || *m_p > '9')
                return false;
            while (m_p < m_end && *m_p >= '0' && *m_p <= '9')
                ++m_p;
        }
        const char *integral = m_p;
        bool plain = true;
        if (m_p < m_end && *m_p == '.') {
            plain = false;
            ++m_p;
            const char *fraction = m_p;
            while (m_p < m_end && *m_p >= '0' && *m_p <= '9')
                ++m_p;
            if (m_p == fraction)
                return false;
        }
        if (m_p < m_end && (*m_p == 'e' || *m_p == 'E')) {
            plain = false;
            ++m_p;
            if (m_p < m_end && (*m_p == '+' || *m_p == '-'))
                ++m_p;
            const char *exponent = m_p;
            while (m_p < m_end && *m_p >= '0' && *m_p <= '9')
                ++m_p;
            if (m_p == exponent)
                return false;
        }
        if (plain && integral - digits <= 15) {
            int64_t value = 0;
            for (const char *d = digits; d < integral; ++d)
                value = value * 10 + (*d - '0');
            if (negative && value == 0)
                return false;
            *out = static_cast<double>(negative ? -value : value);
            return true;
        }
        if (plain)
            return false;
        // A short decimal fraction: both parts exact as doubles, so the one
        // division rounds correctly, as a full conversion would.
        if (m_p - digits - 1 <= 15 && *integral == '.' && (*(m_p - 1) >= '0' && *(m_p - 1) <= '9')) {
            int64_t mantissa = 0;
            int scale = 0;
            bool exponent = false;
            for (const char *d = digits; d < m_p; ++d) {
                if (*d == '.')
                    continue;
                if (*d < '0' || *d > '9') {
                    exponent = true;
                    break;
                }
                mantissa = mantissa * 10 + (*d - '0');
                if (d > integral)
                    ++scale;
            }
            if (!exponent && mantissa != 0) {
                static constexpr double powers[] = {1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8,
                                                    1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
                const double value = static_cast<double>(mantissa) / powers[scale];
                *out = negative ? -value : value;
                return true;
            }
        }
        double value = 0;
        const auto result = std::from_chars(start, m_p, value);
        if (result.ec != std::errc() || result.ptr != m_p || !std::isfinite(value) || value == 0)
            return false;
        *out = value;
        return true;
    }

    template <typename T>
    bool integer(T *out, int64_t min = std::numeric_limits<T>::min())
    {
        double d = 0;
        if (!number(&d) || d != std::trunc(d) || d < double(min) || d > double(std::numeric_limits<T>::max()))
            return false;
        *out = static_cast<T>(d);
        return true;
    }
    bool rate(float *out)
    {
        double d = 0;
        if (!number(&d) || std::fabs(d) > double(std::numeric_limits<float>::max()))
            return false;
        *out = static_cast<float>(d);
        return true;
    }
    bool optionalNumber(std::optional<double> *out)
    {
        if (literal("null")) {
            out->reset();
            return true;
        }
        double d = 0;
        if (!number(&d))
            return false;
        *out = d;
        return true;
    }
    bool boolean(bool *out)
    {
        if (literal("true")) {
            *out = true;
            return true;
        }
        if (literal("false")) {
            *out = false;
            return true;
        }
        return false;
    }
    template <typename E, size_t N>
    bool word(const Word<E> (&words)[N], E *out)
    {
        std::string_view text;
        if (!string(&text))
            return false;
        for (const Word<E> &w : words) {
            if (text == w.word) {
                *out = w.value;
                return true;
            }
        }
        return false;
    }

    // An object of exactly the named members, each read by read(index).
    template <size_t N, typename F>
    bool fixed(const std::array<std::string_view, N> &names, F &&read)
    {
        uint32_t seen = 0;
        const bool ok = object([&](std::string_view key) {
            for (size_t i = 0; i < N; ++i) {
                if (key == names[i]) {
                    if (seen & (1u << i))
                        return false;
                    seen |= 1u << i;
                    return read(i);
                }
            }
            return false;
        });
        return ok && seen == (1u << N) - 1;
    }

    bool modes(ModeList *out);
    bool customModes(QList<ModeInfo> *out);
    bool capabilities(Output::Capabilities *out);
    bool value(Key key, Data &d);
    bool output(Data *d);

    const char *m_p;
    const char *m_end;
};

bool FastReader::modes(ModeList *out)
{
    return array([&] {
        QString id;
        int w = 0, h = 0;
        float refresh = 0;
        static constexpr std::array<std::string_view, 4> names{"id", "width", "height", "refreshRate"};
        if (!fixed(names, [&](size_t i) {
                switch (i) {
                case 0: return string(&id);
                case 1: return integer(&w);
                case 2: return integer(&h);
                default: return rate(&refresh);
                }
            }))
            return false;
        if (id.isEmpty())
            return false;
        // A repeated id replaces the first: the size tells, in one look-up.
        const qsizetype before = out->size();
        out->insert(id, ModePtr::create(id, QSize(w, h), refresh));
        return out->size() != before;
    });
}

bool FastReader::customModes(QList<ModeInfo> *out)
{
    return array([&] {
        ModeInfo mode;
        static constexpr std::array<std::string_view, 4> names{"width", "height", "refreshRate", "flags"};
        if (!fixed(names, [&](size_t i) {
                switch (i) {
                case 0: return integer(&mode.width);
                case 1: return integer(&mode.height);
                case 2: return rate(&mode.refreshRate);
                default: return integer(&mode.flags);
                }
            }))
            return false;
        out->append(mode);
        return true;
    });
}

bool FastReader::capabilities(Output::Capabilities *out)
{
    return array([&] {
        Output::Capability capability{};
        if (!word(capabilityWords, &capability) || out->testFlag(capability))
            return false;
        *out |= capability;
        return true;
    });
}

bool FastReader::value(Key key, Data &d)
{
    static constexpr std::array<std::string_view, 2> xy{"x", "y"};
    static constexpr std::array<std::string_view, 2> size{"width", "height"};
    switch (key) {
    case Key::Id:
        return integer(&d.id, 1);
    case Key::Name:
        return string(&d.name) && !d.name.isEmpty();
    case Key::Uuid:
        return string(&d.uuid);
    case Key::Type:
        return word(typeWords, &d.type);
    case Key::Enabled:
        return boolean(&d.enabled);
    case Key::Connected:
        return boolean(&d.connected);
    case Key::Priority:
        return integer(&d.priority);
    case Key::Pos: {
        int x = 0, y = 0;
        if (!fixed(xy, [&](size_t i) { return i == 0 ? integer(&x) : integer(&y); }))
            return false;
        d.pos = QPoint(x, y);
        return true;
    }
    case Key::Modes:
        return modes(&d.modes);
    case Key::CurrentModeId:
        return string(&d.currentModeId);
    case Key::PreferredModeId:
        return string(&d.preferredModeId);
    case Key::Size: {
        int w = 0, h = 0;
        if (!fixed(size, [&](size_t i) { return i == 0 ? integer(&w) : integer(&h); }))
            return false;
        d.size = QSize(w, h);
        return true;
    }
    case Key::Scale:
        return number(&d.scale);
    case Key::Rotation:
        return word(rotationWords, &d.rotation);
    case Key::ExplicitLogicalSize: {
        double w = 0, h = 0;
        if (!fixed(size, [&](size_t i) { return number(i == 0 ? &w : &h); }))
            return false;
        d.explicitLogicalSize = QSizeF(w, h);
        return true;
    }
    case Key::Capabilities:
        return capabilities(&d.capabilities);
    case Key::HdrEnabled:
        return boolean(&d.hdrEnabled);
    case Key::WcgEnabled:
        return boolean(&d.wcgEnabled);
    case Key::AutomaticBrightness:
        return boolean(&d.automaticBrightness);
    case Key::DdcCiAllowed:
        return boolean(&d.ddcCiAllowed);
    case Key::SdrBrightness:
        return integer(&d.sdrBrightness);
    case Key::SdrGamutWideness:
        return number(&d.sdrGamutWideness);
    case Key::Brightness:
        return number(&d.brightness);
    case Key::Dimming:
        return number(&d.dimming);
    case Key::Sharpness:
        return number(&d.sharpness);
    case Key::MaxPeakBrightness:
        return number(&d.maxPeakBrightness);
    case Key::MaxAverageBrightness:
        return number(&d.maxAverageBrightness);
    case Key::MinBrightness:
        return number(&d.minBrightness);
    case Key::MaxPeakBrightnessOverride:
        return optionalNumber(&d.maxPeakBrightnessOverride);
    case Key::MaxAverageBrightnessOverride:
        return optionalNumber(&d.maxAverageBrightnessOverride);
    case Key::MinBrightnessOverride:
        return optionalNumber(&d.minBrightnessOverride);
    case Key::IccProfilePath:
        return string(&d.iccProfilePath);
    case Key::HdrIccProfilePath:
        return string(&d.hdrIccProfilePath);
    case Key::ColorProfileSource:
        return word(sourceWords, &d.colorProfileSource);
    case Key::HdrColorProfileSource:
        return word(sourceWords, &d.hdrColorProfileSource);
    case Key::ColorPowerPreference:
        return word(tradeoffWords, &d.colorPowerPreference);
    case Key::RgbRange:
        return word(rgbRangeWords, &d.rgbRange);
    case Key::VrrPolicy:
        return word(vrrWords, &d.vrrPolicy);
    case Key::AutoRotatePolicy:
        return word(autoRotateWords, &d.autoRotatePolicy);
    case Key::EdrPolicy:
        return word(edrWords, &d.edrPolicy);
    case Key::Overscan:
        return integer(&d.overscan);
    case Key::AbmLevel:
        return integer(&d.abmLevel);
    case Key::MaxBitsPerColor:
        return integer(&d.maxBitsPerColor);
    case Key::AutomaticMaxBitsPerColorLimit:
        return integer(&d.automaticMaxBitsPerColorLimit);
    case Key::BitsPerColorRange: {
        static constexpr std::array<std::string_view, 2> range{"min", "max"};
        return fixed(range, [&](size_t i) {
            return integer(i == 0 ? &d.bitsPerColorRange.min : &d.bitsPerColorRange.max);
        });
    }
    case Key::ReplicationSource:
        return integer(&d.replicationSource, 0);
    case Key::CustomModes:
        return customModes(&d.customModes);
    case Key::Dpms:
        return word(dpmsWords, &d.dpms);
    }
    return false;
}

bool FastReader::output(Data *d)
{
    const QHash<QString, Key> &table = keys();
    uint64_t seen = 0;
    if (!object([&](std::string_view name) {
            const auto key = table.constFind(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
            if (key == table.constEnd())
                return false;
            const uint64_t bit = uint64_t{1} << static_cast<int>(*key);
            if (seen & bit)
                return false;
            seen |= bit;
            return value(*key, *d);
        }))
        return false;
    const uint64_t required = (uint64_t{1} << static_cast<int>(Key::Id)) | (uint64_t{1} << static_cast<int>(Key::Name));
    return (seen & required) == required;
}

bool FastReader::document(Outputs *outputs)
{
    bool listed = false;
    if (!object([&](std::string_view key) {
            if (key != "outputs" || listed)
                return false;
            listed = true;
            return array([&] {
                Data d;
                if (!output(&d))
                    return false;
                outputs->append(std::move(d));
                return true;
            });
        }))
        return false;
    space();
    return listed && m_p == m_end;
}

// The checks after reading that the full reader makes, without messages.
bool fastRead(const QByteArray &bytes, Outputs *outputs)
{
    Outputs result;
    if (!FastReader(bytes).document(&result))
        return false;
    QSet<int> ids;
    QSet<QString> names;
    ids.reserve(result.size());
    names.reserve(result.size());
    for (const Data &d : std::as_const(result)) {
        if (ids.contains(d.id) || names.contains(d.name))
            return false;
        ids.insert(d.id);
        names.insert(d.name);
    }
    qsizetype faulty = 0;
    QString what;
    if (!checkOutputs(result, &faulty, &what))
        return false;
    *outputs = std::move(result);
    return true;
}

} // namespace

bool parseDocument(const QByteArray &bytes, Outputs *outputs, QString *fault)
{
    return fastRead(bytes, outputs) || parseDocumentFully(bytes, outputs, fault);
}

bool parseDocumentFully(const QByteArray &bytes, Outputs *outputs, QString *fault)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        *fault = u"not valid JSON: "_qs + error.errorString() + " at offset " + QString::number(error.offset);
        return false;
    }
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
            *fault = u"outputs[%1] and outputs[%2] have the same name "_qs.arg(*other).arg(i) + quoted(d.name);
            return false;
        }
        if (const auto other = byId.constFind(d.id); other != byId.constEnd()) {
            *fault = u"outputs "_qs + quoted(result[*other].name) + " and " + quoted(d.name) + " have the same id "
                + QString::number(d.id);
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

bool checkOutputs(const Outputs &outputs, qsizetype *faulty, QString *fault)
{
    QSet<int> ids;
    ids.reserve(outputs.size());
    for (const Data &d : outputs)
        ids.insert(d.id);
    for (qsizetype i = 0; i < outputs.size(); ++i) {
        if (!checkOutput(outputs[i], ids, fault)) {
            *faulty = i;
            return false;
        }
    }
    return true;
}

QByteArray writeDocument(const Outputs &outputs)
{
    QByteArray out;
    out.reserve(2048 * (outputs.size() + 1));
    out += "{\n    \"outputs\": [";
    bool first = true;
    for (const Data &d : outputs) {
        out += first ? "\n        {" : ",\n        {";
        first = false;
        appendOutput(out, d);
        out += "\n        }";
    }
    out += outputs.isEmpty() ? "]\n}\n" : "\n    ]\n}\n";
    return out;
}

QStringList customModeIds(const ModeList &documentModes, const QList<ModeInfo> &customModes)
{
    QStringList ids;
    ids.reserve(customModes.size());
    QSet<QString> taken;
    taken.reserve(customModes.size());
    // The number each base goes on from: the ids a base had are all taken,
    // so equal bases cost one step each, not one per id before them.
    QHash<QString, int> next;
    for (const ModeInfo &mode : customModes) {
        QString base = u"custom-"_qs + QString::number(mode.width) + u'x' + QString::number(mode.height) + u'@'
            + rateText(mode.refreshRate);
        if (mode.flags & ModeInfo::ReducedBlanking)
            base += "-rb";
        if (mode.flags != ModeInfo::UserDefined && mode.flags != (ModeInfo::UserDefined | ModeInfo::ReducedBlanking))
            base += "-f" + QString::number(mode.flags);
        if (mode.timings)
            base += "-t" + QString::number(timingsHash(*mode.timings), 16).rightJustified(8, u'0');
        int &n = next[base];
        const auto candidate = [&] { return n < 2 ? base : base + u'-' + QString::number(n); };
        QString id = candidate();
        while (taken.contains(id) || documentModes.contains(id)) {
            n = std::max(n, 1) + 1;
            id = candidate();
        }
        n = std::max(n, 1) + 1;
        taken.insert(id);
        ids.append(id);
    }
    return ids;
}

void offerCustomModes(Output::Data &data)
{
    if (data.customModes.isEmpty())
        return;
    const QStringList ids = customModeIds(data.modes, data.customModes);
    for (qsizetype i = 0; i < ids.size(); ++i) {
        const ModeInfo &mode = data.customModes[i];
        data.modes.insert(ids[i], ModePtr::create(ids[i], QSize(mode.width, mode.height), mode.refreshRate));
    }
}

QString capabilityWord(Output::Capability capability)
{
    const char *word = wordOf(capabilityWords, capability);
    return word ? QString::fromLatin1(word) : QString();
}

// The built-in set, deterministic so that tests and users can rely on it:
//   eDP-1 (id 1): laptop panel, 2560x1600 at 120/60/48 Hz plus 1920x1200,
//     1680x1050 and 1280x800 at 60 Hz; current and preferred mode "1"
//     (2560x1600@120), scale 1.25 (logical 2048x1280) at 0,0, primary.
//     Brightness 0.75, colour from the built-in (EDID) profile, ABM level 1;
//     peak and average 500, minimum 0.5 nits.
//     Capabilities: auto-rotate, icc, brightness, builtin-color-profile,
//     auto-brightness, abm, disable.
//   DP-1 (id 2): 27" 4K HDR monitor right of the panel at 2048,0, priority 2,
//     3840x2160 at 60/59.94/30 Hz plus 2560x1440@60, 1920x1080@60/59.94 and
//     1280x720@60; current and preferred mode "1" (3840x2160@60), scale 1.5
//     (logical 2560x1440). HDR off; peak 600, average 400, minimum 0.05 nits;
//     6 to 12 bits per colour, DDC/CI allowed. Capabilities: overscan, vrr,
//     rgb-range, hdr, wcg, icc, ddc-ci, maxbpc, edr, custom-modes, hdr-icc,
//     disable.
//   HDMI-A-1 (id 3): an HDMI port with nothing plugged in: disconnected,
//     disabled, no modes. Capabilities: overscan, rgb-range, disable.
Outputs defaultSet()
{
    using Cap = Output::Capability;
    const auto modes = [](std::initializer_list<std::tuple<int, int, float>> list) {
        ModeList result;
        int n = 0;
        for (const auto &[w, h, rate] : list) {
            const QString id = QString::number(++n);
            result.insert(id, ModePtr::create(id, QSize(w, h), rate));
        }
        return result;
    };

    Data panel;
    panel.id = 1;
    panel.name = u"eDP-1"_qs;
    panel.uuid = u"3f0c6a2e-5d1b-4b8e-9a47-1c2d3e4f5a01"_qs;
    panel.type = Output::Type::Panel;
    panel.priority = 1;
    panel.modes = modes({{2560, 1600, 120.0f},
                         {2560, 1600, 60.0f},
                         {2560, 1600, 48.0f},
                         {1920, 1200, 60.0f},
                         {1680, 1050, 60.0f},
                         {1280, 800, 60.0f}});
    panel.currentModeId = u"1"_qs;
    panel.preferredModeId = u"1"_qs;
    panel.scale = 1.25;
    panel.capabilities = Cap::AutoRotation | Cap::IccProfile | Cap::BrightnessControl | Cap::BuiltInColorProfile
        | Cap::AutomaticBrightness | Cap::Abm | Cap::Disable;
    panel.brightness = 0.75;
    panel.colorProfileSource = Output::ColorProfileSource::EDID;
    panel.abmLevel = 1;
    panel.maxPeakBrightness = 500;
    panel.maxAverageBrightness = 500;
    panel.minBrightness = 0.5;

    Data monitor;
    monitor.id = 2;
    monitor.name = u"DP-1"_qs;
    monitor.uuid = u"8b7a9c1d-2e3f-4a5b-8c6d-7e8f9a0b1c02"_qs;
    monitor.type = Output::Type::DisplayPort;
    monitor.priority = 2;
    monitor.pos = QPoint(2048, 0);
    monitor.modes = modes({{3840, 2160, 60.0f},
                           {3840, 2160, 59.94f},
                           {3840, 2160, 30.0f},
                           {2560, 1440, 60.0f},
                           {1920, 1080, 60.0f},
                           {1920, 1080, 59.94f},
                           {1280, 720, 60.0f}});
    monitor.currentModeId = u"1"_qs;
    monitor.preferredModeId = u"1"_qs;
    monitor.scale = 1.5;
    monitor.capabilities = Cap::Overscan | Cap::Vrr | Cap::RgbRange | Cap::HighDynamicRange | Cap::WideColorGamut
        | Cap::IccProfile | Cap::DdcCi | Cap::MaxBitsPerColor | Cap::Edr | Cap::CustomModes | Cap::HdrIccProfile
        | Cap::Disable;
    monitor.maxPeakBrightness = 600;
    monitor.maxAverageBrightness = 400;
    monitor.minBrightness = 0.05;
    monitor.bitsPerColorRange = {6, 12};
    monitor.ddcCiAllowed = true;

    Data hdmi;
    hdmi.id = 3;
    hdmi.name = u"HDMI-A-1"_qs;
    hdmi.uuid = u"d4e5f6a7-b8c9-4d0e-8f1a-2b3c4d5e6f03"_qs;
    hdmi.type = Output::Type::HDMI;
    hdmi.enabled = false;
    hdmi.connected = false;
    hdmi.capabilities = Cap::Overscan | Cap::RgbRange | Cap::Disable;

    return {panel, monitor, hdmi};
}

} // namespace Dispor::Virtual
