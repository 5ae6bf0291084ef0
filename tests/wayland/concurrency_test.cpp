// Concurrent dispctl runs on a wlroots compositor, each moving its own
// output: every run succeeds and the compositor keeps every move.

#include "reliability/together.h"
#include "support.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <sstream>
#include <unistd.h>

namespace {

using wayland_test::Compositor;

// Each output's position as the compositor tells wlr-randr, "X,Y" by name.
std::map<std::string, std::string> positions(const Compositor &compositor)
{
    const e2e::Result listed = e2e::runProgram(
        "/usr/bin/wlr-randr", {},
        {{"XDG_RUNTIME_DIR", compositor.runtimeDir()}, {"WAYLAND_DISPLAY", compositor.socket()}});
    std::map<std::string, std::string> result;
    if (listed.status != 0) {
        result["wlr-randr failed"] = listed.err;
        return result;
    }
    std::istringstream in(listed.out);
    std::string line, name;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] != ' ')
            name = line.substr(0, line.find(' '));
        else if (line.rfind("  Position: ", 0) == 0)
            result[name] = line.substr(12);
    }
    return result;
}

struct Bed {
    const char *name;
    std::function<Compositor()> start;
    std::vector<std::string> outputs;
};

void PrintTo(const Bed &bed, std::ostream *os)
{
    *os << bed.name;
}

// Ours with three outputs, so three runs meet; phoc has two.
const Bed beds[] = {
    {"ours",
     [] {
         return Compositor::ours({"--output", "DP-1:1920x1080@60000", "--output", "HDMI-A-1:1280x1024@75025",
                                  "--output", "DP-2:1024x768@60000"});
     },
     {"DP-1", "HDMI-A-1", "DP-2"}},
    {"phoc", [] { return Compositor::phoc(""); }, {"HEADLESS-1", "HEADLESS-2"}},
};

class WaylandConcurrency : public ::testing::TestWithParam<Bed> {};

TEST_P(WaylandConcurrency, RunsStartedAtOnceKeepEveryMove)
{
    if (::access("/usr/bin/wlr-randr", X_OK) != 0)
        GTEST_SKIP() << "wlr-randr is not installed";
    const Bed &bed = GetParam();
    const Compositor compositor = bed.start();
    if (compositor.socket().empty())
        GTEST_SKIP() << bed.name << " cannot be run here";

    constexpr int rounds = 30;
    int runs = 0, failedRuns = 0, lostRounds = 0;
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        // Apart and new in every round, so that a move left from an earlier
        // round or taken from another output shows.
        std::vector<std::vector<std::string>> moves;
        std::map<std::string, std::string> wanted;
        for (size_t k = 0; k < bed.outputs.size(); ++k) {
            const std::string x = std::to_string(4000 * int(k) + 1 + round), y = std::to_string(1 + round);
            moves.push_back({bed.outputs[k], "set-position", x, y});
            wanted[bed.outputs[k]] = x + "," + y;
        }
        const std::vector<e2e::Result> results = reliability::runTogether(moves, compositor.env());
        for (size_t k = 0; k < results.size(); ++k) {
            ++runs;
            failedRuns += results[k] != e2e::Result{0, "", ""};
            EXPECT_EQ(results[k], (e2e::Result{0, "", ""})) << bed.outputs[k];
        }
        const std::map<std::string, std::string> seen = positions(compositor);
        lostRounds += seen != wanted;
        EXPECT_EQ(seen, wanted);
    }
    RecordProperty("rounds", rounds);
    RecordProperty("runs", runs);
    RecordProperty("failedRuns", failedRuns);
    RecordProperty("lostRounds", lostRounds);
}

INSTANTIATE_TEST_SUITE_P(Beds, WaylandConcurrency, ::testing::ValuesIn(beds),
                         [](const ::testing::TestParamInfo<Bed> &info) {
                             return std::string(info.param.name);
                         });

} // namespace
