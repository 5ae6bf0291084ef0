// The direct JSON writer against QJsonDocument: every byte the same.

#include "core/words.h"
#include "output_data.h"
#include "report/json.h"
#include "report/json_writer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

namespace {

// The report as QJsonObject builds it, key by key: the oracle the writer
// is held to.
using Output = Dispor::Output;

QString word(const char *text)
{
    return QString::fromLatin1(text);
}

QJsonObject sizeToJson(int width, int height)
{
    return {{QStringLiteral("width"), width}, {QStringLiteral("height"), height}};
}

QJsonArray capabilitiesToJson(Output::Capabilities capabilities)
{
    QJsonArray words;
    for (const auto &entry : words::capability) {
        if (capabilities.testFlag(entry.value))
            words.append(word(entry.word));
    }
    return words;
}

QJsonObject modeToJson(const Output &output, const Dispor::ModePtr &mode)
{
    const QSize size = mode->size();
    return {
        {QStringLiteral("id"), mode->id()},
        {QStringLiteral("resolution"), sizeToJson(size.width(), size.height())},
        {QStringLiteral("refreshRate"), static_cast<double>(mode->refreshRate())},
        {QStringLiteral("current"), output.isPlacementKnown() && mode == output.currentMode()},
        {QStringLiteral("preferred"), mode == output.preferredMode()},
    };
}

QJsonObject outputToJson(const Output &output)
{
    QJsonObject object;
    object.insert(QStringLiteral("name"), output.name());
    object.insert(QStringLiteral("uuid"), output.uuid());
    object.insert(QStringLiteral("enabled"), output.isEnabled());
    object.insert(QStringLiteral("connected"), output.isConnected());
    // A disabled output whose place nobody remembers has none.
    const bool known = output.isPlacementKnown();
    object.insert(QStringLiteral("scale"), known ? QJsonValue(output.scale()) : QJsonValue());
    object.insert(QStringLiteral("position"),
                  known ? QJsonValue(QJsonObject{{QStringLiteral("x"), output.pos().x()},
                                                 {QStringLiteral("y"), output.pos().y()}})
                        : QJsonValue());
    object.insert(QStringLiteral("rotation"),
                  known ? QJsonValue(word(wordOfValue(words::rotation, output.rotation()))) : QJsonValue());
    object.insert(QStringLiteral("dimming"), output.dimming());
    object.insert(QStringLiteral("brightness"), output.brightness());
    object.insert(QStringLiteral("sdrBrightness"), static_cast<qint64>(output.sdrBrightness()));
    object.insert(QStringLiteral("sdrGamut"), output.sdrGamutWideness());
    object.insert(QStringLiteral("hdr"), output.isHdrEnabled());
    object.insert(QStringLiteral("wcg"), output.isWcgEnabled());
    object.insert(QStringLiteral("iccProfilePath"), output.iccProfilePath());
    object.insert(QStringLiteral("hdrIccProfilePath"), output.hdrIccProfilePath());
    object.insert(QStringLiteral("colorProfileSource"),
                  word(wordOfValue(words::colorProfileSource, output.colorProfileSource())));
    object.insert(QStringLiteral("hdrColorProfileSource"),
                  word(wordOfValue(words::colorProfileSource, output.hdrColorProfileSource())));
    object.insert(QStringLiteral("colorPowerTradeoff"),
                  word(wordOfValue(words::colorPowerTradeoff, output.colorPowerPreference())));
    object.insert(QStringLiteral("autoBrightness"), output.automaticBrightness());
    object.insert(QStringLiteral("replicaOf"), output.replicationSource());
    // A percentage, unlike brightness and dimming.
    object.insert(QStringLiteral("sharpness"), std::round(output.sharpness() * 100));
    object.insert(QStringLiteral("overscan"), static_cast<qint64>(output.overscan()));
    object.insert(QStringLiteral("priority"), static_cast<qint64>(output.priority()));
    object.insert(QStringLiteral("primary"), output.priority() == 1);
    object.insert(QStringLiteral("vrrPolicy"), word(wordOfValue(words::vrrPolicy, output.vrrPolicy())));
    object.insert(QStringLiteral("rgbRange"), word(wordOfValue(words::rgbRange, output.rgbRange())));
    object.insert(QStringLiteral("autoRotate"),
                  word(wordOfValue(words::autoRotatePolicy, output.autoRotatePolicy())));
    object.insert(QStringLiteral("ddcCiAllowed"), output.ddcCiAllowed());
    object.insert(QStringLiteral("maxbpc"), static_cast<qint64>(output.maxBitsPerColor()));
    object.insert(QStringLiteral("abm"), static_cast<qint64>(output.abmLevel()));

    // A disabled output may have no current mode.
    const Dispor::ModePtr current = known ? output.currentMode() : nullptr;
    object.insert(QStringLiteral("mode"), current ? QJsonValue(modeToJson(output, current)) : QJsonValue());

    QJsonArray modes;
    const Dispor::ModeList modeList = output.modes();
    for (const Dispor::ModePtr &mode : modeList)
        modes.append(modeToJson(output, mode));
    object.insert(QStringLiteral("modes"), modes);

    QJsonArray customModes;
    const QList<Dispor::ModeInfo> customList = output.customModes();
    for (const Dispor::ModeInfo &mode : customList) {
        customModes.append(QJsonObject{
            {QStringLiteral("resolution"), sizeToJson(mode.width, mode.height)},
            {QStringLiteral("refreshRate"), static_cast<double>(mode.refreshRate)},
        });
    }
    object.insert(QStringLiteral("customModes"), customModes);
    object.insert(QStringLiteral("edrPolicy"), word(wordOfValue(words::edrPolicy, output.edrPolicy())));
    object.insert(QStringLiteral("capabilities"), capabilitiesToJson(output.capabilities()));

    // Kept as stored: the minimum in 1/10000 nit, the others in nits.
    if (const auto value = output.minBrightnessOverride())
        object.insert(QStringLiteral("minBrightnessOverride"), *value);
    if (const auto value = output.maxPeakBrightnessOverride())
        object.insert(QStringLiteral("maxPeakBrightnessOverride"), *value);
    if (const auto value = output.maxAverageBrightnessOverride())
        object.insert(QStringLiteral("maxAverageBrightnessOverride"), *value);
    return object;
}

std::string qtText(const QJsonArray &array)
{
    return QJsonDocument(array).toJson(QJsonDocument::Indented).toStdString();
}

std::string qtText(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Indented).toStdString();
}

