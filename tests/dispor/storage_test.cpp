// How writes survive concurrency and interruption, and the record of
// disabled outputs; DPMS; the choice of backend.

#include "support.h"

#include "../../dispor/src/remembered.h"
#include "../../dispor/src/store.h"

#include <QObject>

#include <csignal>
#include <filesystem>
#include <memory>
#include <optional>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace dispor_test {
namespace {

TEST(Concurrency, ASnapshotOfAnOlderDocumentIsAConflict)
{
    VirtualSet set(twoOutputs);
    const Dispor::ConfigPtr first = fetch();
    const Dispor::ConfigPtr second = fetch();
    first->output(1)->setBrightness(0.25);
    second->output(2)->setBrightness(0.5);
    ASSERT_EQ(apply(first), "");
    const std::string written = set.read();
    // Worked out from the document before the first apply: nothing of it
    // is written, and the caller can tell this from a refusal.
    EXPECT_EQ(apply(second), "conflict: " + set.path() + ": the document changed since it was read");
    EXPECT_EQ(set.read(), written);
    // Done again on a fresh snapshot, both changes hold.
    const Dispor::ConfigPtr again = fetch();
    again->output(2)->setBrightness(0.5);
    ASSERT_EQ(apply(again), "");
    const Dispor::ConfigPtr after = fetch();
    EXPECT_EQ(after->output(1)->brightness(), 0.25);
    EXPECT_EQ(after->output(2)->brightness(), 0.5);
}

TEST(Concurrency, ASnapshotAppliedTwiceCarriesOnlyItsNewChanges)
{
    VirtualSet set(twoOutputs);
    const Dispor::ConfigPtr mine = fetch();
    mine->output(1)->setBrightness(0.25);
    ASSERT_EQ(apply(mine), "");
    // Still the state it wrote itself: applied again, it holds.
    mine->output(2)->setBrightness(0.1);
    ASSERT_EQ(apply(mine), "");
    const Dispor::ConfigPtr after = fetch();
    EXPECT_EQ(after->output(1)->brightness(), 0.25);
    EXPECT_EQ(after->output(2)->brightness(), 0.1);
    // Once another apply came in between, it is out of date.
    after->output(1)->setBrightness(0.5);
    ASSERT_EQ(apply(after), "");
    mine->output(2)->setBrightness(0.2);
    EXPECT_EQ(apply(mine), "conflict: " + set.path() + ": the document changed since it was read");
}

TEST(Concurrency, ParallelProcessesLoseNoChange)
{
    constexpr int count = 8;
    std::string outputs;
    for (int i = 1; i <= count; ++i)
        outputs += (i > 1 ? "," : "") + output(i, "O" + std::to_string(i));
    VirtualSet set(document(outputs));
    std::vector<pid_t> children;
    for (int i = 1; i <= count; ++i) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            // As a caller does: on a conflict, fetch and change again.
            for (int attempt = 0; attempt < 100; ++attempt) {
                Dispor::GetConfigOperation get;
                get.exec();
                if (!get.config())
                    ::_exit(2);
                get.config()->output(i)->setPos({i * 10, i});
                Dispor::SetConfigOperation set(get.config());
                if (set.exec())
                    ::_exit(0);
                if (!set.isConflict())
                    ::_exit(1);
            }
            ::_exit(3);
        }
        children.push_back(pid);
    }
    for (const pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const Dispor::ConfigPtr after = fetch();
    for (int i = 1; i <= count; ++i)
        EXPECT_EQ(after->output(i)->pos(), QPoint(i * 10, i)) << "output " << i;
}

// Holders that take turns never make a waiter fail, however long the
// queue takes: here it waits 5.6 s while two holders take 2.8 s each.
TEST(Concurrency, AWaiterKeepsItsPlaceWhileTheLockChangesHands)
{
    VirtualSet set(twoOutputs);
    const QByteArray path = QByteArray::fromStdString(set.path());
    const Dispor::Location location{
        path, QByteArray::fromStdString(set.dir().path()), "virtual-display.json", false, {}};
    const auto holder = [&location] {
        auto store = std::make_unique<Dispor::Store>(location);
        bool missing = false;
        QString reason;
        EXPECT_TRUE(store->openDirectory(false, &missing, &reason) && store->lock(&reason))
            << reason.toStdString();
        return store;
    };
    auto first = holder();
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        const Dispor::ConfigPtr config = fetch();
        config->output(1)->setBrightness(0.5);
        ::_exit(apply(config).empty() ? 0 : 1);
    }
    ::usleep(2800 * 1000);
    auto second = std::make_unique<Dispor::Store>(location);
    bool missing = false;
    QString reason;
    ASSERT_TRUE(second->openDirectory(false, &missing, &reason));
    first.reset();
    ASSERT_TRUE(second->lock(&reason)) << reason.toStdString();
    ::usleep(2800 * 1000);
    second.reset();
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(fetch()->output(1)->brightness(), 0.5);
}

