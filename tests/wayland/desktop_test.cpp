// The desktop on a wlroots compositor as the backend words it, without a
// compositor: the labels' lines, and the active output from what the focus
// tells.

#include "../../dispor/src/wayland/desktop.h"
#include "../../dispor/src/wayland/model.h"
#include "../../dispor/src/wayland_labels.h"

#include <gtest/gtest.h>

namespace {

using Dispor::Wayland::Focus;
using Dispor::Wayland::HeadState;
using Dispor::Wayland::ModeState;

// DP-1, 1920x1080 at 60 Hz at 0,0, and HEADLESS-1, 1280x720 without a rate
// (as headless outputs have it) at 1920,0; each enabled as given.
struct Heads {
    Heads(bool dp, bool headless)
    {
        add("DP-1", dp, 1920, 1080, 60000, {0, 0});
        add("HEADLESS-1", headless, 1280, 720, 0, {1920, 0});
    }

    void add(const char *name, bool enabled, int width, int height, int refresh, QPoint position)
    {
        auto head = std::make_unique<HeadState>();
        head->name = name;
        head->enabled = enabled;
        head->position = position;
        auto mode = std::make_unique<ModeState>();
        mode->head = head.get();
        mode->id = "1";
        mode->width = width;
        mode->height = height;
        mode->refresh = refresh;
        head->currentMode = mode.get();
        head->modes.push_back(std::move(mode));
        all.push_back(std::move(head));
    }

    Dispor::Config config() const
    {
        std::vector<const HeadState *> heads;
        for (const auto &head : all)
            heads.push_back(head.get());
        Dispor::OutputList outputs;
        for (const Dispor::Output::Data &d : Dispor::Wayland::describe(heads, 4, {}))
            outputs.insert(d.id, Dispor::OutputPtr::create(d));
        return Dispor::Config(outputs);
    }

    std::vector<std::unique_ptr<HeadState>> all;
};

// Each label as "OUTPUT: LINE | LINE …".
QStringList shown(const QList<Dispor::WaylandLabels::Label> &labels)
{
    QStringList text;
    for (const Dispor::WaylandLabels::Label &label : labels)
        text.append(label.output + ": " + label.lines.join(u" | "));
    return text;
}

TEST(WaylandDesktop, ALabelForEachEnabledOutputWithItsNameModeAndPlace)
{
    EXPECT_EQ(shown(Dispor::WaylandLabels::labelsOf(Heads(true, true).config())),
              (QStringList{"DP-1: DP-1 | 1920x1080 @ 60.00 Hz | at 0,0",
                           "HEADLESS-1: HEADLESS-1 | 1280x720 | at 1920,0"}));
    EXPECT_EQ(shown(Dispor::WaylandLabels::labelsOf(Heads(false, true).config())),
              (QStringList{"HEADLESS-1: HEADLESS-1 | 1280x720 | at 1920,0"}));
    EXPECT_EQ(shown(Dispor::WaylandLabels::labelsOf(Heads(false, false).config())), QStringList());
}

TEST(WaylandDesktop, TheActiveOutputIsTheFocusedWindowsElseTheOnlyEnabledOne)
{
    struct Case {
        Focus focus;
        bool dp, headless;
        QString name, why;
    };
    const Case cases[] = {
        {{1, {"HEADLESS-1"}}, true, true, "HEADLESS-1", ""},
        // Two windows activated (two seats), both on one output.
        {{2, {"DP-1"}}, true, true, "DP-1", ""},
        {{1, {"DP-1", "HEADLESS-1"}}, true, true, "", "the focused window is on 2 outputs: DP-1, HEADLESS-1"},
        {{0, {}}, true, true, "", "no window has the focus, and 2 outputs are enabled"},
        {{1, {}}, true, true, "", "the focused window is on no output, and 2 outputs are enabled"},
        {{0, {}}, false, true, "HEADLESS-1", ""},
        {{1, {}}, true, false, "DP-1", ""},
        {{0, {}}, false, false, "", "no window has the focus, and no output is enabled"},
    };
    for (const Case &c : cases) {
        QString why;
        EXPECT_EQ(Dispor::Wayland::activeOutput(c.focus, Heads(c.dp, c.headless).config(), &why), c.name)
            << c.focus.outputs.join(u",").toStdString();
        EXPECT_EQ(why, c.why) << c.focus.outputs.join(u",").toStdString();
    }
}

} // namespace
