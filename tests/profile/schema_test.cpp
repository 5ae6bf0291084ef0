#include "schema.h"

#include <gtest/gtest.h>

namespace {

using namespace profile;

// Every key there is, in the order and form writeProfile gives them.
const char *const full = R"({
    "outputs": [
        {
            "enabled": true,
            "hdr": true,
            "make": "Dell",
            "mirror": {
                "connector": "eDP-1"
            },
            "mode": {
                "height": 2160,
                "refresh": 59.951,
                "width": 3840
            },
            "model": "U2720Q",
            "position": {
                "x": -1920,
                "y": 0
            },
            "priority": 2,
            "rotation": "flipped90",
            "scale": 1.5,
            "serial": "7XK1",
            "vrr": "always"
        },
        {
            "connector": "eDP-1",
            "enabled": false
        }
    ],
    "version": 1
}
)";

TEST(Schema, WritesWhatItReads)
{
    QString error;
    const std::optional<Profile> profile = parseProfile(full, &error);
    ASSERT_TRUE(profile) << error.toStdString();
    ASSERT_EQ(profile->outputs.size(), 2);
    const OutputSettings &dell = profile->outputs[0];
    EXPECT_EQ(dell.identity, (Identity{"Dell", "U2720Q", "7XK1", {}}));
    EXPECT_EQ(dell.mirror, (Identity{{}, {}, {}, "eDP-1"}));
    EXPECT_EQ(dell.rotation, Dispor::Output::Rotation::Flipped90);
    EXPECT_EQ(dell.vrr, Dispor::Output::VrrPolicy::Always);
    EXPECT_EQ(writeProfile(*profile).toStdString(), full);
}

TEST(Schema, RefusesWhatItDoesNotKnow)
{
    const auto output = [](const char *keys) {
        return QStringLiteral(R"({"version": 1, "outputs": [{"connector": "DP-1", "enabled": true,
            "mode": {"width": 1920, "height": 1080, "refresh": 60}, "position": {"x": 0, "y": 0},
            "scale": 1, "rotation": "normal"%1}]})")
            .arg(QString::fromUtf8(keys))
            .toUtf8();
    };
    const std::vector<std::pair<QByteArray, const char *>> cases = {
        {"{", "not JSON (unterminated object at byte 1)"},
        {"[]", "expected a JSON object"},
        {R"({"outputs": []})", "version: missing"},
        {R"({"version": 2, "outputs": []})", "version 2 is not known (this program reads version 1)"},
        {R"({"version": 1})", "outputs: missing"},
        {R"({"version": 1, "outputs": {}})", "outputs: expected an array"},
        {R"({"version": 1, "outputs": []})", "outputs: empty"},
        {R"({"version": 1, "outputs": [], "extra": 1})", "extra: unknown key"},
        {R"({"version": 1, "outputs": [7]})", "outputs[0]: expected an object"},
        {R"({"version": 1, "outputs": [{"enabled": false}]})",
         "outputs[0]: no connector, make, model or serial"},
        {R"({"version": 1, "outputs": [{"connector": "", "enabled": false}]})",
         "outputs[0].connector: empty"},
        {R"({"version": 1, "outputs": [{"connector": "A", "make": "B", "enabled": false}]})",
         "outputs[0]: either a connector or make, model and serial, not both"},
        {R"({"version": 1, "outputs": [{"connector": "A"}]})", "outputs[0].enabled: missing"},
        {R"({"version": 1, "outputs": [{"connector": "A", "enabled": false, "scale": 1}]})",
         "outputs[0].scale: unknown key"},
        {R"({"version": 1, "outputs": [{"serial": 5, "enabled": false}]})",
         "outputs[0].serial: expected a string"},
        {output(R"(, "priority": -1)"), "outputs[0].priority: expected an integer in range"},
        {R"({"version": 1, "outputs": [{"connector": "A", "enabled": true, "position": {"x": 0, "y": 0},
            "mode": {"width": 1920, "height": 1080, "refresh": 60}, "scale": 1, "rotation": "sideways"}]})",
         "outputs[0].rotation: unknown word"},
        {output(R"(, "vrr": "sometimes")"), "outputs[0].vrr: unknown word"},
        {output(R"(, "hdr": 1)"), "outputs[0].hdr: expected true or false"},
        {output(R"(, "mirror": {"connector": "DP-1"})"), "outputs[0].mirror: the output itself"},
        {output(R"(, "mirror": {"connector": "DP-9"})"), "outputs[0].mirror: not an output of the profile"},
        {output(R"(, "mirror": {"connector": "DP-9", "x": 1})"), "outputs[0].mirror.x: unknown key"},
        {output(R"(, "colour": "red")"), "outputs[0].colour: unknown key"},
        {R"({"version": 1, "outputs": [{"connector": "A", "enabled": true}]})", "outputs[0].mode: missing"},
        {R"({"version": 1, "outputs": [{"connector": "A", "enabled": true, "position": {"x": 0, "y": 0},
            "mode": {"width": 0, "height": 1080, "refresh": 60}}]})",
         "outputs[0].mode.width: expected a positive integer"},
        {R"({"version": 1, "outputs": [{"connector": "A", "enabled": true, "position": {"x": 0, "y": 0},
            "mode": {"width": 1.5, "height": 1080, "refresh": 60}}]})",
         "outputs[0].mode.width: expected a positive integer"},
        {R"({"version": 1, "outputs": [{"connector": "A", "enabled": true, "position": {"x": 0, "y": 0},
            "mode": {"width": 1920, "height": 1080, "refresh": 0}}]})",
         "outputs[0].mode.refresh: expected a positive number"},
        {R"({"version": 1, "outputs": [{"connector": "A", "enabled": true, "position": {"x": 0},
            "mode": {"width": 1920, "height": 1080, "refresh": 60}}]})",
         "outputs[0].position.y: missing"},
        {R"({"version": 1, "outputs": [{"connector": "A", "enabled": true, "position": {"x": 0, "y": 0},
            "mode": {"width": 1920, "height": 1080, "refresh": 60}, "scale": 0, "rotation": "normal"}]})",
         "outputs[0].scale: expected a positive number"},
        {R"({"version": 1, "outputs": [{"connector": "A", "enabled": false},
            {"connector": "A", "enabled": false}]})",
         "outputs[1]: the same output as outputs[0]"},
    };
    for (const auto &[text, expected] : cases) {
        QString error;
        EXPECT_FALSE(parseProfile(text, &error)) << text.toStdString();
        EXPECT_EQ(error.toStdString(), expected) << text.toStdString();
    }
}

} // namespace
