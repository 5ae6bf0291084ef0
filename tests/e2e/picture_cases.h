#pragma once

// Table-driven cases for the commands that set one output property: each
// case runs on a fresh virtual set and looks at what the run left in the
// document, property by property.

#include "harness.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace picture {

inline constexpr const char *allCapabilities =
    R"(["overscan", "vrr", "rgb-range", "hdr", "wcg", "auto-rotate", "icc", "brightness",
        "builtin-color-profile", "ddc-ci", "maxbpc", "edr", "sharpness", "custom-modes",
        "auto-brightness", "hdr-icc", "abm", "disable"])";

// eDP-1 (id 1, primary) and DP-1 (id 2) can do everything; HDMI-A-1 (id 3)
// can do nothing. DP-1 gets dp1 as its picture settings.
inline std::string document(const std::string &dp1)
{
    const std::string mode = R"("modes": [{"id": "1", "width": 1920, "height": 1080, "refreshRate": 60.0}],
        "currentModeId": "1")";
    return R"({"outputs": [
    {"id": 1, "name": "eDP-1", "type": "Panel", "priority": 1, )" +
           mode + R"(, "capabilities": )" + allCapabilities + R"(},
    {"id": 2, "name": "DP-1", "uuid": "3b1f8e2c-dp1", "type": "DisplayPort", "priority": 2,
     "pos": {"x": 1920, "y": 0}, )" +
           mode + R"(, "capabilities": )" + allCapabilities + (dp1.empty() ? "" : ", " + dp1) + R"(},
    {"id": 3, "name": "HDMI-A-1", "type": "HDMI", "priority": 3, "pos": {"x": 3840, "y": 0}, )" +
           mode + R"(}
]})";
}

// DP-1 away from every default, so that any change shows.
inline const std::string dp1Settings = R"("brightness": 0.8, "dimming": 0.9, "automaticBrightness": true,
    "hdrEnabled": true, "sdrBrightness": 300, "sdrGamutWideness": 0.4, "sharpness": 0.2,
    "maxPeakBrightnessOverride": 800, "maxAverageBrightnessOverride": 500, "minBrightnessOverride": 50,
    "colorProfileSource": "EDID", "hdrColorProfileSource": "ICC", "colorPowerPreference": "prefer-accuracy",
    "rgbRange": "full", "vrrPolicy": "never", "autoRotatePolicy": "always", "edrPolicy": "always",
    "overscan": 5, "abmLevel": 2, "maxBitsPerColor": 10, "ddcCiAllowed": true, "replicationSource": 1)";

// The document's defaults, so that a key left out and a key written with its
// default read the same.
inline QJsonObject outputDefaults()
{
    static const QJsonObject defaults = QJsonDocument::fromJson(R"({
        "uuid": "", "type": "Unknown", "enabled": true, "connected": true, "priority": 0,
        "pos": {"x": 0, "y": 0}, "modes": [], "scale": 1.0, "rotation": "normal", "capabilities": [],
        "hdrEnabled": false, "wcgEnabled": false, "automaticBrightness": false, "ddcCiAllowed": false,
        "sdrBrightness": 200, "sdrGamutWideness": 0, "brightness": 1, "dimming": 1, "sharpness": 0,
        "maxPeakBrightness": 0, "maxAverageBrightness": 0, "minBrightness": 0,
        "maxPeakBrightnessOverride": null, "maxAverageBrightnessOverride": null, "minBrightnessOverride": null,
        "iccProfilePath": "", "hdrIccProfilePath": "", "colorProfileSource": "sRGB",
        "hdrColorProfileSource": "EDID", "colorPowerPreference": "prefer-efficiency", "rgbRange": "automatic",
        "vrrPolicy": "automatic", "autoRotatePolicy": "in-tablet-mode", "edrPolicy": "never", "overscan": 0,
        "abmLevel": 0, "maxBitsPerColor": 0, "automaticMaxBitsPerColorLimit": 0,
        "bitsPerColorRange": {"min": 0, "max": 0}, "replicationSource": 0, "customModes": [], "dpms": "on"
    })")
                                            .object();
    return defaults;
}

inline std::string jsonText(const QJsonValue &value)
{
    const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2).toStdString();
}

// "output.key=value" for every property that differs between two documents.
inline std::vector<std::string> differences(const std::string &before, const std::string &after)
{
    const auto outputs = [](const std::string &text) {
        std::map<std::string, QJsonObject> result;
        const QJsonArray array =
            QJsonDocument::fromJson(QByteArray::fromStdString(text))["outputs"].toArray();
        for (const QJsonValue &value : array) {
            QJsonObject output = outputDefaults();
            const QJsonObject given = value.toObject();
            for (auto it = given.begin(); it != given.end(); ++it)
                output[it.key()] = it.value();
            // A set, in whatever order it was written.
            QStringList capabilities;
            for (const QJsonValue &word : output["capabilities"].toArray())
                capabilities.push_back(word.toString());
            capabilities.sort();
            output["capabilities"] = QJsonArray::fromStringList(capabilities);
            result[output["name"].toString().toStdString()] = output;
        }
        return result;
    };
    const std::map<std::string, QJsonObject> old = outputs(before);
    std::vector<std::string> result;
    for (const auto &[name, output] : outputs(after)) {
        const auto found = old.find(name);
        for (auto it = output.begin(); it != output.end(); ++it) {
            if (found == old.end() || found->second[it.key()] != it.value())
                result.push_back(name + "." + it.key().toStdString() + "=" + jsonText(it.value()));
        }
    }
    return result;
}

struct Change {
    std::vector<std::string> args;
    std::vector<std::string> changed; // "output.key=value", in output name and key order
};

struct Refusal {
    std::vector<std::string> args;
    std::string message; // the one line on standard error
};

// Cases that each start from the same document.
class On {
public:
    explicit On(std::string document) : m_document(std::move(document)) {}

    // Each run succeeds silently and changes exactly what the case says.
    void expectChanges(const std::vector<Change> &cases) const
    {
        for (const Change &c : cases) {
            SCOPED_TRACE(::testing::PrintToString(c.args));
            e2e::VirtualSet set(m_document);
            EXPECT_EQ(e2e::run(set, c.args), (e2e::Result{0, "", ""}));
            EXPECT_EQ(differences(m_document, set.read()), c.changed);
        }
    }

    // Each run fails with its message and leaves the document as it was.
    void expectRefusals(const std::vector<Refusal> &cases) const
    {
        for (const Refusal &c : cases) {
            SCOPED_TRACE(::testing::PrintToString(c.args));
            e2e::VirtualSet set(m_document);
            EXPECT_EQ(e2e::run(set, c.args), (e2e::Result{1, "", c.message + "\n"}));
            EXPECT_EQ(set.read(), m_document);
        }
    }

private:
    std::string m_document;
};

// The service's refusal of a property that HDMI-A-1 has no capability for.
inline std::string lacks(const std::string &key, const std::string &capability)
{
    return "Failed to apply output configuration: HDMI-A-1: changing \"" + key +
           "\" needs the capability \"" + capability + "\"";
}

} // namespace picture
