// Concurrent dispctl runs on one X server: every run succeeds and the
// server keeps every change, also where each run works its change out from
// what it read (a list of custom modes).

#include "fixture.h"
#include "reliability/together.h"

#include <map>
#include <set>

namespace x11 {
namespace {

using e2e::Result;

class X11Concurrency : public X11Test {
protected:
    static constexpr int rounds = 30;

    void SetUp() override
    {
        X11Test::SetUp();
        xrandr(display(), {"--output", "DUMMY2", "--mode", "1920x1080", "--pos", "3840x0"});
    }

    // Runs them together; each must succeed without a word.
    static void runTogether(const std::vector<std::vector<std::string>> &runs)
    {
        const std::vector<Result> results =
            reliability::runTogether(runs, {{"DISPOR_BACKEND", "x11"}, {"DISPLAY", display()}});
        for (size_t k = 0; k < results.size(); ++k)
            EXPECT_EQ(results[k], (Result{0, "", ""})) << ::testing::PrintToString(runs[k]);
    }
};

// Place and brightness of each output that is on, as xrandr shows them.
std::map<std::string, std::string> placesAndBrightness(const XScreen &screen)
{
    std::map<std::string, std::string> result;
    for (const auto &[name, output] : screen.outputs) {
        if (output.on)
            result[name] = std::to_string(output.x) + "," + std::to_string(output.y) + " " +
                           output.properties.at("Brightness");
    }
    return result;
}

TEST_F(X11Concurrency, RunsOnDifferentOutputsKeepEveryChange)
{
    int lostRounds = 0;
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        // New in every round, so that a value left from an earlier round
        // shows; DUMMY1 gets two runs of its own.
        const std::string x1 = std::to_string(1921 + round), y1 = std::to_string(1 + round);
        const std::string x2 = std::to_string(3842 + 2 * round), y2 = std::to_string(2 + round);
        const std::string dim0 = std::to_string(20 + round), dim1 = std::to_string(50 + round);
        runTogether({{"DUMMY0", "set-brightness", dim0 + "%"},
                     {"DUMMY1", "set-position", x1, y1},
                     {"DUMMY1", "set-brightness", dim1 + "%"},
                     {"DUMMY2", "set-position", x2, y2}});
        const std::map<std::string, std::string> wanted = {
            {"DUMMY0", "0,0 0." + dim0},
            {"DUMMY1", x1 + "," + y1 + " 0." + dim1},
            {"DUMMY2", x2 + "," + y2 + " 1.0"},
        };
        const std::map<std::string, std::string> seen = placesAndBrightness(screen());
        lostRounds += seen != wanted;
        EXPECT_EQ(seen, wanted);
    }
    RecordProperty("rounds", rounds);
    RecordProperty("lostRounds", lostRounds);
}

TEST_F(X11Concurrency, CustomModesAddedAtOnceAreAllKept)
{
    int lostRounds = 0;
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        randr().removeCustomModes();
        // Each run adds its mode to the list it read.
        std::vector<std::vector<std::string>> runs;
        std::set<std::string> wanted;
        for (const int width : {1000, 1104}) {
            const std::string mode = std::to_string(width) + "x" + std::to_string(600 + round) + "@60";
            runs.push_back({"DUMMY1", "add-custom-mode", mode});
            wanted.insert("dispor:" + mode + ":f1");
        }
        runTogether(runs);
        const XScreen after = screen();
        std::set<std::string> seen;
        for (const XMode &mode : after["DUMMY1"].modes) {
            if (mode.name.rfind("dispor:", 0) == 0)
                seen.insert(mode.name);
        }
        lostRounds += seen != wanted;
        EXPECT_EQ(seen, wanted);
    }
    RecordProperty("rounds", rounds);
    RecordProperty("lostRounds", lostRounds);
}

} // namespace
} // namespace x11
