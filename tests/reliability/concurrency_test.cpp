// Many runs of dispctl on one document at the same moment: none of the
// changes may get lost, and together they end as some order of them one
// after another would, also where a run computes its change from what it
// read (lists, toggles, layouts).

#include "process.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <csignal>
#include <functional>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int outputCount = 8;

std::string outputName(int k)
{
    return "DP-" + std::to_string(k + 1);
}

// Eight connected outputs that can do everything, side by side.
std::string document()
{
    std::string outputs;
    for (int k = 0; k < outputCount; ++k) {
        outputs += (k ? ",\n" : "") + std::string(R"({"id": )") + std::to_string(k + 1) + R"(, "name": ")" +
                   outputName(k) + R"(", "priority": )" + std::to_string(k + 1) + R"(, "pos": {"x": )" +
                   std::to_string(1920 * k) + R"(, "y": 0},
            "modes": [{"id": "1", "width": 1920, "height": 1080, "refreshRate": 60.0}], "currentModeId": "1",
            "capabilities": ["overscan", "vrr", "rgb-range", "hdr", "brightness", "sharpness", "disable"]})";
    }
    return R"({"outputs": [)" + outputs + "]}";
}

// One run's change and how to see it in the document.
struct Change {
    std::vector<std::string> args;
    std::string key;
    QJsonValue value;
};

// Four properties of each output, with values that differ per round, so
// that a change left over from an earlier round does not count.
std::vector<Change> changes(int round)
{
    std::vector<Change> result;
    for (int k = 0; k < outputCount; ++k) {
        const std::string name = outputName(k);
        const int percent = 10 + 10 * round + k;
        result.push_back(
            {{name, "set-brightness", std::to_string(percent) + "%"}, "brightness", percent / 100.0});
        result.push_back(
            {{name, "set-overscan", std::to_string(1 + 10 * round + k)}, "overscan", 1 + 10 * round + k});
        const char *policy = (round + k) % 2 ? "never" : "always";
        result.push_back({{name, "set-vrr-policy", policy}, "vrrPolicy", policy});
        const int x = 1920 * k + 7 + round;
        result.push_back(
            {{name, "set-position", std::to_string(x), "13"}, "pos", QJsonObject{{"x", x}, {"y", 13}}});
    }
    return result;
}

TEST(Concurrency, ThirtyTwoRunsStartedAtOnceAllKeepTheirChange)
{
    e2e::VirtualSet set(document());
    constexpr int rounds = 3;
    int runs = 0;
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const std::vector<Change> wanted = changes(round);
        ASSERT_EQ(wanted.size(), 32u);

        reliability::Gate gate;
        std::vector<std::unique_ptr<reliability::Process>> processes;
        for (const Change &change : wanted) {
            reliability::Launch launch;
            launch.args = change.args;
            processes.push_back(std::make_unique<reliability::Process>(set, launch, &gate));
        }
        gate.open();
        for (size_t i = 0; i < wanted.size(); ++i) {
            SCOPED_TRACE(::testing::PrintToString(wanted[i].args));
            EXPECT_EQ(processes[i]->wait(), (e2e::Result{0, "", ""}));
            ++runs;
        }

        // The document loads strictly and holds every change.
        const e2e::Result check = e2e::run(set, {"list-outputs", "--json"});
        ASSERT_EQ(check.status, 0) << check;
        QJsonParseError error;
        const QJsonDocument written = QJsonDocument::fromJson(QByteArray::fromStdString(set.read()), &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << set.read();
        const QJsonArray outputs = written["outputs"].toArray();
        ASSERT_EQ(outputs.size(), outputCount);
        for (const Change &change : wanted) {
            SCOPED_TRACE(::testing::PrintToString(change.args));
            QJsonObject output;
            for (const QJsonValue &value : outputs) {
                if (value["name"].toString().toStdString() == change.args[0])
                    output = value.toObject();
            }
            EXPECT_EQ(output[QString::fromStdString(change.key)], change.value);
        }
    }
    RecordProperty("runs", runs);
}

using Args = std::vector<std::string>;

void runTogether(const e2e::VirtualSet &set, const std::vector<Args> &runs);