TEST(JsonWriter, NumbersAsQtWritesThem)
{
    const double numbers[] = {
        0,
        -0.0,
        1,
        -1,
        0.1,
        0.2,
        0.3,
        1.0 / 3,
        2.0 / 3,
        1e-7,
        1e-5,
        1e-4,
        0.001,
        1e21,
        1e22,
        -1e21,
        1e15,
        1e16,
        1e17,
        123456789012345678.0,
        9007199254740992.0,
        9007199254740993.0,
        9007199254740991.0,
        -9007199254740991.0,
        -9007199254740992.0,
        4503599627370496.5,
        99999,
        100000,
        999999,
        1000000,
        1e7,
        12345678,
        59.94,
        23.976,
        119.88,
        143.98,
        static_cast<double>(59.94f),
        static_cast<double>(23.976f),
        static_cast<double>(119.88f),
        static_cast<double>(0.05f),
        1.5,
        150.0 / 100,
        1.7976931348623157e308,
        5e-324,
        2.2250738585072014e-308,
        -12.5,
        4.35,
        0.000123,
        1234.5678,
        1e100,
        1e-100,
        std::nextafter(1.0, 2.0),
        std::nextafter(1.0, 0.0),
        std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity(),
        std::numeric_limits<double>::quiet_NaN(),
        0.0001,
        0.00011,
        0.000099,
        0.001,
        0.00099,
        0.0011,
        0.00123,
        0.0012345,
        99999.5,
        123456.5,
        1e15 + 0.5,
        999999999999999.9,
        1e14 + 0.25,
        -0.00015,
        5e-5,
        0.1 + 0.2,
        1.0 / 7,
        100.0 / 3,
        2e-4 / 3,
        static_cast<double>(1.1f),
        static_cast<double>(143.98f),
        static_cast<double>(0.3f),
        std::round(0.625 * 100),
        std::round(-0.004 * 100),
    };
    for (double number : numbers) {
        JsonWriter json;
        json.beginArray();
        json.value(number);
        json.endArray();
        EXPECT_EQ(json.text(), qtText(QJsonArray{number})) << number;
    }
    // All in one writer, twice over: what it remembers of the numbers
    // written (more than it keeps) must never show for another.
    JsonWriter all;
    QJsonArray expected;
    all.beginArray();
    for (int round = 0; round < 2; ++round) {
        for (double number : numbers) {
            all.value(number);
            expected.append(number);
        }
    }
    all.endArray();
    EXPECT_EQ(all.text(), QJsonDocument(expected).toJson(QJsonDocument::Indented).toStdString());
    const int64_t integers[] = {0,
                                1,
                                -1,
                                42,
                                4294967295LL,
                                -2147483648LL,
                                9007199254740993LL,
                                std::numeric_limits<int64_t>::max(),
                                std::numeric_limits<int64_t>::min()};
    for (int64_t number : integers) {
        JsonWriter json;
        json.beginArray();
        json.value(number);
        json.endArray();
        EXPECT_EQ(json.text(), qtText(QJsonArray{static_cast<qint64>(number)})) << number;
    }
}

