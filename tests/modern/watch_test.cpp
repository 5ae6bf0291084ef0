// The change watch on sway 1.10, through tests/wayland's program on the
// public Dispor::ConfigWatcher: headless outputs created and unplugged
// (swaymsg), each read back with wlr-randr, and sway's end.

#include "wlroots.h"

#include "support/tree.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

using e2e::Result;
using modern::Kind;
using modern::Wlroots;

#ifdef TEST_WATCHER_BINARY
TEST(SwayWatch, OutputsCreatedAndUnpluggedThenSwayGone)
{
    if (support::modernTree().empty())
        GTEST_SKIP() << "the Debian 13 tree has not been made (scripts/modern-tree)";
    std::string why;
    std::unique_ptr<Wlroots> bed = Wlroots::start(Kind::Sway, &why);
    ASSERT_TRUE(bed) << why;
    const std::string socket = bed->env().at("WAYLAND_DISPLAY").value();
    support::Spawn spawn{
        TEST_WATCHER_BINARY, {"30"}, support::merged(support::testEnvironment(), bed->env())};
    const support::Child child = support::spawn(spawn);
    Result result;
    const auto line = [&] {
        const std::string read = support::readLine(child.out, 5);
        result.out += read + "\n";
        return read;
    };
    ASSERT_EQ(line(), "watching");
    const std::string two = "HEADLESS-1 on 1280,0 1280x720@0 normal 1 vrr:off\n"
                            "HEADLESS-2 on 0,0 1280x720@0 normal 1 vrr:off\n";
    struct Step {
        std::vector<std::string> command;
        std::string view;
    };
    const Step steps[] = {
        {{"create_output"}, two + "HEADLESS-3 on 2560,0 1920x1080@0 normal 1 vrr:off\n"},
        {{"output", "HEADLESS-3", "unplug"}, two},
    };
    for (const Step &step : steps) {
        ASSERT_EQ(bed->swaymsg(step.command), "");
        EXPECT_EQ(line(), "changed") << step.command[0];
        EXPECT_EQ(bed->randr(), step.view);
    }
    bed.reset();
    support::drain(child.out, child.err, support::now() + 10, result.out, result.err);
    result.status = support::waitStatus(child.pid);
    EXPECT_EQ(result, (Result{1, "watching\nchanged\nchanged\n",
                              "the Wayland compositor \"" + socket + "\" went away\n"}));
}
#endif

} // namespace
