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
    for (int k = 1; k <= 60; ++k) {
        std::string modes;
        for (int m = 1; m <= 12; ++m) {
            modes += (m > 1 ? ", " : "") + std::string(R"({"id": ")") + std::to_string(m) +
                     R"(", "width": 1920, "height": 1080, "refreshRate": )" + std::to_string(40 + m) + ".0}";
        }
        outputs += (k > 1 ? ",\n" : "") + std::string(R"({"id": )") + std::to_string(k) +
                   R"(, "name": "OUT-)" + std::to_string(k) + R"(", "pos": {"x": )" +
                   std::to_string(1920 * (k - 1)) + R"(, "y": 0}, "modes": [)" + modes +
                   R"(], "currentModeId": "1",
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
            if (name != "." && name != ".." && name != "virtual-display.json" &&
                name != "virtual-display.json.lock")
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

    // The two documents, as the tool writes them; how long a whole apply
    // takes, and how long a run that only reads.
    const auto timed = [](const auto &run) {
        const auto start = std::chrono::steady_clock::now();
        run();
        return seconds(std::chrono::steady_clock::now() - start);
    };
    std::vector<double> applying, reading;
    std::string a, b;
    for (int i = 0; i < 5; ++i) {
        applying.push_back(timed([&] {
            ASSERT_EQ(reliability::runWith(set, toA), (e2e::Result{0, "", ""}));
        }));
        a = set.read();
        applying.push_back(timed([&] {
            ASSERT_EQ(reliability::runWith(set, toB), (e2e::Result{0, "", ""}));
        }));
        b = set.read();
        reading.push_back(timed([&] { ASSERT_EQ(e2e::run(set, {"OUT-60", "get-name"}).status, 0); }));
    }
    ASSERT_NE(a, b);
    std::sort(applying.begin(), applying.end());
    std::sort(reading.begin(), reading.end());
    const double whole = applying[applying.size() / 2], read = reading[reading.size() / 2];

    // Half of the kills anywhere in a run, half where the apply must be:
    // after the time a run takes to read.
    std::mt19937 random(20240601);
    std::uniform_real_distribution<double> anywhere(0.0, whole * 1.1);
    std::uniform_real_distribution<double> applyTime(std::min(read, whole) * 0.8, whole * 1.1);
    constexpr int kills = 200;
    int unchanged = 0, changed = 0, finished = 0, whileWriting = 0;
    for (int i = 0; i < kills; ++i) {
        const bool atA = set.read() == a;
        const size_t leftBefore = leftovers(set.runtimeDir()).size();
        const double delay = i % 2 ? applyTime(random) : anywhere(random);
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
            // Its temporary file is still there: it died between writing and renaming.
            if (leftovers(set.runtimeDir()).size() > leftBefore)
                ++whileWriting;
        }

        // Now and then, and at the end: the next apply neither waits for the
        // dead run nor trips over what it left.
        if (i % 10 == 9) {
            const bool nowA = after == a;
            ASSERT_EQ(reliability::runWith(set, nowA ? toB : toA, 10), (e2e::Result{0, "", ""}));
            ASSERT_EQ(set.read(), nowA ? b : a);
        }
    }
    // The last completed apply cleared what the killed ones left.
    const size_t junk = leftovers(set.runtimeDir()).size();
    EXPECT_EQ(junk, 0u) << ::testing::PrintToString(leftovers(set.runtimeDir()));
    RecordProperty("kills", kills);
    RecordProperty("killedBeforeTheRename", unchanged);
    RecordProperty("killedAfterTheRename", changed);
    RecordProperty("finishedFirst", finished);
    RecordProperty("killedWhileWriting", whileWriting);
    RecordProperty("leftoverFiles", int(junk));
    std::printf("%d kills: %d before the rename (%d of them while writing), %d after it, %d finished first; "
                "%zu files left over\n",
                kills, unchanged, whileWriting, changed, finished, junk);
}

} // namespace