TEST(JsonWriter, StringsAsQtWritesThem)
{
    const QString strings[] = {
        QString(),
        QStringLiteral("DP-1"),
        QStringLiteral("a\"b"),
        QStringLiteral("back\\slash"),
        QStringLiteral("tab\there"),
        QStringLiteral("line\nfeed\r"),
        QString(QChar(0x01)),
        QString(QChar(0x1f)),
        QStringLiteral("/path/to/profile.icc"),
        QString::fromUtf8("Écran – ü €"),
        QString::fromUtf8("\xf0\x9f\x96\xa5 monitor"),
        QStringLiteral("\b\f"),
        QStringLiteral("</script>"),
        QString(QChar(0x2028)),
        QString(QChar(0xfeff)),
    };
    for (const QString &text : strings) {
        JsonWriter json;
        json.beginArray();
        json.value(text);
        json.endArray();
        EXPECT_EQ(json.text(), qtText(QJsonArray{text})) << text.toStdString();
    }
}

// Where Qt leaves DEL and the C1 controls raw, they are escaped: a terminal
// acts on some of them.
TEST(JsonWriter, DelAndC1ControlsAreEscaped)
{
    const std::pair<QString, std::string> cases[] = {
        {QString(QChar(0x7f)), R"("\u007f")"},
        {u"a"_qs + QChar(0x9b) + u"2J"_qs, R"("a\u009b2J")"},
        {QString(QChar(0x80)) + QChar(0x9f) + QChar(0xa0) + u"\x1b"_qs, "\"\\u0080\\u009f\u00a0\\u001b\""},
    };
    for (const auto &[text, expected] : cases) {
        JsonWriter json;
        json.beginArray();
        json.value(text);
        json.endArray();
        EXPECT_EQ(json.text(), "[\n    " + expected + "\n]\n");
        const QByteArray written(json.text().data(), qsizetype(json.text().size()));
        EXPECT_EQ(QJsonDocument::fromJson(written).array().at(0).toString(), text);
    }
}

TEST(JsonWriter, NestingAsQtIndentsIt)
{
    {
        JsonWriter json;
        json.beginArray();
        json.endArray();
        EXPECT_EQ(json.text(), qtText(QJsonArray{}));
    }
    {
        JsonWriter json;
        json.beginObject();
        json.endObject();
        EXPECT_EQ(json.text(), qtText(QJsonObject{}));
    }
    {
        JsonWriter json;
        json.beginArray();
        json.beginObject();
        json.key("a");
        json.beginArray();
        json.endArray();
        json.key("b");
        json.beginObject();
        json.endObject();
        json.key("c");
        json.beginArray();
        json.value(true);
        json.null();
        json.beginArray();
        json.value(int64_t{1});
        json.endArray();
        json.endArray();
        json.endObject();
        json.plainValue("word");
        json.value(false);
        json.endArray();
        const QJsonArray expected{QJsonObject{{"a", QJsonArray{}},
                                              {"b", QJsonObject{}},
                                              {"c", QJsonArray{true, QJsonValue(), QJsonArray{1}}}},
                                  "word", false};
        EXPECT_EQ(json.text(), qtText(expected));
    }
    // Deeper than the indentation the writer copies in one piece.
    for (const int depth : {14, 15, 16, 17, 40}) {
        JsonWriter json;
        for (int i = 0; i < depth; ++i)
            json.beginArray();
        json.value(int64_t{1});
        json.value(int64_t{2});
        for (int i = 0; i < depth; ++i)
            json.endArray();
        QJsonArray expected{1, 2};
        for (int i = 1; i < depth; ++i)
            expected = QJsonArray{expected};
        EXPECT_EQ(json.text(), qtText(expected)) << depth;
    }
}

