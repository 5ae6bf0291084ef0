#include "fixture.h"

#include <QJsonArray>

namespace x11 {
namespace {

using e2e::Result;

class X11Picture : public X11Test {};

QStringList capabilities(const QJsonObject &report)
{
    QStringList list;
    for (const QJsonValue &value : report["capabilities"].toArray())
        list.append(value.toString());
    return list;
}

Result refusal(const std::string &reason)
{
    return {1, "", "Failed to apply output configuration: " + reason + "\n"};
}

// Straight ramps of 256 steps up to each channel's top.
Ramps rampsTo(double red, double green, double blue)
{
    Ramps ramps;
    for (int i = 0; i < 256; ++i) {
        ramps.red.push_back(uint16_t(std::lround(i * red / 255)));
        ramps.green.push_back(uint16_t(std::lround(i * green / 255)));
        ramps.blue.push_back(uint16_t(std::lround(i * blue / 255)));
    }
    return ramps;
}

Ramps scaled(const Ramps &ramps, double by)
{
    Ramps result;
    for (const auto &[from, to] : {std::pair{&ramps.red, &result.red}, std::pair{&ramps.green, &result.green},
                                   std::pair{&ramps.blue, &result.blue}}) {
        for (const uint16_t step : *from)
            to->push_back(uint16_t(std::lround(step * by)));
    }
    return result;
}

TEST_F(X11Picture, BrightnessIsTheGammaRamp)
{
    for (const auto &[percent, shown, value] :
         {std::tuple{"50%", "0.50", 0.5}, std::tuple{"25%", "0.25", 0.25}, std::tuple{"100%", "1.0", 1.0}}) {
        EXPECT_EQ(run({"DUMMY0", "set-brightness", percent}), (Result{0, "", ""}));
        const XScreen after = screen();
        EXPECT_EQ(after["DUMMY0"].properties.at("Brightness"), shown) << percent;
        EXPECT_EQ(after["DUMMY1"].properties.at("Brightness"), "1.0") << percent;
        EXPECT_EQ(json("DUMMY0")["brightness"].toDouble(), value) << percent;
    }
    // As another client wrote it: the ramp's top over 65535.
    xrandr(display(), {"--output", "DUMMY1", "--brightness", "0.7"});
    EXPECT_EQ(json("DUMMY1")["brightness"].toDouble(), 0.7);
    EXPECT_EQ(run({"DUMMY1", "set-brightness", "70%"}), (Result{0, "", ""}));
    EXPECT_EQ(screen()["DUMMY1"].properties.at("Brightness"), "0.70");
    EXPECT_EQ(json("DUMMY1")["brightness"].toDouble(), 0.7);

    // Blacked out by another client, the ramps all at zero are brightness 0
    // on Xorg, whose driver starts them straight: the output comes back.
    xrandr(display(), {"--output", "DUMMY1", "--brightness", "0"});
    ASSERT_EQ(screen()["DUMMY1"].properties.at("Brightness"), "0.0");
    const QJsonObject dark = json("DUMMY1");
    EXPECT_TRUE(capabilities(dark).contains("brightness"));
    EXPECT_EQ(dark["brightness"].toDouble(), 0.0);
    EXPECT_EQ(run({"DUMMY1", "set-brightness", "50%"}), (Result{0, "", ""}));
    const XOutput lit = screen()["DUMMY1"];
    EXPECT_EQ(lit.properties.at("Brightness"), "0.50");
    EXPECT_EQ(lit.properties.at("Gamma"), "1.0:1.0:1.0");
    EXPECT_EQ(json("DUMMY1")["brightness"].toDouble(), 0.5);

    // Our record, forged by another client on the blacked-out output: at
    // brightness 0 any ramps match the CRTC's, so only ramps we could have
    // recorded (rising, up to the top) are trusted; else the driver's.
    std::vector<uint16_t> straight, backwards, white(256, 65535), dim;
    for (int i = 0; i < 256; ++i) {
        straight.push_back(uint16_t(i * 256));
        backwards.push_back(uint16_t(32768 * (255 - i) / 255));
        dim.push_back(uint16_t(i * 128));
    }
    const std::vector<uint16_t> forged[][3] = {
        {backwards, backwards, backwards},
        {white, white, white},
        {dim, dim, dim},
        {straight, straight, backwards},
        {std::vector<uint16_t>(256), straight, straight},
    };
    for (const auto &[red, green, blue] : forged) {
        xrandr(display(), {"--output", "DUMMY1", "--brightness", "0"});
        std::vector<uint16_t> record = {0, 0};
        for (const std::vector<uint16_t> *ramp : {&red, &green, &blue})
            record.insert(record.end(), ramp->begin(), ramp->end());
        randr().setShorts("DUMMY1", "_DISPOR_GAMMA", record);
        EXPECT_EQ(run({"DUMMY1", "set-brightness", "50%"}), (Result{0, "", ""}));
        EXPECT_EQ(randr().gamma("DUMMY1"), scaled({straight, straight, straight}, 0.5))
            << red[0] << ' ' << blue[0];
    }
    EXPECT_EQ(screen()["DUMMY1"].properties.at("Brightness"), "0.50");

    // Off, the output has no CRTC and so no ramp.
    const std::string before = screen().text;
    EXPECT_EQ(run({"DUMMY2", "set-brightness", "50%"}),
              refusal("DUMMY2: cannot change the brightness: the output has no brightness control"));
    EXPECT_EQ(screen().text, before);
}

TEST_F(X11Picture, BrightnessKeepsAnotherProgramsColourBalance)
{
    // A night light's 4500 K, and a hand-made linear tint.
    const Ramps nightLight = rampsTo(65280, 56702, 48104);
    const Ramps handMade = rampsTo(65535, 0.8 * 65535, 0.6 * 65535);
    const Ramps other = randr().gamma("DUMMY0");
    for (const auto &[tint, percent, factor] :
         {std::tuple{nightLight, "80", 0.8}, std::tuple{handMade, "50%", 0.5}}) {
        randr().setGamma("DUMMY1", tint);
        EXPECT_EQ(json("DUMMY1")["brightness"].toDouble(), 1.0);
        EXPECT_EQ(run({"DUMMY1", "set-brightness", percent}), (Result{0, "", ""}));
        EXPECT_EQ(randr().gamma("DUMMY1"), scaled(tint, factor)) << percent;
        EXPECT_EQ(json("DUMMY1")["brightness"].toDouble(), factor) << percent;
        // At 0 the curves are gone from the server's ramps, not from the
        // record they are made from.
        EXPECT_EQ(run({"DUMMY1", "set-brightness", "0"}), (Result{0, "", ""}));
        EXPECT_EQ(randr().gamma("DUMMY1"), scaled(tint, 0)) << percent;
        EXPECT_EQ(json("DUMMY1")["brightness"].toDouble(), 0.0) << percent;
        EXPECT_EQ(run({"DUMMY1", "set-brightness", "100%"}), (Result{0, "", ""}));
        EXPECT_EQ(randr().gamma("DUMMY1"), tint) << percent;
    }
    EXPECT_EQ(randr().gamma("DUMMY0"), other);
}

TEST_F(X11Picture, BrightnessIsTheBacklightWhereTheDriverHasOne)
{
    // A panel as the intel driver publishes it, with the driver's other
    // properties beside it: each setting goes to its own.
    for (const char *output : {"DUMMY1", "DUMMY2"})
        randr().createRange(output, "Backlight", 0, 937, 937);
    randr().createEnum("DUMMY1", "Broadcast RGB", {"Automatic", "Full", "Limited 16:235"}, "Automatic");
    randr().createRange("DUMMY1", "max bpc", 6, 12, 12);
    randr().createEnum("DUMMY1", "underscan", {"off", "on", "auto"}, "off");
    randr().createRange("DUMMY1", "underscan hborder", 0, 128, 0);
    randr().createRange("DUMMY1", "underscan vborder", 0, 128, 0);
    EXPECT_EQ(capabilities(json("DUMMY1")),
              (QStringList{"overscan", "rgb-range", "brightness", "maxbpc", "custom-modes", "disable"}));
    const Ramps ramps = randr().gamma("DUMMY1");
    const std::pair<std::vector<std::string>, std::map<std::string, std::string>> cases[] = {
        {{"DUMMY1", "set-brightness", "50%"}, {{"Backlight", "469"}}},
        {{"DUMMY1", "set-rgb-range", "full"}, {{"Broadcast RGB", "Full"}}},
        {{"DUMMY1", "set-maxbpc", "10"}, {{"max bpc", "10"}}},
        {{"DUMMY1", "set-overscan", "5"},
         {{"underscan", "on"}, {"underscan hborder", "5"}, {"underscan vborder", "5"}}},
        {{"DUMMY1", "set-brightness", "0"}, {{"Backlight", "0"}}},
        // Off, without a CRTC, the panel's light is still the driver's.
        {{"DUMMY2", "set-brightness", "25%"}, {}},
    };
    std::map<std::string, std::string> held = {{"Backlight", "937"},       {"Broadcast RGB", "Automatic"},
                                               {"max bpc", "12"},          {"underscan", "off"},
                                               {"underscan hborder", "0"}, {"underscan vborder", "0"}};
    for (const auto &[args, changed] : cases) {
        EXPECT_EQ(run(args), (Result{0, "", ""})) << args[2];
        for (const auto &[name, value] : changed)
            held[name] = value;
        const XScreen after = screen();
        for (const auto &[name, value] : held)
            EXPECT_EQ(after["DUMMY1"].properties.at(name), value) << args[2] << ' ' << name;
    }
    EXPECT_EQ(screen()["DUMMY2"].properties.at("Backlight"), "234");
    EXPECT_EQ(json("DUMMY2")["brightness"].toDouble(), 234.0 / 937);
    EXPECT_EQ(json("DUMMY1")["brightness"].toDouble(), 0.0);
    // The ramps are not the brightness there.
    EXPECT_EQ(randr().gamma("DUMMY1"), ramps);
}

TEST_F(X11Picture, RgbRangeIsBroadcastRgb)
{
    randr().createEnum("DUMMY1", "Broadcast RGB", {"Automatic", "Full", "Limited 16:235"}, "Automatic");
    QJsonObject report = json("DUMMY1");
    EXPECT_EQ(capabilities(report), (QStringList{"rgb-range", "brightness", "custom-modes", "disable"}));
    EXPECT_EQ(report["rgbRange"].toString(), "automatic");
    for (const auto &[word, value] : {std::pair{"full", "Full"}, std::pair{"limited", "Limited 16:235"},
                                      std::pair{"automatic", "Automatic"}}) {
        EXPECT_EQ(run({"DUMMY1", "set-rgb-range", word}), (Result{0, "", ""}));
        EXPECT_EQ(screen()["DUMMY1"].properties.at("Broadcast RGB"), value);
        EXPECT_EQ(json("DUMMY1")["rgbRange"].toString(), word);
    }
    EXPECT_EQ(run({"DUMMY0", "set-rgb-range", "full"}),
              refusal("DUMMY0: cannot change the RGB range: the output has no RGB range setting"));
    EXPECT_EQ(screen()["DUMMY0"].properties.count("Broadcast RGB"), 0u);
}

TEST_F(X11Picture, MaxBitsPerColorIsMaxBpcWithinItsRange)
{
    randr().createRange("DUMMY1", "max bpc", 6, 12, 12);
    QJsonObject report = json("DUMMY1");
    EXPECT_EQ(capabilities(report), (QStringList{"brightness", "maxbpc", "custom-modes", "disable"}));
    // The value held is a limit; RandR's "max bpc" has no automatic value.
    EXPECT_EQ(report["maxbpc"].toInt(), 12);
    EXPECT_NE(run({"DUMMY1"})
                  .out.find("Color resolution: \x1b[0;0m12 bits per color, range: [6; 12] bits per color\n"),
              std::string::npos);

    for (const char *bits : {"8", "12", "10"}) {
        EXPECT_EQ(run({"DUMMY1", "set-maxbpc", bits}), (Result{0, "", ""}));
        EXPECT_EQ(screen()["DUMMY1"].properties.at("max bpc"), bits);
        EXPECT_EQ(json("DUMMY1")["maxbpc"].toInt(), std::stoi(bits));
    }

    EXPECT_EQ(run({"DUMMY1", "set-maxbpc", "16"}),
              refusal("DUMMY1: the maximum bits per colour cannot be 16: the output allows 6 to 12"));
    EXPECT_EQ(screen()["DUMMY1"].properties.at("max bpc"), "10");

    // Automatic lets the driver choose up to the most the output allows.
    EXPECT_EQ(run({"DUMMY1", "set-maxbpc", "automatic"}), (Result{0, "", ""}));
    EXPECT_EQ(screen()["DUMMY1"].properties.at("max bpc"), "12");
    EXPECT_EQ(json("DUMMY1")["maxbpc"].toInt(), 12);

    // A range that holds 0 has an automatic value.
    randr().createRange("DUMMY1", "max bpc", 0, 16, 10);
    EXPECT_EQ(json("DUMMY1")["maxbpc"].toInt(), 10);
    EXPECT_EQ(run({"DUMMY1", "set-maxbpc", "automatic"}), (Result{0, "", ""}));
    EXPECT_EQ(screen()["DUMMY1"].properties.at("max bpc"), "0");
    EXPECT_EQ(json("DUMMY1")["maxbpc"].toInt(), 0);

    EXPECT_EQ(run({"DUMMY0", "set-maxbpc", "8"}),
              refusal("DUMMY0: cannot change the maximum bits per colour: the output has no setting for the "
                      "bits per colour"));

    // Pending, as some drivers have it: the server takes a value and shows
    // it only from the CRTC's next setting on. Not held, the change is sent
    // back, and that setting brings nothing in.
    randr().createRange("DUMMY1", "max bpc", 6, 12, 8, true);
    xrandr(display(), {"--output", "DUMMY1", "--pos", "1920x1"});
    EXPECT_EQ(run({"DUMMY1", "set-maxbpc", "10"}),
              refusal("DUMMY1: the X server accepted the maximum bits per colour \"10\" but keeps \"8\"; the "
                      "outputs were set back as they were"));
    xrandr(display(), {"--output", "DUMMY1", "--pos", "1920x0"});
    EXPECT_EQ(screen()["DUMMY1"].properties.at("max bpc"), "8");
}

TEST_F(X11Picture, OverscanIsTheUnderscanBorder)
{
    randr().createEnum("DUMMY1", "underscan", {"off", "on", "auto"}, "off");
    randr().createRange("DUMMY1", "underscan hborder", 0, 128, 0);
    randr().createRange("DUMMY1", "underscan vborder", 0, 128, 0);
    EXPECT_EQ(capabilities(json("DUMMY1")),
              (QStringList{"overscan", "brightness", "custom-modes", "disable"}));

    EXPECT_EQ(run({"DUMMY1", "set-overscan", "20"}), (Result{0, "", ""}));
    XOutput output = screen()["DUMMY1"];
    EXPECT_EQ(output.properties.at("underscan"), "on");
    EXPECT_EQ(output.properties.at("underscan hborder"), "20");
    EXPECT_EQ(output.properties.at("underscan vborder"), "20");
    EXPECT_EQ(json("DUMMY1")["overscan"].toInt(), 20);

    EXPECT_EQ(run({"DUMMY1", "set-overscan", "0"}), (Result{0, "", ""}));
    EXPECT_EQ(screen()["DUMMY1"].properties.at("underscan"), "off");
    EXPECT_EQ(json("DUMMY1")["overscan"].toInt(), 0);

    randr().createRange("DUMMY1", "underscan hborder", 0, 16, 0);
    EXPECT_EQ(run({"DUMMY1", "set-overscan", "20"}),
              refusal("DUMMY1: the overscan cannot be 20: the output allows 0 to 16"));
    EXPECT_EQ(screen()["DUMMY1"].properties.at("underscan"), "off");
    EXPECT_EQ(run({"DUMMY0", "set-overscan", "10"}),
              refusal("DUMMY0: cannot change the overscan: the output has no overscan control"));
}

TEST_F(X11Picture, RefusesWhatRandrCannotDoAndChangesNothing)
{
    // Every property the tool can change but RandR (or the dummy driver) has
    // no place for: refused with the reason, the server left as it was.
    randr().createEnum("DUMMY1", "Broadcast RGB", {"Automatic", "Full"}, "Automatic");
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"set-rotation", "left"}, "DUMMY0: the output's CRTC cannot show the rotation \"90\""},
        {{"set-rotation", "flipped180"}, "DUMMY0: the output's CRTC cannot show the rotation \"flipped180\""},
        {{"set-scale", "200%"},
         "DUMMY0: cannot change the scale: the output's CRTC takes no transform, by which RandR scales an "
         "output"},
        {{"set-dimming", "50%"},
         "DUMMY0: cannot change the dimming: the gamma ramp of an X11 output carries its brightness only"},
        {{"set-hdr", "true"}, "DUMMY0: cannot change HDR: the output has no HDR support"},
        {{"toggle-hdr"}, "DUMMY0: cannot change HDR: the output has no HDR support"},
        {{"set-wcg", "true"},
         "DUMMY0: cannot change wide colour gamut: the output has no wide colour gamut support"},
        {{"set-sdr-brightness", "300"},
         "DUMMY0: cannot change the SDR brightness: the output has no HDR support"},
        {{"set-max-peak-brightness-override", "500"},
         "DUMMY0: cannot change the maximum peak brightness override: the output has no HDR support"},
        {{"set-vrr-policy", "always"}, "DUMMY0: cannot change the VRR policy: the output has no VRR support"},
        {{"set-sharpness", "50"}, "DUMMY0: cannot change the sharpness: the output has no sharpness control"},
        {{"set-abm", "1"},
         "DUMMY0: cannot change adaptive backlight modulation: the output has no adaptive backlight "
         "modulation"},
        {{"set-auto-rotate", "always"},
         "DUMMY0: cannot change automatic rotation: the output has no automatic rotation"},
        {{"set-ddc-ci-allowed", "true"},
         "DUMMY0: cannot change the DDC/CI permission: the output has no DDC/CI"},
        {{"set-icc-profile", "/nonexistent.icc"},
         "DUMMY0: cannot change the ICC profile: the output takes no ICC profile"},
        {{"set-hdr-icc-profile", "/nonexistent.icc"},
         "DUMMY0: cannot change the HDR ICC profile: the output takes no HDR ICC profile"},
        {{"set-color-profile-source", "ICC"},
         "DUMMY0: cannot change the colour profile source: the output takes no ICC profile and has no "
         "built-in colour profile"},
        {{"set-color-power-tradeoff", "prefer-accuracy"},
         "DUMMY0: cannot change the colour/power trade-off: X11 keeps no colour management of its own"},
        {{"set-auto-brightness", "true"},
         "DUMMY0: cannot change automatic brightness: the output has no automatic brightness"},
        {{"set-edr-policy", "always"}, "DUMMY0: cannot change the EDR policy: the output has no EDR support"},
    };
    const std::string before = screen().text;
    for (const auto &[args, reason] : cases) {
        std::vector<std::string> line = {"DUMMY0"};
        line.insert(line.end(), args.begin(), args.end());
        EXPECT_EQ(run(line), refusal(reason)) << args[0];
        EXPECT_EQ(screen().text, before) << args[0];
    }
    // An RGB range the property does not offer.
    EXPECT_EQ(run({"DUMMY1", "set-rgb-range", "limited"}),
              refusal("DUMMY1: \"Broadcast RGB\" offers no value for the RGB range \"2\""));
    EXPECT_EQ(screen().text, before);
}

TEST_F(X11Picture, DisplayPowerNeedsDpms)
{
    // The dummy driver's server has no DPMS extension.
    for (const char *command : {"off", "on"}) {
        const Result result = run({command});
        EXPECT_EQ(result.status, 1) << command;
        EXPECT_EQ(result.out, "") << command;
        const std::string last =
            "Failed to switch display power: the X server has no DPMS extension, so it cannot "
            "switch display power\n";
        ASSERT_GE(result.err.size(), last.size()) << result;
        EXPECT_EQ(result.err.substr(result.err.size() - last.size()), last) << result;
    }
}

} // namespace
} // namespace x11
