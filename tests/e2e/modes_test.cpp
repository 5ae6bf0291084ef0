#include "document_cases.h"

using namespace cases;

namespace {

// DP-1's mode ids sort as strings: "1", "10", "2", "3", "4", "5" (the
// service writes them in that order too).
const std::string document = R"({"outputs": [
    {"id": 1, "name": "DP-1", "priority": 1,
     "modes": [
        {"id": "1", "width": 1920, "height": 1080, "refreshRate": 60.0},
        {"id": "10", "width": 3840, "height": 2160, "refreshRate": 30.0},
        {"id": "2", "width": 1920, "height": 1080, "refreshRate": 59.94},
        {"id": "3", "width": 1280, "height": 720, "refreshRate": 60.0},
        {"id": "4", "width": 2560, "height": 1440, "refreshRate": 60.001},
        {"id": "5", "width": 2560, "height": 1440, "refreshRate": 60.004}
     ],
     "currentModeId": "1", "preferredModeId": "1"},
    {"id": 2, "name": "HDMI-A-1", "priority": 2, "pos": {"x": 1920, "y": 0},
     "modes": [{"id": "a", "width": 1920, "height": 1080, "refreshRate": 60.0}], "currentModeId": "a"},
    {"id": 3, "name": "Virtual-1", "connected": false}
]})";

TEST(Modes, ListModes)
{
    e2e::VirtualSet set(document);
    EXPECT_EQ(e2e::run(set, {"DP-1", "list-modes"}), (e2e::Result{0,
                                                                  "1:1920x1080@60.00*!\n"
                                                                  "10:3840x2160@30.00\n"
                                                                  "2:1920x1080@59.94\n"
                                                                  "3:1280x720@60.00\n"
                                                                  "4:2560x1440@60.00\n"
                                                                  "5:2560x1440@60.00\n",
                                                                  ""}));
    EXPECT_EQ(e2e::run(set, {"HDMI-A-1", "list-modes"}), (e2e::Result{0, "a:1920x1080@60.00*\n", ""}));
    EXPECT_EQ(e2e::run(set, {"Virtual-1", "list-modes"}), (e2e::Result{0, "", ""}));
    EXPECT_EQ(e2e::run(set, {"DP-9", "list-modes"}), (e2e::Result{1, "", "Unknown output: DP-9\n"}));
    // No option records: extra words are refused without a message.
    EXPECT_EQ(e2e::run(set, {"DP-1", "list-modes", "all"}), (e2e::Result{1, "", ""}));
    EXPECT_EQ(set.read(), document);

    // After a change of mode the marks follow.
    ASSERT_EQ(e2e::run(set, {"DP-1", "set-mode", "2"}), (e2e::Result{0, "", ""}));
    EXPECT_EQ(e2e::run(set, {"DP-1", "list-modes"}).out,
              "1:1920x1080@60.00!\n10:3840x2160@30.00\n2:1920x1080@59.94*\n3:1280x720@60.00\n"
              "4:2560x1440@60.00\n5:2560x1440@60.00\n");
}

TEST(Modes, SetMode)
{
    // The pixel size follows the mode, so the document does not hold it.
    const auto to = [](const char *id, int width, int height, int hdmiX) {
        const std::string size =
            "{\"height\":" + std::to_string(height) + ",\"width\":" + std::to_string(width) + "}";
        std::vector<std::string> changed = {"DP-1.currentModeId=\"" + std::string(id) + "\"",
                                            "DP-1.explicitLogicalSize=" + size};
        if (hdmiX != 1920)
            changed.push_back("HDMI-A-1.pos={\"x\":" + std::to_string(hdmiX) + ",\"y\":0}");
        return changed;
    };
    On(document).expectChanges({
        {{"DP-1", "set-mode", "2"}, to("2", 1920, 1080, 1920)},
        {{"DP-1", "set-mode", "1920x1080@59.94"}, to("2", 1920, 1080, 1920)},
        {{"DP-1", "set-mode", "1920x1080@59.94Hz"}, to("2", 1920, 1080, 1920)},
        {{"DP-1", "set-mode", "1920x1080@59.945"}, to("2", 1920, 1080, 1920)},
        {{"DP-1", "set-mode", "2:1920x1080@59.94"}, to("2", 1920, 1080, 1920)},
        // A copied line with its marks; the neighbour closes up or makes room.
        {{"DP-1", "set-mode", "3:1280x720@60.00"}, to("3", 1280, 720, 1280)},
        {{"DP-1", "set-mode", "1280x720"}, to("3", 1280, 720, 1280)},
        {{"DP-1", "set-mode", "10"}, to("10", 3840, 2160, 3840)},
        // Both within 0.01 Hz: the later in id order; without a rate the highest.
        {{"DP-1", "set-mode", "2560x1440@60"}, to("5", 2560, 1440, 2560)},
        {{"DP-1", "set-mode", "2560x1440"}, to("5", 2560, 1440, 2560)},
        // The current mode again goes through all steps.
        {{"DP-1", "set-mode", "1920x1080"}, {"DP-1.explicitLogicalSize={\"height\":1080,\"width\":1920}"}},
        {{"DP-1", "set-mode", "1:1920x1080@60.00*!"},
         {"DP-1.explicitLogicalSize={\"height\":1080,\"width\":1920}"}},
    });
    On(document).expectRefusals({
        {{"DP-1", "set-mode", "1920x1080@59.9"}, "Unknown mode: 1920x1080@59.9"},
        {{"DP-1", "set-mode", "1920x1080@60hz"}, "Unknown mode: 1920x1080@60hz"},
        {{"DP-1", "set-mode", "1920X1080"}, "Unknown mode: 1920X1080"},
        {{"DP-1", "set-mode", "2:1920x1080@59.94*"}, "Unknown mode: 2:1920x1080@59.94*"},
        {{"DP-1", "set-mode", "6"}, "Unknown mode: 6"},
        {{"DP-1", "set-mode", "800x600"}, "Unknown mode: 800x600"},
        {{"DP-1", "set-mode", ""}, "Unknown mode: "},
        {{"Virtual-1", "set-mode", "1"}, "Unknown mode: 1"},
        {{"DP-1", "set-mode", "1", "2"}, "Invalid arguments: 1 2"},
    });
}

} // namespace