Dispor::ModePtr mode(const char *id, int width, int height, float rate)
{
    return Dispor::ModePtr::create(QString::fromLatin1(id), QSize(width, height), rate);
}

// Outputs that between them set every key and every word of the report.
QList<Dispor::Output::Data> outputs()
{
    using O = Dispor::Output;
    QList<O::Data> list;
    O::Data plain;
    list.append(plain);

    O::Data full;
    full.id = 3;
    full.name = QStringLiteral("eDP-1");
    full.uuid = QStringLiteral("uuid \"quoted\"");
    full.enabled = false;
    full.connected = true;
    full.priority = 1;
    full.pos = QPoint(-1920, 1080);
    for (const auto &m : {mode("1", 1920, 1080, 60.0f), mode("10", 1280, 720, 59.94f),
                          mode("2", 3840, 2160, 23.976f), mode("x y", 800, 600, 0.5f)})
        full.modes.insert(m);
    full.currentModeId = QStringLiteral("10");
    full.preferredModeId = QStringLiteral("10");
    full.scale = 1.25;
    full.rotation = O::Rotation::Flipped270;
    full.capabilities = O::Capabilities::fromInt(0x3ffff);
    full.hdrEnabled = true;
    full.wcgEnabled = true;
    full.automaticBrightness = true;
    full.ddcCiAllowed = true;
    full.sdrBrightness = 4000000000u;
    full.sdrGamutWideness = 0.1;
    full.brightness = 0.35;
    full.dimming = 1e-7;
    full.sharpness = 0.625;
    full.maxPeakBrightnessOverride = 1e21;
    full.maxAverageBrightnessOverride = -0.0;
    full.minBrightnessOverride = 500;
    full.iccProfilePath = QString::fromUtf8("/home/ü/profile\t.icc");
    full.hdrIccProfilePath = QStringLiteral("/hdr.icc");
    full.colorProfileSource = O::ColorProfileSource::EDID;
    full.hdrColorProfileSource = O::ColorProfileSource::ICC;
    full.colorPowerPreference = O::ColorPowerTradeoff::PreferAccuracy;
    full.rgbRange = O::RgbRange::Limited;
    full.vrrPolicy = O::VrrPolicy::Always;
    full.autoRotatePolicy = O::AutoRotatePolicy::Always;
    full.edrPolicy = O::EdrPolicy::Always;
    full.overscan = 100;
    full.abmLevel = 4;
    full.maxBitsPerColor = 12;
    full.replicationSource = 7;
    full.customModes = {{1000, 700, 60.0f, 1, {}}, {1, 2, 143.98f, 3, {}}};
    list.append(full);

    // A current mode that is not the preferred one, a dangling preferred id.
    O::Data other = full;
    other.currentModeId = QStringLiteral("2");
    other.preferredModeId = QStringLiteral("gone");
    other.priority = 2;
    other.maxPeakBrightnessOverride.reset();
    other.rotation = O::Rotation::Left;
    other.rgbRange = O::RgbRange::Full;
    other.vrrPolicy = O::VrrPolicy::Never;
    other.autoRotatePolicy = O::AutoRotatePolicy::Never;
    other.colorProfileSource = O::ColorProfileSource::ICC;
    other.capabilities = O::Capabilities::fromInt(0x15);
    list.append(other);

    // Modes but no current one.
    O::Data idle = other;
    idle.currentModeId.clear();
    idle.preferredModeId = QStringLiteral("1");
    idle.customModes.clear();
    list.append(idle);

    // Disabled, with nothing known of where it comes back.
    O::Data unknown = full;
    unknown.placementKnown = false;
    list.append(unknown);
    return list;
}

