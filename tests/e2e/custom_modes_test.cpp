#include "document_cases.h"

using namespace cases;

namespace {

const std::string helpTimings =
    R"({"flags":1,"height":2160,"refreshRate":59.981,"timings":{"clock":712750,"flags":6,"hdisplay":3840,)"
    R"("hskew":0,"hsyncEnd":4576,"hsyncStart":4160,"htotal":5312,"vdisplay":2160,"vscan":1,"vsyncEnd":2168,)"
    R"("vsyncStart":2163,"vtotal":2237},"width":3840})";

// DP-1 has no custom modes yet, DP-2 three; HDMI-A-1 keeps one although it
// lacks the capability to change them.
const std::string document = R"({"outputs": [
    {"id": 1, "name": "DP-1", "priority": 1, "capabilities": ["custom-modes"],
     "modes": [{"id": "1", "width": 1920, "height": 1080, "refreshRate": 60.0}], "currentModeId": "1"},
    {"id": 2, "name": "DP-2", "priority": 2, "pos": {"x": 1920, "y": 0}, "capabilities": ["custom-modes"],
     "modes": [{"id": "1", "width": 1920, "height": 1080, "refreshRate": 60.0}], "currentModeId": "1",
     "customModes": [
        {"width": 1920, "height": 1080, "refreshRate": 60.0, "flags": 1},
        {"width": 1920, "height": 1080, "refreshRate": 60.0, "flags": 3},
        {"width": 3840, "height": 2160, "refreshRate": 59.981, "flags": 1,
         "timings": {"clock": 712750, "hdisplay": 3840, "hsyncStart": 4160, "hsyncEnd": 4576, "htotal": 5312,
                     "hskew": 0, "vdisplay": 2160, "vsyncStart": 2163, "vsyncEnd": 2168, "vtotal": 2237,
                     "vscan": 1, "flags": 6}}
     ]},
    {"id": 3, "name": "HDMI-A-1", "priority": 3, "pos": {"x": 3840, "y": 0},
     "modes": [{"id": "1", "width": 1920, "height": 1080, "refreshRate": 60.0}], "currentModeId": "1",
     "customModes": [{"width": 1280, "height": 720, "refreshRate": 50.0, "flags": 1}]}
]})";

const std::string plain1080 = R"({"flags":1,"height":1080,"refreshRate":60,"width":1920})";
const std::string reduced1080 = R"({"flags":3,"height":1080,"refreshRate":60,"width":1920})";

std::string dp2With(const std::string &added)
{
    return "DP-2.customModes=[" + plain1080 + "," + reduced1080 + "," + helpTimings + "," + added + "]";
}

