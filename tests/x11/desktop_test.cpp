// What dispctl does itself on X11 when the compositor's bus service is
// absent: active-output is the output under the pointer, and identify shows
// a label on every enabled output for about 5 s. The bus service, when it
// is there, still comes first.

#include "fixture.h"

#include "support/process.h"

#include <xcb/xcb.h>

#include <csignal>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

namespace {

using e2e::Result;
using x11::X11Test;

class X11Desktop : public X11Test {
protected:
    // Moves the pointer, and waits until the server has done it.
    static void warp(int x, int y)
    {
        xcb_connection_t *c = xcb_connect(display().c_str(), nullptr);
        ASSERT_FALSE(xcb_connection_has_error(c));
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        xcb_warp_pointer(c, XCB_NONE, root, 0, 0, 0, 0, int16_t(x), int16_t(y));
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        xcb_disconnect(c);
    }

    // How many of the window's pixels are lit (not black), and how many in all.
    static std::pair<int, int> litPixels(uint32_t window)
    {
        xcb_connection_t *c = xcb_connect(display().c_str(), nullptr);
        std::pair<int, int> counts{0, 0};
        xcb_get_geometry_reply_t *geometry = xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr);
        xcb_get_image_reply_t *image =
            geometry ? xcb_get_image_reply(c,
                                           xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0,
                                                         geometry->width, geometry->height, ~0u),
                                           nullptr)
                     : nullptr;
        if (image && image->depth == 24) {
            const auto *pixels = reinterpret_cast<const uint32_t *>(xcb_get_image_data(image));
            counts.second = xcb_get_image_data_length(image) / 4;
            for (int i = 0; i < counts.second; ++i)
                counts.first += (pixels[i] & 0xffffff) != 0;
        }
        std::free(image);
        std::free(geometry);
        xcb_disconnect(c);
        return counts;
    }

    // The windows whose names start with "dispctl identify: ", as
    // `xwininfo -root -tree` lists them: one line each, "NAME WxH+X+Y".
    static std::vector<std::string> labels()
    {
        const Result tree = e2e::runProgram("xwininfo", {"-root", "-tree"}, {{"DISPLAY", display()}});
        std::vector<std::string> found;
        std::istringstream lines(tree.out);
        for (std::string line; std::getline(lines, line);) {
            const size_t name = line.find("\"dispctl identify: ");
            if (name == std::string::npos)
                continue;
            const size_t end = line.find('"', name + 1);
            std::istringstream rest(line.substr(line.find(')', end) + 1));
            std::string geometry;
            rest >> geometry;
            found.push_back(line.substr(name + 19, end - name - 19) + " " + geometry + " " +
                            line.substr(line.find("0x"), line.find(' ', line.find("0x")) - line.find("0x")));
        }
        return found;
    }
};

// Xorg keeps the pointer on the area of some CRTC (a warp into a gap of
// the layout lands on an output), so each case names one.
TEST_F(X11Desktop, ActiveOutputIsTheOneUnderThePointer)
{
    struct Case {
        int x, y;
        Result result;
    };
    const Case cases[] = {
        {100, 100, {0, "DUMMY0\n", ""}},
        {1919, 1079, {0, "DUMMY0\n", ""}},
        {1920, 0, {0, "DUMMY1\n", ""}},
        {3000, 500, {0, "DUMMY1\n", ""}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
        warp(c.x, c.y);
        EXPECT_EQ(run({"active-output", "get-name"}), c.result);
    }
}

TEST_F(X11Desktop, TheBusServiceStillComesFirst)
{
    warp(100, 100);
    e2e::SessionBus bus;
    const e2e::Env onBus = {{"DBUS_SESSION_BUS_ADDRESS", bus.address()}};
    // A bus on which nobody owns the name: the service is absent.
    EXPECT_EQ(run({"active-output", "get-name"}, onBus), (Result{0, "DUMMY0\n", ""}));
    {
        e2e::Compositor vantor(bus, {"--active-output", "DUMMY1"});
        EXPECT_EQ(run({"active-output", "get-name"}, onBus), (Result{0, "DUMMY1\n", ""}));
    }
    // A service that is there and fails is no absent one.
    e2e::Compositor vantor(bus, {"--active-error", "The session is locked"});
    EXPECT_EQ(run({"active-output", "get-name"}, onBus),
              (Result{1, "",
                      "Failed to determine active output: The session is locked\n"
                      "Unknown output: active-output\n"}));
}

TEST_F(X11Desktop, IdentifyLabelsEveryEnabledOutput)
{
    support::Spawn spawn{
        e2e::dispctlBinary(),
        {"identify"},
        support::merged(support::testEnvironment(), {{"DISPOR_BACKEND", "x11"}, {"DISPLAY", display()}})};
    const double started = support::now();
    const support::Child child = support::spawn(spawn);
    std::vector<std::string> shown;
    while (shown.size() < 2 && support::now() < started + 8) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        shown = labels();
    }
    EXPECT_EQ(shown.size(), 2u);
    // Centred on their outputs, each 1920x1080 side by side.
    for (const std::string &label : shown) {
        SCOPED_TRACE(label);
        std::istringstream fields(label);
        std::string name, geometry, id;
        fields >> name >> geometry >> id;
        int w = 0, h = 0, x = 0, y = 0;
        if (std::sscanf(geometry.c_str(), "%dx%d+%d+%d", &w, &h, &x, &y) != 4) {
            ADD_FAILURE() << "no geometry";
            continue;
        }
        const int left = name == "DUMMY0" ? 0 : 1920;
        EXPECT_TRUE(name == "DUMMY0" || name == "DUMMY1");
        EXPECT_NEAR(x + w / 2, left + 960, 3);
        EXPECT_NEAR(y + h / 2, 540, 3);
        const Result window = e2e::runProgram("xwininfo", {"-id", id}, {{"DISPLAY", display()}});
        EXPECT_NE(window.out.find("Override Redirect State: yes"), std::string::npos) << window;
        EXPECT_NE(window.out.find("Map State: IsViewable"), std::string::npos) << window;
        // Light text on black: some pixels lit, most not.
        // Drawn when the server asks for it, just after the window shows.
        std::pair<int, int> counts = litPixels(uint32_t(std::stoul(id, nullptr, 16)));
        for (const double until = support::now() + 3; counts.first == 0 && support::now() < until;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            counts = litPixels(uint32_t(std::stoul(id, nullptr, 16)));
        }
        const auto [lit, all] = counts;
        EXPECT_GT(lit, all / 50);
        EXPECT_LT(lit, all / 2);
    }
    // Drawn without Qt Gui.
    std::ifstream maps("/proc/" + std::to_string(child.pid) + "/maps");
    const std::string mapped((std::istreambuf_iterator<char>(maps)), std::istreambuf_iterator<char>());
    EXPECT_NE(mapped.find("libxcb"), std::string::npos);
    EXPECT_EQ(mapped.find("libQt6Gui"), std::string::npos);

    Result result;
    if (!support::drain(child.out, child.err, started + 20, result.out, result.err)) {
        ADD_FAILURE() << "identify did not end";
        ::kill(-child.pid, SIGKILL);
    }
    result.status = support::waitStatus(child.pid);
    const double took = support::now() - started;
    EXPECT_EQ(result, (Result{0, "", ""}));
    EXPECT_GT(took, 4.5);
    EXPECT_LT(took, 12);
    EXPECT_EQ(labels(), std::vector<std::string>{});
}

} // namespace
