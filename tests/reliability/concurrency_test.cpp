// Many runs of dispctl on one document at the same moment: each changes its
// own property of its own output, and none of the changes may get lost.

#include "process.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int outputCount = 8;

std::string outputName(int k)
{
    return "DP-" + std::to_string(k + 1);
}

// Eight connected outputs that can do everything, side by side.
std::string document()
{
    std::string outputs;
    for (int k = 0; k < outputCount; ++k) {
        outputs += (k ? ",\n" : "") + std::string(R"({"id": )") + std::to_string(k + 1) + R"(, "name": ")"
            + outputName(k) + R"(", "priority": )" + std::to_string(k + 1) + R"(, "pos": {"x": )"
            + std::to_string(1920 * k) + R"(, "y": 0},
            "modes": [{"id": "1", "width": 1920, "height": 1080, "refreshRate": 60.0}], "currentModeId": "1",
            "capabilities": ["overscan", "vrr", "rgb-range", "hdr", "brightness", "sharpness", "disable"]})";
    }
    return R"({"outputs": [)" + outputs + "]}";
}

// One run's change and how to see it in the document.
struct Change {
    std::vector<std::string> args;
    std::string key;
    QJsonValue value;
};

// Four properties of each output, with values that differ per round, so
// that a change left over from an earlier round does not count.
std::vector<Change> changes(int round)
{
    std::vector<Change> result;
    for (int k = 0; k < outputCount; ++k) {
        const std::string name = outputName(k);
        const int percent = 10 + 10 * round + k;
        result.push_back({{name, "set-brightness", std::to_string(percent) + "%"}, "brightness", percent / 100.0});
        result.push_back({{name, "set-overscan", std::to_string(1 + 10 * round + k)}, "overscan", 1 + 10 * round + k});
        const char *policy = (round + k) % 2 ? "never" : "always";
        result.push_back({{name, "set-vrr-policy", policy}, "vrrPolicy", policy});
        const int x = 1920 * k + 7 + round;
        result.push_back({{name, "set-position", std::to_string(x), "13"}, "pos", QJsonObject{{"x", x}, {"y", 13}}});
    }
    return result;
}

TEST(Concurrency, ThirtyTwoRunsStartedAtOnceAllKeepTheirChange)
{
    e2e::VirtualSet set(document());
    constexpr int rounds = 3;
    int runs = 0;
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const std::vector<Change> wanted = changes(round);
        ASSERT_EQ(wanted.size(), 32u);

        reliability::Gate gate;
        std::vector<std::unique_ptr<reliability::Process>> processes;
        for (const Change &change : wanted) {
            reliability::Launch launch;
            launch.args = change.args;
            processes.push_back(std::make_unique<reliability::Process>(set, launch, &gate));
        }
        gate.open();
        for (size_t i = 0; i < wanted.size(); ++i) {
            SCOPED_TRACE(::testing::PrintToString(wanted[i].args));
            EXPECT_EQ(processes[i]->wait(), (e2e::Result{0, "", ""}));
            ++runs;
        }

        // The document loads strictly and holds every change.
        const e2e::Result check = e2e::run(set, {"list-outputs", "--json"});
        ASSERT_EQ(check.status, 0) << check;
        QJsonParseError error;
        const QJsonDocument written = QJsonDocument::fromJson(QByteArray::fromStdString(set.read()), &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << set.read();
        const QJsonArray outputs = written["outputs"].toArray();
        ASSERT_EQ(outputs.size(), outputCount);
        for (const Change &change : wanted) {
            SCOPED_TRACE(::testing::PrintToString(change.args));
            QJsonObject output;
            for (const QJsonValue &value : outputs) {
                if (value["name"].toString().toStdString() == change.args[0])
                    output = value.toObject();
            }
            EXPECT_EQ(output[QString::fromStdString(change.key)], change.value);
        }
    }
    RecordProperty("runs", runs);
}

} // namespace