TEST(JsonWriter, OutputsAsTheObjectTreeWouldPrint)
{
    JsonWriter all;
    all.beginArray();
    QJsonArray expected;
    for (const Dispor::Output::Data &data : outputs()) {
        const Dispor::Output output(data);
        JsonWriter one;
        writeOutputJson(one, output);
        EXPECT_EQ(one.text(), qtText(outputToJson(output))) << output.name().toStdString();
        writeOutputJson(all, output);
        expected.append(outputToJson(output));
    }
    all.endArray();
    EXPECT_EQ(all.text(), qtText(expected));

    // Written out in pieces, the text is the same.
    JsonWriter pieces;
    std::string joined;
    pieces.beginArray();
    for (const Dispor::Output::Data &data : outputs()) {
        writeOutputJson(pieces, Dispor::Output(data));
        joined += pieces.text();
        pieces.discardText();
    }
    pieces.endArray();
    pieces.newline();
    joined += pieces.text();
    EXPECT_EQ(joined, qtText(expected) + "\n");
}

// The manual page's reference (jsonReference) against what the writer
// writes: every key written is documented with its type, and every key
// documented as always present is written.
void checkAgainstReference(const std::vector<JsonObjectDoc> &reference, const std::string &name,
                           const QJsonObject &object)
{
    const auto doc = std::find_if(reference.begin(), reference.end(),
                                  [&](const JsonObjectDoc &d) { return d.name == name; });
    ASSERT_NE(doc, reference.end()) << name;
    for (const JsonKeyDoc &key : doc->keys) {
        if (key.presence.empty()) {
            EXPECT_TRUE(object.contains(QString::fromStdString(key.key))) << name << ": " << key.key;
        }
    }
    for (auto it = object.begin(); it != object.end(); ++it) {
        const std::string k = it.key().toStdString();
        const auto key =
            std::find_if(doc->keys.begin(), doc->keys.end(), [&](const JsonKeyDoc &d) { return d.key == k; });
        ASSERT_NE(key, doc->keys.end()) << name << ": " << k << " is not documented";
        const QJsonValue value = it.value();
        std::string type = key->type;
        SCOPED_TRACE(name + ": " + k + " (" + type + ")");
        // A plain value or null, as a disabled output's place may be.
        if (type.ends_with(" or null") && !type.ends_with(" object or null")) {
            if (value.isNull())
                continue;
            type.resize(type.size() - 8);
        }
        if (type == "boolean") {
            EXPECT_TRUE(value.isBool());
        } else if (type == "integer") {
            EXPECT_TRUE(value.isDouble() && value.toDouble() == std::round(value.toDouble()));
        } else if (type == "number") {
            EXPECT_TRUE(value.isDouble());
        } else if (type == "string") {
            EXPECT_TRUE(value.isString());
        } else if (type == "array of strings") {
            ASSERT_TRUE(value.isArray());
            for (const QJsonValue &element : value.toArray())
                EXPECT_TRUE(element.isString());
        } else if (type.starts_with("array of ") && type.ends_with(" objects")) {
            ASSERT_TRUE(value.isArray());
            for (const QJsonValue &element : value.toArray()) {
                ASSERT_TRUE(element.isObject());
                checkAgainstReference(reference, type.substr(9, type.size() - 10), element.toObject());
            }
        } else if (type.ends_with(" object or null")) {
            ASSERT_TRUE(value.isObject() || value.isNull());
            if (value.isObject())
                checkAgainstReference(reference, type.substr(0, type.size() - 8), value.toObject());
        } else if (type.ends_with(" object")) {
            ASSERT_TRUE(value.isObject());
            checkAgainstReference(reference, type, value.toObject());
        } else {
            ADD_FAILURE() << "unknown type";
        }
    }
}

TEST(JsonWriter, ReferenceDescribesWhatIsWritten)
{
    const std::vector<JsonObjectDoc> reference = jsonReference();
    for (const Dispor::Output::Data &data : outputs()) {
        JsonWriter json;
        writeOutputJson(json, Dispor::Output(data));
        const QJsonDocument document =
            QJsonDocument::fromJson(QByteArray(json.text().data(), qsizetype(json.text().size())));
        ASSERT_TRUE(document.isObject());
        checkAgainstReference(reference, "output object", document.object());
    }
}

} // namespace
