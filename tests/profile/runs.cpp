#include "runs.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <filesystem>

namespace runs {

const char *const docked = R"({"outputs": [
    {"id": 1, "name": "eDP-1", "make": "BOE", "model": "NE135FBM", "type": "Panel", "priority": 1,
     "modes": [{"id": "1", "width": 1920, "height": 1080, "refreshRate": 60.0},
               {"id": "2", "width": 1280, "height": 720, "refreshRate": 60.0}],
     "currentModeId": "1", "capabilities": ["disable"]},
    {"id": 2, "name": "DP-1", "make": "Dell", "model": "U2720Q", "serialNumber": "7XK1", "priority": 2,
     "pos": {"x": 1920, "y": 0}, "scale": 1.5,
     "modes": [{"id": "1", "width": 3840, "height": 2160, "refreshRate": 60.0},
               {"id": "2", "width": 2560, "height": 1440, "refreshRate": 59.951}],
     "currentModeId": "1", "capabilities": ["vrr", "disable"]},
    {"id": 3, "name": "HDMI-A-1", "connected": false, "enabled": false,
     "modes": [{"id": "1", "width": 1920, "height": 1080, "refreshRate": 60.0}], "currentModeId": "1",
     "capabilities": ["disable"]}
]})";

namespace {

QJsonObject outputOf(const QJsonDocument &document, const std::string &name)
{
    for (const QJsonValue &output : document.object().value(QLatin1StringView("outputs")).toArray()) {
        if (output.toObject().value(QLatin1StringView("name")).toString().toStdString() == name)
            return output.toObject();
    }
    return {};
}

} // namespace

Bed::Bed(const std::string &document) : m_set(document) {}

support::Env Bed::env() const
{
    return support::merged(m_set.env(), {{"XDG_CONFIG_HOME", m_config.path()}});
}

Result Bed::run(const std::vector<std::string> &args) const
{
    return e2e::runProgram(PROFILE_BINARY, args, env());
}

void Bed::writeProfile(const std::string &name, const std::string &text) const
{
    std::filesystem::create_directories(profiles());
    support::writeFile(profiles() + "/" + name + ".json", text);
}

void Bed::replaceDocument(const std::string &text) const
{
    const std::string temporary = m_set.path() + ".new";
    support::writeFile(temporary, text);
    std::rename(temporary.c_str(), m_set.path().c_str());
}

std::string Bed::field(const std::string &output, const std::string &key) const
{
    const QJsonDocument parsed = QJsonDocument::fromJson(QByteArray::fromStdString(document()));
    const QJsonValue value = outputOf(parsed, output).value(QString::fromStdString(key));
    if (value.isUndefined())
        return {};
    // An array around the value gives any of them as compact JSON.
    const QByteArray text = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return text.mid(1, text.size() - 2).toStdString();
}

std::string edited(const std::string &document, const std::string &output,
                   const std::vector<std::pair<std::string, std::string>> &values)
{
    QJsonObject root = QJsonDocument::fromJson(QByteArray::fromStdString(document)).object();
    QJsonArray outputs = root.value(QLatin1StringView("outputs")).toArray();
    for (qsizetype i = 0; i < outputs.size(); ++i) {
        QJsonObject object = outputs[i].toObject();
        if (object.value(QLatin1StringView("name")).toString().toStdString() != output)
            continue;
        for (const auto &[key, json] : values) {
            const QByteArray wrapped = "[" + QByteArray::fromStdString(json) + "]";
            object.insert(QString::fromStdString(key), QJsonDocument::fromJson(wrapped).array().first());
        }
        outputs[i] = object;
    }
    root.insert(QLatin1StringView("outputs"), outputs);
    return QJsonDocument(root).toJson().toStdString();
}

std::string appended(const std::string &profile, const std::string &output)
{
    QJsonObject root = QJsonDocument::fromJson(QByteArray::fromStdString(profile)).object();
    QJsonArray outputs = root.value(QLatin1StringView("outputs")).toArray();
    outputs.append(QJsonDocument::fromJson(QByteArray::fromStdString(output)).object());
    root.insert(QLatin1StringView("outputs"), outputs);
    return QJsonDocument(root).toJson().toStdString();
}

} // namespace runs