TEST(CustomModes, AddCustomMode)
{
    On(document).expectChanges({
        {{"DP-1", "add-custom-mode", "1920x1080@60.0Hz"}, {"DP-1.customModes=[" + plain1080 + "]"}},
        {{"DP-1", "add-custom-mode", "1920x1080@60"}, {"DP-1.customModes=[" + plain1080 + "]"}},
        {{"DP-1", "add-custom-mode", "--reduced-blanking", "1920x1080@60.0Hz"},
         {"DP-1.customModes=[" + reduced1080 + "]"}},
        {{"DP-1", "add-custom-mode", "1920x1080@60", "--reduced-blanking"},
         {"DP-1.customModes=[" + reduced1080 + "]"}},
        {{"DP-1", "add-custom-mode", "712.75", "3840", "4160", "4576", "5312", "2160", "2163", "2168", "2237",
          "-hsync", "+vsync"},
         {"DP-1.customModes=[" + helpTimings + "]"}},
        // Reduced blanking means nothing with timings; sizes keep their low 16 bits.
        {{"DP-1", "add-custom-mode", "148.5", "67456", "2008", "2052", "2200", "1080", "1084",
          "--reduced-blanking", "1089", "1125", "interlace", "+hsync", "+hsync", "-vsync"},
         {"DP-1.customModes=[{\"flags\":1,\"height\":1080,\"refreshRate\":120,\"timings\":{\"clock\":148500,"
          "\"flags\":25,\"hdisplay\":1920,\"hskew\":0,\"hsyncEnd\":2052,\"hsyncStart\":2008,\"htotal\":2200,"
          "\"vdisplay\":1080,\"vscan\":1,\"vsyncEnd\":1089,\"vsyncStart\":1084,\"vtotal\":1125},\"width\":"
          "1920}]"}},
        // New modes go last.
        {{"DP-2", "add-custom-mode", "2560x1440@75"},
         {dp2With(R"({"flags":1,"height":1440,"refreshRate":75,"width":2560})")}},
        // The same size and rate with timings is another mode.
        {{"DP-2", "add-custom-mode", "148.5", "1920", "2008", "2052", "2200", "1080", "1084", "1089", "1125"},
         {dp2With(
             R"({"flags":1,"height":1080,"refreshRate":60,"timings":{"clock":148500,"flags":0,)"
             R"("hdisplay":1920,"hskew":0,"hsyncEnd":2052,"hsyncStart":2008,"htotal":2200,"vdisplay":1080,)"
             R"("vscan":1,"vsyncEnd":1089,"vsyncStart":1084,"vtotal":1125},"width":1920})")}},
    });
}

TEST(CustomModes, AddingAModeTheOutputHasChangesNothing)
{
    const std::vector<std::vector<std::string>> runs = {
        {"DP-2", "add-custom-mode", "1920x1080@60.0Hz"},
        {"DP-2", "add-custom-mode", "--reduced-blanking", "1920x1080@60"},
        {"DP-2", "add-custom-mode", "712.75", "3840", "4160", "4576", "5312", "2160", "2163", "2168", "2237",
         "+vsync", "-hsync"},
        // Never reaches the service, which would refuse the change.
        {"HDMI-A-1", "add-custom-mode", "1280x720@50"},
    };
    for (const auto &args : runs) {
        SCOPED_TRACE(::testing::PrintToString(args));
        e2e::VirtualSet set(document);
        EXPECT_EQ(e2e::run(set, args), (e2e::Result{0, "", ""}));
        EXPECT_EQ(set.read(), document);
    }
}

TEST(CustomModes, AddCustomModeRefusals)
{
    const std::string expecting = ", expecting `width`x`height`@`refresh_rate`";
    const std::vector<std::string> timings = {"25.175", "640", "656", "752", "800",
                                              "480",    "490", "492", "525"};
    const auto with = [&](std::size_t index, const std::string &value) {
        std::vector<std::string> args = {"DP-1", "add-custom-mode"};
        args.insert(args.end(), timings.begin(), timings.end());
        if (index < timings.size())
            args[2 + index] = value;
        else
            args.push_back(value);
        return args;
    };
    On(document).expectRefusals({
        {{"DP-1", "add-custom-mode", "1920x1080"}, "Invalid argument: 1920x1080" + expecting},
        {{"DP-1", "add-custom-mode", "1920x1080@60hz"}, "Invalid argument: 1920x1080@60hz" + expecting},
        {{"DP-1", "add-custom-mode", "1920X1080@60"}, "Invalid argument: 1920X1080@60" + expecting},
        {{"DP-1", "add-custom-mode", "1920x1080@"}, "Invalid argument: 1920x1080@" + expecting},
        {{"DP-1", "add-custom-mode", "wide"}, "Invalid argument: wide" + expecting},
        {{"DP-1", "add-custom-mode", "1920x1080@nan"}, "Invalid argument: 1920x1080@nan" + expecting},
        {{"DP-1", "add-custom-mode", "1920x1080@1e39"}, "Invalid argument: 1920x1080@1e39" + expecting},
        {with(9, "phsync"), "Failed to parse argument: phsync"},
        {with(9, "+HSYNC"), "Failed to parse argument: +HSYNC"},
        {with(0, "25,175"), "Failed to parse argument: 25,175"},
        {with(4, "-800"), "Failed to parse argument: -800"},
        {with(1, "640.0"), "Failed to parse argument: 640.0"},
        {with(8, "4294967296"), "Failed to parse argument: 4294967296"},
        // Zero totals, also after truncation to 16 bits, have no refresh rate.
        {with(4, "0"), "Failed to parse argument: 0"},
        {with(8, "65536"), "Failed to parse argument: 65536"},
        {{"DP-1", "add-custom-mode", "1920x1080@60", "75"}, "Invalid arguments: 1920x1080@60 75"},
        {{"DP-1", "add-custom-mode"}, "Invalid arguments: "},
        {{"DP-1", "add-custom-mode", "--reduced", "1920x1080@60"}, "Unknown argument: --reduced"},
        {{"HDMI-A-1", "add-custom-mode", "1920x1080@60"},
         "Failed to apply output configuration: HDMI-A-1: cannot change custom modes: the output takes no "
         "custom "
         "modes"},
    });
}

