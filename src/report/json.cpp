#include "report/json.h"

#include "core/print.h"
#include "core/words.h"

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
                  output.colorPowerPreference() == Output::ColorPowerTradeoff::PreferAccuracy
                      ? QStringLiteral("prefer-accuracy")
                      : QStringLiteral("prefer-efficiency"));
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
    object.insert(QStringLiteral("edrPolicy"), output.edrPolicy() == Output::EdrPolicy::Never
                                                   ? QStringLiteral("never")
                                                   : QStringLiteral("always"));
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

void printOutputJson(const Output &output)
{
    printTo(std::cout, "{}", QJsonDocument(outputToJson(output)).toJson(QJsonDocument::Indented));
}