// The heaviest load measured: twice the runs on a document two hundred
// times as large, where each apply starves the others of the processors.
TEST(Concurrency, SixtyFourRunsOnFifteenHundredOutputsAllKeepTheirChange)
{
    std::string outputs;
    for (int k = 0; k < 1500; ++k) {
        outputs += (k ? ",\n" : "") + std::string(R"({"id": )") + std::to_string(k + 1) + R"(, "name": ")" +
                   outputName(k) + R"(", "pos": {"x": )" + std::to_string(1920 * k) + R"(, "y": 0},
            "modes": [{"id": "1", "width": 1920, "height": 1080, "refreshRate": 60.0}], "currentModeId": "1",
            "capabilities": ["brightness"]})";
    }
    e2e::VirtualSet set(R"({"outputs": [)" + outputs + "]}");
    std::vector<Args> runs;
    for (int k = 0; k < 64; ++k)
        runs.push_back({outputName(23 * k), "set-brightness", std::to_string(k + 10) + "%"});
    runTogether(set, runs);
    const QJsonArray written =
        QJsonDocument::fromJson(QByteArray::fromStdString(set.read()))["outputs"].toArray();
    for (int k = 0; k < 64; ++k)
        EXPECT_EQ(written[23 * k]["brightness"].toDouble(), (k + 10) / 100.0) << outputName(23 * k);
}

// Starts all runs behind one gate; every one must succeed silently.
void runTogether(const e2e::VirtualSet &set, const std::vector<Args> &runs)
{
    reliability::Gate gate;
    std::vector<std::unique_ptr<reliability::Process>> processes;
    for (const Args &args : runs) {
        reliability::Launch launch;
        launch.args = args;
        processes.push_back(std::make_unique<reliability::Process>(set, launch, &gate));
    }
    gate.open();
    // One deadline for them all: the lock serves them in no set order, so
    // the last served waits for every apply before it, which under the
    // sanitizers on a busy machine takes minutes, not the 30 s of one run.
    const double deadline = support::now() + 240;
    for (size_t i = 0; i < runs.size(); ++i) {
        const int left = std::max(1, static_cast<int>(deadline - support::now()));
        EXPECT_EQ(processes[i]->wait(left), (e2e::Result{0, "", ""})) << ::testing::PrintToString(runs[i]);
    }
}

// A, B and C side by side; A with custom modes and HDR, all with two modes.
const std::string threeOutputs = R"({"outputs": [
    {"id": 1, "name": "A", "priority": 1, "capabilities": ["custom-modes", "hdr", "disable"],
     "modes": [{"id": "1", "width": 1920, "height": 1080, "refreshRate": 60.0},
               {"id": "2", "width": 1280, "height": 720, "refreshRate": 60.0}], "currentModeId": "1",
     "customModes": [{"width": 800, "height": 600, "refreshRate": 60.0, "flags": 0}]},
    {"id": 2, "name": "B", "priority": 2, "pos": {"x": 1920, "y": 0}, "capabilities": ["disable"],
     "modes": [{"id": "1", "width": 1920, "height": 1080, "refreshRate": 60.0},
               {"id": "2", "width": 1280, "height": 720, "refreshRate": 60.0}], "currentModeId": "1"},
    {"id": 3, "name": "C", "priority": 3, "pos": {"x": 3840, "y": 0}, "capabilities": ["disable"],
     "modes": [{"id": "1", "width": 1920, "height": 1080, "refreshRate": 60.0},
               {"id": "2", "width": 1280, "height": 720, "refreshRate": 60.0}], "currentModeId": "1"}
]})";

TEST(Concurrency, SixteenCustomModeAdditionsAllKept)
{
    e2e::VirtualSet set(threeOutputs);
    std::vector<Args> runs;
    for (int i = 0; i < 16; ++i)
        runs.push_back({"A", "add-custom-mode", std::to_string(1000 + 8 * i) + "x700@60"});
    runTogether(set, runs);
    const QJsonArray modes =
        QJsonDocument::fromJson(QByteArray::fromStdString(set.read()))["outputs"][0]["customModes"].toArray();
    std::set<int> widths;
    for (const QJsonValue &mode : modes)
        widths.insert(mode["width"].toInt());
    EXPECT_EQ(widths.size(), 17u) << set.read();
}

TEST(Concurrency, TogglesTurnTheValueOverOncePerRun)
{
    e2e::VirtualSet set(threeOutputs);
    bool expected = false;
    for (const int count : {2, 3, 5}) {
        runTogether(set, std::vector<Args>(size_t(count), Args{"A", "toggle-hdr"}));
        expected ^= count % 2 == 1;
        EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(set.read()))["outputs"][0]["hdrEnabled"]
                      .toBool(),
                  expected)
            << count << " toggles";
    }
}

