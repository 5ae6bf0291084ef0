#include "report/json.h"

#include "core/print.h"
#include "core/words.h"
#include "report/json_writer.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>
#include <iostream>

namespace {

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

} // namespace

QJsonObject modeToJson(const Output &output, const Dispor::ModePtr &mode)
{
    const QSize size = mode->size();
    return {
        {QStringLiteral("id"), mode->id()},
        {QStringLiteral("resolution"), sizeToJson(size.width(), size.height())},
        {QStringLiteral("refreshRate"), static_cast<double>(mode->refreshRate())},
        {QStringLiteral("current"), mode == output.currentMode()},
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
    object.insert(QStringLiteral("scale"), output.scale());
    object.insert(QStringLiteral("position"),
                  QJsonObject{{QStringLiteral("x"), output.pos().x()}, {QStringLiteral("y"), output.pos().y()}});
    object.insert(QStringLiteral("rotation"), word(wordOfValue(words::rotation, output.rotation())));
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
    object.insert(QStringLiteral("autoRotate"), word(wordOfValue(words::autoRotatePolicy, output.autoRotatePolicy())));
    object.insert(QStringLiteral("ddcCiAllowed"), output.ddcCiAllowed());
    object.insert(QStringLiteral("maxbpc"), static_cast<qint64>(output.maxBitsPerColor()));
    object.insert(QStringLiteral("abm"), static_cast<qint64>(output.abmLevel()));

    // A disabled output may have no current mode.
    const Dispor::ModePtr current = output.currentMode();
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

namespace {

void writeSize(JsonWriter &json, int width, int height)
{
    json.beginObject();
    json.key("height");
    json.value(int64_t{height});
    json.key("width");
    json.value(int64_t{width});
    json.endObject();
}

void writeMode(JsonWriter &json, const Dispor::Mode &mode, bool current, bool preferred)
{
    const QSize size = mode.size();
    json.beginObject();
    json.key("current");
    json.value(current);
    json.key("id");
    json.value(mode.id());
    json.key("preferred");
    json.value(preferred);
    json.key("refreshRate");
    json.value(static_cast<double>(mode.refreshRate()));
    json.key("resolution");
    writeSize(json, size.width(), size.height());
    json.endObject();
}

void writeWord(JsonWriter &json, const char *text)
{
    json.plainValue(text);
}

} // namespace

// Keys in the sorted order QJsonObject would give them.
void writeOutputJson(JsonWriter &json, const Output &output)
{
    const Dispor::ModeList modes = output.modes();
    const Dispor::ModePtr current = modes.value(output.currentModeId());
    const Dispor::ModePtr preferred = modes.value(output.preferredModeId());

    json.beginObject();
    json.key("abm");
    json.value(int64_t{output.abmLevel()});
    json.key("autoBrightness");
    json.value(output.automaticBrightness());
    json.key("autoRotate");
    writeWord(json, wordOfValue(words::autoRotatePolicy, output.autoRotatePolicy()));
    json.key("brightness");
    json.value(output.brightness());
    json.key("capabilities");
    json.beginArray();
    for (const auto &entry : words::capability) {
        if (output.capabilities().testFlag(entry.value))
            writeWord(json, entry.word);
    }
    json.endArray();
    json.key("colorPowerTradeoff");
    writeWord(json, wordOfValue(words::colorPowerTradeoff, output.colorPowerPreference()));
    json.key("colorProfileSource");
    writeWord(json, wordOfValue(words::colorProfileSource, output.colorProfileSource()));
    json.key("connected");
    json.value(output.isConnected());
    json.key("customModes");
    json.beginArray();
    for (const Dispor::ModeInfo &mode : output.customModes()) {
        json.beginObject();
        json.key("refreshRate");
        json.value(static_cast<double>(mode.refreshRate));
        json.key("resolution");
        writeSize(json, mode.width, mode.height);
        json.endObject();
    }
    json.endArray();
    json.key("ddcCiAllowed");
    json.value(output.ddcCiAllowed());
    json.key("dimming");
    json.value(output.dimming());
    json.key("edrPolicy");
    writeWord(json, wordOfValue(words::edrPolicy, output.edrPolicy()));
    json.key("enabled");
    json.value(output.isEnabled());
    json.key("hdr");
    json.value(output.isHdrEnabled());
    json.key("hdrColorProfileSource");
    writeWord(json, wordOfValue(words::colorProfileSource, output.hdrColorProfileSource()));
    json.key("hdrIccProfilePath");
    json.value(output.hdrIccProfilePath());
    json.key("iccProfilePath");
    json.value(output.iccProfilePath());
    if (output.maxAverageBrightnessOverride()) {
        json.key("maxAverageBrightnessOverride");
        json.value(*output.maxAverageBrightnessOverride());
    }
    if (output.maxPeakBrightnessOverride()) {
        json.key("maxPeakBrightnessOverride");
        json.value(*output.maxPeakBrightnessOverride());
    }
    json.key("maxbpc");
    json.value(int64_t{output.maxBitsPerColor()});
    if (output.minBrightnessOverride()) {
        json.key("minBrightnessOverride");
        json.value(*output.minBrightnessOverride());
    }
    json.key("mode");
    if (current)
        writeMode(json, *current, true, current == preferred);
    else
        json.null();
    json.key("modes");
    json.beginArray();
    for (auto it = modes.cbegin(); it != modes.cend(); ++it)
        writeMode(json, **it, *it == current, *it == preferred);
    json.endArray();
    json.key("name");
    json.value(output.name());
    json.key("overscan");
    json.value(int64_t{output.overscan()});
    json.key("position");
    json.beginObject();
    json.key("x");
    json.value(int64_t{output.pos().x()});
    json.key("y");
    json.value(int64_t{output.pos().y()});
    json.endObject();
    json.key("primary");
    json.value(output.priority() == 1);
    json.key("priority");
    json.value(int64_t{output.priority()});
    json.key("replicaOf");
    json.value(int64_t{output.replicationSource()});
    json.key("rgbRange");
    writeWord(json, wordOfValue(words::rgbRange, output.rgbRange()));
    json.key("rotation");
    writeWord(json, wordOfValue(words::rotation, output.rotation()));
    json.key("scale");
    json.value(output.scale());
    json.key("sdrBrightness");
    json.value(int64_t{output.sdrBrightness()});
    json.key("sdrGamut");
    json.value(output.sdrGamutWideness());
    json.key("sharpness");
    json.value(std::round(output.sharpness() * 100));
    json.key("uuid");
    json.value(output.uuid());
    json.key("vrrPolicy");
    writeWord(json, wordOfValue(words::vrrPolicy, output.vrrPolicy()));
    json.key("wcg");
    json.value(output.isWcgEnabled());
    json.endObject();
}

void printOutputJson(const Output &output)
{
    JsonWriter json;
    writeOutputJson(json, output);
    printTo(std::cout, "{}", json.text());
}