TEST(Writing, AWriteAbandonedBeforeTheRenameLeavesTheOldDocument)
{
    VirtualSet set(twoOutputs);
    const Dispor::ConfigPtr config = fetch();
    config->output(1)->setBrightness(0.5);
    Dispor::setBeforeRenameHook([] { return false; });
    EXPECT_EQ(apply(config), set.path() + ": the write was abandoned before the document was replaced");
    Dispor::setBeforeRenameHook({});
    EXPECT_EQ(set.read(), twoOutputs);
    EXPECT_EQ(entries(set.dir().path()),
              (std::vector<std::string>{"virtual-display.json", "virtual-display.json.lock"}));
}

TEST(Writing, AProcessDyingBeforeTheRenameLeavesTheOldDocument)
{
    VirtualSet set(twoOutputs);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        Dispor::setBeforeRenameHook([]() -> bool { ::_exit(0); });
        Dispor::GetConfigOperation get;
        get.exec();
        get.config()->output(1)->setBrightness(0.5);
        Dispor::SetConfigOperation apply(get.config());
        apply.exec();
        ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "died at the rename";
    EXPECT_EQ(set.read(), twoOutputs);
    EXPECT_EQ(entries(set.dir().path()).size(), 3u) << "the abandoned temporary file";

    // The lock died with the process and the leftover is no obstacle.
    const Dispor::ConfigPtr config = fetch();
    ASSERT_TRUE(config);
    EXPECT_EQ(config->output(1)->brightness(), 1.0);
    config->output(1)->setBrightness(0.75);
    EXPECT_EQ(apply(config), "");
    EXPECT_EQ(fetch()->output(1)->brightness(), 0.75);
}

TEST(Writing, ADocumentThatCannotBeReadIsNeverOverwritten)
{
    VirtualSet set(twoOutputs);
    const Dispor::ConfigPtr config = fetch();
    config->output(1)->setBrightness(0.5);
    const std::string broken = R"({"outputs": [}")";
    set.write(broken);
    EXPECT_EQ(apply(config), set.path() + ": not valid JSON: object is missing after a comma at offset 14");
    EXPECT_EQ(set.read(), broken);
}

TEST(Writing, ADocumentTooLargeToReadBackIsNotWritten)
{
    // Compact, under the limit; indented, beyond it.
    std::string modes;
    for (int i = 1; i <= 240000; ++i)
        modes += (i > 1 ? ",{\"id\":\"" : "{\"id\":\"") + std::to_string(i) +
                 "\",\"width\":1,\"height\":1,\"refreshRate\":1}";
    const std::string doc = document(output(1, "A", "\"modes\":[" + modes + "]"));
    ASSERT_LT(doc.size(), 16u << 20);
    VirtualSet set(doc);
    const Dispor::ConfigPtr config = fetch();
    ASSERT_TRUE(config);
    config->output(1)->setPos({1, 1});
    EXPECT_EQ(apply(config), set.path() + ": the new document would be larger than 16 MiB");
    EXPECT_EQ(set.read(), doc);
}