TEST(CustomModes, ListCustomModesWritesToStandardError)
{
    e2e::VirtualSet set(document);
    EXPECT_EQ(e2e::run(set, {"DP-2", "list-custom-modes"}),
              (e2e::Result{0, "",
                           "0: 1920x1080@60.00Hz\n"
                           "1: 1920x1080@60.00Hz +reduced-blanking\n"
                           "2: 3840x2160@59.98Hz\n"}));
    EXPECT_EQ(e2e::run(set, {"DP-1", "list-custom-modes"}), (e2e::Result{0, "", ""}));
    EXPECT_EQ(e2e::run(set, {"DP-9", "list-custom-modes"}), (e2e::Result{1, "", "Unknown output: DP-9\n"}));
    EXPECT_EQ(set.read(), document);
}

TEST(CustomModes, RemoveCustomMode)
{
    On(document).expectChanges({
        {{"DP-2", "remove-custom-mode", "0"}, {"DP-2.customModes=[" + reduced1080 + "," + helpTimings + "]"}},
        {{"DP-2", "remove-custom-mode", "+1"}, {"DP-2.customModes=[" + plain1080 + "," + helpTimings + "]"}},
        {{"DP-2", "remove-custom-mode", "2"}, {"DP-2.customModes=[" + plain1080 + "," + reduced1080 + "]"}},
    });
    On(document).expectRefusals({
        {{"DP-1", "remove-custom-mode", "0"}, "Invalid mode index: 0"},
        {{"DP-2", "remove-custom-mode", "3"}, "Invalid mode index: 3"},
        // The number, not the text, once it is one.
        {{"DP-2", "remove-custom-mode", "007"}, "Invalid mode index: 7"},
        {{"DP-2", "remove-custom-mode", "-1"}, "Invalid mode index: -1"},
        {{"DP-2", "remove-custom-mode", "first"}, "Invalid mode index: first"},
        {{"DP-2", "remove-custom-mode", "1.0"}, "Invalid mode index: 1.0"},
        {{"DP-2", "remove-custom-mode", "4294967296"}, "Invalid mode index: 4294967296"},
        {{"DP-2", "remove-custom-mode"}, "Invalid arguments: "},
        {{"HDMI-A-1", "remove-custom-mode", "0"},
         "Failed to apply output configuration: HDMI-A-1: cannot change custom modes: the output takes no "
         "custom "
         "modes"},
    });

    // Later modes move down after a removal.
    e2e::VirtualSet set(document);
    ASSERT_EQ(e2e::run(set, {"DP-2", "remove-custom-mode", "0"}), (e2e::Result{0, "", ""}));
    EXPECT_EQ(e2e::run(set, {"DP-2", "list-custom-modes"}),
              (e2e::Result{0, "", "0: 1920x1080@60.00Hz +reduced-blanking\n1: 3840x2160@59.98Hz\n"}));
}

} // namespace
