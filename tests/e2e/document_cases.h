#pragma once

// Cases that run dispctl on a fresh copy of a document and look at what the
// run left in it, property by property: a change must touch exactly the
// named properties, a refusal must leave the document byte for byte.

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

namespace cases {

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

inline QJsonObject outputNamed(const std::string &document, const std::string &name)
{
    const QJsonArray outputs =
        QJsonDocument::fromJson(QByteArray::fromStdString(document))["outputs"].toArray();
    for (const QJsonValue &value : outputs) {
        if (value["name"].toString().toStdString() == name)
            return value.toObject();
    }
    return {};
}

inline std::string jsonText(const QJsonValue &value)
{
    const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2).toStdString();
}

// "output.key=value" for every property that differs between two documents,
// in output name and key order; "output.key" alone for a key that went away.
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
        const QJsonObject previous = found == old.end() ? QJsonObject() : found->second;
        QStringList keys = output.keys() + previous.keys();
        keys.removeDuplicates();
        keys.sort();
        for (const QString &key : keys) {
            if (!output.contains(key))
                result.push_back(name + "." + key.toStdString());
            else if (previous[key] != output[key])
                result.push_back(name + "." + key.toStdString() + "=" + jsonText(output[key]));
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

} // namespace cases