TEST(Writing, TheDocumentKeepsItsPermissions)
{
    VirtualSet set(twoOutputs);
    ASSERT_EQ(::chmod(set.path().c_str(), 0640), 0);
    const Dispor::ConfigPtr config = fetch();
    config->output(1)->setBrightness(0.5);
    ASSERT_EQ(apply(config), "");
    struct stat status;
    ASSERT_EQ(::stat(set.path().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0640u);
}

TEST(Remembered, WhatADisabledOutputHadComesBackForItsMonitorOnly)
{
    Dispor::Output::Data on;
    on.name = QStringLiteral("DP-1");
    on.uuid = QStringLiteral("monitor-1");
    on.modes.insert(Dispor::ModePtr::create(QStringLiteral("70"), QSize(1280, 720), 59.94f));
    on.modes.insert(Dispor::ModePtr::create(QStringLiteral("71"), QSize(1920, 1080), 60.0f));
    on.currentModeId = QStringLiteral("70");
    on.scale = 1.5;
    on.rotation = Dispor::Output::Rotation::Right;
    on.pos = QPoint(1920, -40);
    const Dispor::Remembered kept = Dispor::rememberedOf(on);

    Dispor::Output::Data off = on;
    off.enabled = false;
    off.placementKnown = false;
    off.currentModeId.clear();
    off.scale = 1;
    off.rotation = Dispor::Output::Rotation::None;
    off.pos = {};
    struct Case {
        const char *name;
        std::function<void(Dispor::Output::Data &)> change;
        QString modeId; // empty: nothing restored
    };
    const std::vector<Case> cases = {
        {"as it was", [](auto &) {}, "70"},
        {"the mode under a new id",
         [](auto &d) {
             d.modes.remove(QStringLiteral("70"));
             d.modes.insert(Dispor::ModePtr::create(QStringLiteral("90"), QSize(1280, 720), 59.94f));
         },
         "90"},
        {"another monitor on the connector", [](auto &d) { d.uuid = QStringLiteral("monitor-2"); }, ""},
        {"the mode no longer offered", [](auto &d) { d.modes.remove(QStringLiteral("70")); }, ""},
        {"an id now naming another mode",
         [](auto &d) {
             d.modes.remove(QStringLiteral("70"));
             d.modes.insert(Dispor::ModePtr::create(QStringLiteral("70"), QSize(800, 600), 60.0f));
         },
         ""},
        {"switched on meanwhile", [](auto &d) { d.enabled = true; }, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Dispor::Output::Data d = off;
        c.change(d);
        const Dispor::Output::Data before = d;
        EXPECT_EQ(Dispor::restore(d, kept), !c.modeId.isEmpty());
        if (c.modeId.isEmpty()) {
            EXPECT_EQ(d.currentModeId, before.currentModeId);
            EXPECT_EQ(d.placementKnown, before.placementKnown);
            continue;
        }
        EXPECT_EQ(d.currentModeId, c.modeId);
        EXPECT_EQ(d.scale, 1.5);
        EXPECT_EQ(d.rotation, Dispor::Output::Rotation::Right);
        EXPECT_EQ(d.pos, QPoint(1920, -40));
        EXPECT_TRUE(d.placementKnown);
    }

    // Kept per session in the runtime directory, and dropped when asked.
    TempDir runtime;
    ScopedEnv xdg("XDG_RUNTIME_DIR", runtime.path());
    Dispor::RememberedFile file(QStringLiteral("x11-:1/a b"));
    Dispor::RememberedOutputs read;
    QString reason;
    ASSERT_TRUE(file.read(&read, &reason)) << reason.toStdString();
    EXPECT_TRUE(read.isEmpty());
    EXPECT_FALSE(fileExists(runtime.file("dispor"))) << "reading creates nothing";
    ASSERT_TRUE(file.update({{QStringLiteral("DP-1"), kept}}, &reason)) << reason.toStdString();
    EXPECT_EQ(entries(runtime.file("dispor")),
              (std::vector<std::string>{"x11-%3A1%2Fa%20b-disabled-outputs.json",
                                        "x11-%3A1%2Fa%20b-disabled-outputs.json.lock"}));
    ASSERT_TRUE(file.read(&read, &reason));
    EXPECT_EQ(read, (Dispor::RememberedOutputs{{QStringLiteral("DP-1"), kept}}));
    // A record this library did not write is refused when read, replaced when written.
    const std::string path = runtime.file("dispor/x11-%3A1%2Fa%20b-disabled-outputs.json");
    for (const std::string damaged : {R"({"DP-1": {"uuid": 1}})", R"({"DP-1": 7})", R"([])",
                                      R"({"DP-1": {"uuid": "", "modeId": "", "width": 1, "height": 1,
                                           "refreshRate": 60, "scale": 1, "rotation": 3, "x": 0, "y": 0}})"}) {
        SCOPED_TRACE(damaged);
        writeFile(path, damaged);
        EXPECT_FALSE(file.read(&read, &reason));
        EXPECT_NE(reason.indexOf(QStringLiteral("disabled-outputs.json")), -1);
    }
    ASSERT_TRUE(
        file.update({{QStringLiteral("DP-2"), kept}, {QStringLiteral("DP-1"), std::nullopt}}, &reason));
    ASSERT_TRUE(file.read(&read, &reason));
    EXPECT_EQ(read.keys(), QStringList{QStringLiteral("DP-2")});
}