// Runs that overlap end in the document of one of their serial orders; the
// orders' documents come from running them one after another.
TEST(Concurrency, OverlappingRunsEndAsOneSerialOrder)
{
    const std::vector<std::vector<Args>> groups = {
        {{"C", "left-of", "A"}, {"B", "below", "A"}},
        {{"A", "set-scale", "200%"}, {"A", "set-mode", "2"}},
        {{"A", "add-custom-mode", "1024x768@60"}, {"A", "remove-custom-mode", "0"}},
        {{"A", "toggle-enabled"}, {"B", "toggle-enabled"}, {"C", "right-of", "A"}},
        {{"B", "set-mode", "2"}, {"C", "above", "B"}, {"A", "set-rotation", "90"}},
        {{"A", "set-primary"}, {"C", "set-priority", "1"}, {"B", "set-scale", "150%"}},
    };
    int rounds = 0;
    for (const std::vector<Args> &group : groups) {
        SCOPED_TRACE(::testing::PrintToString(group));
        std::vector<size_t> order(group.size());
        for (size_t i = 0; i < order.size(); ++i)
            order[i] = i;
        std::set<std::string> serial;
        do {
            e2e::VirtualSet one(threeOutputs);
            for (const size_t i : order)
                ASSERT_EQ(e2e::run(one, group[i]).status, 0) << ::testing::PrintToString(group[i]);
            serial.insert(one.read());
        } while (std::next_permutation(order.begin(), order.end()));
        for (int round = 0; round < 4; ++round, ++rounds) {
            e2e::VirtualSet set(threeOutputs);
            runTogether(set, group);
            EXPECT_TRUE(serial.count(set.read())) << set.read();
        }
    }
    RecordProperty("rounds", rounds);
}

// A holder of the lock, as a writer's process: it names itself in the lock
// file, then keeps the lock for the seconds given, working (using the
// processor) or stopped.
pid_t holdLock(const std::string &lockFile, double seconds, bool working)
{
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    const int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0 || ::flock(fd, LOCK_EX) != 0)
        ::_exit(1);
    const std::string self = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) != 0 || ::write(fd, self.data(), self.size()) != ssize_t(self.size()))
        ::_exit(1);
    if (!working)
        ::raise(SIGSTOP);
    const double until = support::now() + seconds;
    while (support::now() < until) {
    }
    ::_exit(0);
}

TEST(Concurrency, ALockHeldForLongIsAReasonNotAWaitWithoutEnd)
{
    const std::string stopped =
        "the apply holding the lock has not finished in 5 s (a writer stopped or hangs); "
        "nothing was changed";
    const struct {
        const char *holder;
        std::function<pid_t(const std::string &lockFile)> hold;
        std::string reason; // empty: waited for, then applied
    } cases[] = {
        // A holder that does not even name itself, as an older run.
        {"silent",
         [](const std::string &lockFile) {
             const pid_t pid = ::fork();
             if (pid == 0) {
                 const int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
                 ::flock(fd, LOCK_EX);
                 ::raise(SIGSTOP);
                 ::_exit(0);
             }
             return pid;
         },
         stopped},
        {"stopped", [](const std::string &lockFile) { return holdLock(lockFile, 0, false); }, stopped},
        // Slow, as one starved by many runs on few processors, but working:
        // more than 5 s is no reason to give up.
        {"working for 6.5 s", [](const std::string &lockFile) { return holdLock(lockFile, 6.5, true); }, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.holder);
        e2e::VirtualSet set(threeOutputs);
        const std::string before = set.read();
        const std::string lockFile = set.path() + ".lock";
        const pid_t holder = c.hold(lockFile);
        // Held before the run starts.
        const auto held = [&] {
            const int fd = ::open(lockFile.c_str(), O_RDONLY | O_CLOEXEC);
            const bool taken = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0;
            ::close(fd);
            return taken;
        };
        for (int i = 0; i < 500 && !held(); ++i)
            ::usleep(10000);
        const e2e::Result result = e2e::run(set, {"A", "toggle-hdr"});
        ::kill(holder, SIGKILL);
        ::waitpid(holder, nullptr, 0);
        if (c.reason.empty()) {
            EXPECT_EQ(result, (e2e::Result{0, "", ""}));
            EXPECT_NE(set.read(), before);
        } else {
            EXPECT_EQ(result, (e2e::Result{1, "",
                                           "Failed to apply output configuration: " + set.path() +
                                               ".lock: " + c.reason + "\n"}));
            EXPECT_EQ(set.read(), before);
        }
    }
}

} // namespace
