// Applies killed with SIGKILL at random moments: the document must always
// be the one before or the one after the apply, whole, and a dead run must
// never keep the next one waiting.

#include "process.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <string>
#include <vector>

namespace {

// Large enough that reading, checking and writing the document take a good
// share of a run, so that many kills land inside the apply.
std::string largeDocument()
{
    std::string outputs;
    for (int k = 1; k <= 120; ++k) {
        std::string modes;
        for (int m = 1; m <= 20; ++m) {
            modes += (m > 1 ? ", " : "") + std::string(R"({"id": ")") + std::to_string(m)
                + R"(", "width": 1920, "height": 1080, "refreshRate": )" + std::to_string(40 + m) + ".0}";
        }
        outputs += (k > 1 ? ",\n" : "") + std::string(R"({"id": )") + std::to_string(k) + R"(, "name": "OUT-)"
            + std::to_string(k) + R"(", "pos": {"x": )" + std::to_string(1920 * (k - 1))
            + R"(, "y": 0}, "modes": [)" + modes + R"(], "currentModeId": "1",
            "capabilities": ["brightness", "disable"]})";
    }
    return R"({"outputs": [)" + outputs + "]}";
}

double seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

void sleepFor(double s)
{
    timespec ts{time_t(s), long((s - double(time_t(s))) * 1e9)};
    while (::nanosleep(&ts, &ts) != 0) {
    }
}

std::vector<std::string> leftovers(const std::string &dir)
{
    std::vector<std::string> names;
    if (DIR *d = ::opendir(dir.c_str())) {
        while (const dirent *entry = ::readdir(d)) {
            const std::string name = entry->d_name;
            if (name != "." && name != ".." && name != "virtual-display.json" && name != "virtual-display.json.lock")
                names.push_back(name);
        }
        ::closedir(d);
    }
    return names;
}

TEST(Crashes, ApplyKilledAtRandomMomentsLeavesTheOldOrTheNewDocument)
{
    e2e::VirtualSet set(largeDocument());
    const auto brightness = [](const char *percent) {
        reliability::Launch launch;
        launch.args = {"OUT-60", "set-brightness", percent};
        return launch;
    };
    const reliability::Launch toA = brightness("40"), toB = brightness("60");

    // The two documents, as the tool writes them, and how long a whole apply takes.
    std::vector<double> durations;
    std::string a, b;
    for (int i = 0; i < 3; ++i) {
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(reliability::runWith(set, toA), (e2e::Result{0, "", ""}));
        a = set.read();
        ASSERT_EQ(reliability::runWith(set, toB), (e2e::Result{0, "", ""}));
        b = set.read();
        durations.push_back(seconds(std::chrono::steady_clock::now() - start) / 2);
    }
    ASSERT_NE(a, b);
    ASSERT_EQ(e2e::run(set, {"list-outputs", "--names"}).status, 0);
    std::sort(durations.begin(), durations.end());
    const double window = durations[1] * 1.2;

    std::mt19937 random(20240601);
    std::uniform_real_distribution<double> moment(0.0, window);
    constexpr int kills = 200;
    int unchanged = 0, changed = 0, finished = 0;
    for (int i = 0; i < kills; ++i) {
        const bool atA = set.read() == a;
        const double delay = moment(random);
        SCOPED_TRACE("kill " + std::to_string(i) + " after " + std::to_string(delay * 1000) + " ms");

        reliability::Process process(set, atA ? toB : toA);
        sleepFor(delay);
        process.kill(SIGKILL);
        const e2e::Result result = process.wait(10);
        const std::string after = set.read();
        ASSERT_TRUE(after == a || after == b) << "a mixed or broken document:\n" << after.substr(0, 400);
        if (result.status == 0) {
            ++finished;
            EXPECT_EQ(after, atA ? b : a) << "finished, but the change is missing";
        } else {
            ASSERT_EQ(result.status, 128 + SIGKILL) << result;
            ++((after == (atA ? a : b)) ? unchanged : changed);
        }

        // The next apply neither waits for the dead run nor trips over what it left.
        const bool nowA = after == a;
        ASSERT_EQ(reliability::runWith(set, nowA ? toB : toA, 10), (e2e::Result{0, "", ""}));
        ASSERT_EQ(set.read(), nowA ? b : a);
    }
    // Each completed apply clears what the killed one before it left.
    const size_t junk = leftovers(set.runtimeDir()).size();
    EXPECT_EQ(junk, 0u) << ::testing::PrintToString(leftovers(set.runtimeDir()));
    RecordProperty("kills", kills);
    RecordProperty("killedBeforeTheRename", unchanged);
    RecordProperty("killedAfterTheRename", changed);
    RecordProperty("finishedFirst", finished);
    RecordProperty("leftoverFiles", int(junk));
    std::printf("%d kills: %d before the rename, %d after it, %d finished first; %zu files left over\n", kills,
                unchanged, changed, finished, junk);
}

} // namespace