TEST(Writing, TheDirectoryAndTheLockAreTheUsersWhateverTheUmask)
{
    VirtualSet unused;
    TempDir runtime;
    ScopedEnv noState("DISPOR_VIRTUAL_STATE", std::nullopt);
    ScopedEnv xdg("XDG_RUNTIME_DIR", runtime.path());
    const std::string directory = runtime.file("dispor");
    for (const mode_t mask : {0277, 0477, 0077}) {
        SCOPED_TRACE(mask);
        std::filesystem::remove_all(directory);
        const mode_t old = ::umask(mask);
        std::string reasons;
        for (const double brightness : {0.5, 0.25}) {
            const Dispor::ConfigPtr config = fetch();
            config->output(1)->setBrightness(brightness);
            reasons += apply(config);
        }
        ::umask(old);
        EXPECT_EQ(reasons, "");
        struct stat status;
        ASSERT_EQ(::stat(directory.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, 0700u);
        ASSERT_EQ(::stat((directory + "/virtual-display.json.lock").c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, 0600u);
    }
}

int fileSizeSignals = 0;

void countFileSizeSignal(int)
{
    ++fileSizeSignals;
}

TEST(Writing, AFileSizeLimitIsAReasonAndTheSignalIsLeftAsItWas)
{
    VirtualSet set(twoOutputs);
    const Dispor::ConfigPtr config = fetch();
    config->output(1)->setBrightness(0.5);
    struct sigaction counting = {}, before = {}, after = {};
    counting.sa_handler = countFileSizeSignal;
    sigemptyset(&counting.sa_mask);
    ASSERT_EQ(::sigaction(SIGXFSZ, &counting, &before), 0);
    rlimit limit = {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit unlimited = limit;
    limit.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    const std::string reason = apply(config);
    ::setrlimit(RLIMIT_FSIZE, &unlimited);
    ::sigaction(SIGXFSZ, &before, &after);

    EXPECT_EQ(reason, set.path() + ": cannot write the new document: File too large");
    EXPECT_EQ(fileSizeSignals, 0);
    EXPECT_EQ(after.sa_handler, &countFileSizeSignal) << "the caller's disposition is back";
    EXPECT_EQ(set.read(), twoOutputs);
    EXPECT_EQ(entries(set.dir().path()),
              (std::vector<std::string>{"virtual-display.json", "virtual-display.json.lock"}));
}

struct DpmsRun {
    std::vector<bool> reports;
    std::string err;
    QString error;
};

DpmsRun switchTo(Dispor::Dpms::Mode mode)
{
    DpmsRun run;
    Dispor::Dpms dpms;
    QObject::connect(&dpms, &Dispor::Dpms::hasPendingChangesChanged,
                     [&run](bool pending) { run.reports.push_back(pending); });
    testing::internal::CaptureStderr();
    dpms.switchMode(mode);
    run.err = testing::internal::GetCapturedStderr();
    run.error = dpms.errorString();
    EXPECT_EQ(dpms.hasError(), !run.error.isEmpty());
    return run;
}

TEST(Dpms, SwitchesEveryConnectedOutputAndReportsPendingThenDone)
{
    VirtualSet set;
    DpmsRun run = switchTo(Dispor::Dpms::Off);
    EXPECT_EQ(run.reports, (std::vector<bool>{true, false}));
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.error, "");
    Dispor::ConfigPtr config = fetch();
    EXPECT_EQ(config->output(1)->dpmsMode(), Dispor::Output::DpmsMode::Off);
    EXPECT_EQ(config->output(2)->dpmsMode(), Dispor::Output::DpmsMode::Off);
    EXPECT_EQ(config->output(3)->dpmsMode(), Dispor::Output::DpmsMode::On) << "disconnected";

    run = switchTo(Dispor::Dpms::Standby);
    EXPECT_EQ(run.reports, (std::vector<bool>{true, false}));
    EXPECT_EQ(fetch()->output(1)->dpmsMode(), Dispor::Output::DpmsMode::Standby);
    run = switchTo(Dispor::Dpms::On);
    config = fetch();
    EXPECT_EQ(config->output(1)->dpmsMode(), Dispor::Output::DpmsMode::On);
    EXPECT_EQ(config->output(2)->dpmsMode(), Dispor::Output::DpmsMode::On);
}

TEST(Dpms, AFailureIsReportedAndStillEndsThePendingState)
{
    const std::string broken = "{\"outputs\": 3}";
    VirtualSet set(broken);
    const DpmsRun run = switchTo(Dispor::Dpms::Off);
    EXPECT_EQ(run.reports, (std::vector<bool>{true, false}));
    const std::string reason = set.path() + ": \"outputs\" must be an array, not 3";
    EXPECT_EQ(run.error.toStdString(), reason);
    EXPECT_EQ(run.err, "") << "the caller reports it";
    EXPECT_EQ(set.read(), broken);
}

TEST(BackendChoice, DisporBackendNamesTheBackend)
{
    VirtualSet set;
    // Never reach a real display from a test.
    ScopedEnv noX("DISPLAY", std::nullopt);
    ScopedEnv noWayland("WAYLAND_DISPLAY", std::nullopt);
    ScopedEnv noBus("DBUS_SESSION_BUS_ADDRESS", std::nullopt);
    ScopedEnv noUsersBus("XDG_RUNTIME_DIR", std::nullopt);
    struct Case {
        std::optional<std::string> value;
        std::string err; // empty: the virtual set is fetched
    };
    const Case cases[] = {
        {"virtual", ""},
        // Unasked, the simulated set is never chosen.
        {"", "dispor: found no display service to configure (WAYLAND_DISPLAY is not set; "
             "DBUS_SESSION_BUS_ADDRESS is not set; DISPLAY is not set); "
             "DISPOR_BACKEND=virtual selects the simulated display set\n"},
        {std::nullopt, "dispor: found no display service to configure (WAYLAND_DISPLAY is not set; "
                       "DBUS_SESSION_BUS_ADDRESS is not set; DISPLAY is not set); "
                       "DISPOR_BACKEND=virtual selects the simulated display set\n"},
        {"Virtual", "dispor: DISPOR_BACKEND \"Virtual\" names no backend; the known backends are gnome, "
                    "virtual, wayland and x11\n"},
        {"kms", "dispor: DISPOR_BACKEND \"kms\" names no backend; the known backends are gnome, virtual, "
                "wayland and x11\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.value ? *c.value : "unset");
        ScopedEnv backend("DISPOR_BACKEND", c.value);
        const Fetched fetched = fetchCapturing();
        EXPECT_EQ(fetched.err, c.err);
        EXPECT_EQ(bool(fetched.config), c.err.empty());
        if (fetched.config) {
            EXPECT_EQ(fetched.config->outputs().size(), 3);
        }
        if (!c.err.empty()) {
            // DPMS goes through the same choice.
            const DpmsRun run = switchTo(Dispor::Dpms::Off);
            EXPECT_EQ(run.reports, (std::vector<bool>{true, false}));
            EXPECT_EQ(run.err, "") << "the caller reports it";
            EXPECT_EQ("dispor: " + run.error.toStdString() + "\n", c.err);
        }
    }
    // The real backends, named but without their display (or not built):
    // one line, and never the virtual set in their place.
    for (const char *name : {"x11", "wayland", "gnome"}) {
        SCOPED_TRACE(name);
        ScopedEnv backend("DISPOR_BACKEND", name);
        const Fetched fetched = fetchCapturing();
        EXPECT_FALSE(fetched.config);
        EXPECT_EQ(fetched.err.rfind("dispor: ", 0), 0u) << fetched.err;
        EXPECT_EQ(std::count(fetched.err.begin(), fetched.err.end(), '\n'), 1) << fetched.err;
    }
    EXPECT_FALSE(fileExists(set.path()));
}

TEST(Operations, ApplyingWithoutAFetchedConfigurationFails)
{
    VirtualSet set;
    Dispor::SetConfigOperation none(Dispor::ConfigPtr{});
    EXPECT_FALSE(none.exec());
    EXPECT_EQ(none.errorString(), "there is no configuration to apply");
    Dispor::SetConfigOperation handMade(Dispor::ConfigPtr::create());
    EXPECT_FALSE(handMade.exec());
    EXPECT_EQ(handMade.errorString(), "the configuration was not fetched from a display service");
    EXPECT_FALSE(fileExists(set.path()));
}

} // namespace
} // namespace dispor_test
