// Documents in hostile places: behind a symbolic link, in a directory of
// another user or one that others can write to, or one the user may not
// read or write. Each is refused with its reason and left alone. And hostile
// conditions of the run: a path that is not UTF-8, a umask that takes the
// owner's bits, resource limits.

#include "process.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace {

const std::string valid =
    R"({"outputs": [{"id": 1, "name": "DP-1", "capabilities": ["brightness", "disable"]}]})";

// Runs that read the document and runs that write it.
const std::vector<std::vector<std::string>> fetching = {{"DP-1", "set-brightness", "50"}, {"list-outputs"}};
const std::vector<std::vector<std::string>> writing = {{"off"}};

void expectRefused(const e2e::VirtualSet &set, const std::vector<std::vector<std::string>> &runs,
                   const std::string &reason, const std::vector<std::string> &wrapper = {})
{
    for (const std::vector<std::string> &args : runs) {
        SCOPED_TRACE(::testing::PrintToString(args));
        reliability::Launch launch;
        launch.args = args;
        launch.wrapper = wrapper;
        const std::string prefix = args[0] == "off" ? "Failed to switch display power: " : "dispor: ";
        EXPECT_EQ(reliability::runWith(set, launch), (e2e::Result{1, "", prefix + reason + "\n"}));
    }
}

std::vector<std::vector<std::string>> all()
{
    std::vector<std::vector<std::string>> runs = fetching;
    runs.insert(runs.end(), writing.begin(), writing.end());
    return runs;
}

TEST(HostilePlaces, ASymbolicLinkAsTheDocumentIsRefused)
{
    e2e::VirtualSet set;
    const std::string target = set.runtimeDir() + "/elsewhere.json";
    e2e::writeFile(target, valid);
    for (const std::string &to :
         {target, std::string("/dev/zero"), set.runtimeDir() + "/missing.json", set.runtimeDir()}) {
        SCOPED_TRACE(to);
        ::unlink(set.path().c_str());
        ASSERT_EQ(::symlink(to.c_str(), set.path().c_str()), 0);
        expectRefused(set, all(), set.path() + ": refusing a symbolic link as the document");
        EXPECT_FALSE(e2e::fileExists(set.runtimeDir() + "/missing.json"));
    }
    EXPECT_EQ(e2e::readFile(target), valid);
}

TEST(HostilePlaces, DirectoriesOthersCanWriteToAreRefused)
{
    const std::pair<mode_t, std::string> modes[] = {{0777, "its group and others"},
                                                    {0770, "its group"},
                                                    {0720, "its group"},
                                                    {01777, "its group and others"},
                                                    {0702, "others"}};
    for (const auto &[mode, who] : modes) {
        SCOPED_TRACE(std::to_string(mode));
        e2e::VirtualSet set(valid);
        ASSERT_EQ(::chmod(set.runtimeDir().c_str(), mode), 0);
        expectRefused(set, all(), set.runtimeDir() + ": refusing a directory that " + who + " can write to");
        EXPECT_EQ(set.read(), valid);
    }
}

TEST(HostilePlaces, ADirectoryOfAnotherUserIsRefused)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "handing a directory to another user needs root";
    const passwd *nobody = ::getpwnam("nobody");
    if (!nobody)
        GTEST_SKIP() << "there is no user nobody";
    e2e::VirtualSet set(valid);
    if (::chown(set.runtimeDir().c_str(), nobody->pw_uid, nobody->pw_gid) != 0)
        GTEST_SKIP() << "cannot hand a directory to nobody here: " << std::strerror(errno);
    expectRefused(set, all(), set.runtimeDir() + ": refusing a directory that belongs to another user");
    EXPECT_EQ(set.read(), valid);

    // Reached through a link from a directory of one's own, it is still refused.
    e2e::VirtualSet own;
    const std::string link = own.runtimeDir() + "/theirs";
    ASSERT_EQ(::symlink(set.runtimeDir().c_str(), link.c_str()), 0);
    reliability::Launch launch;
    launch.args = {"list-outputs"};
    launch.env = {{"DISPOR_VIRTUAL_STATE", link + "/virtual-display.json"}};
    EXPECT_EQ(
        reliability::runWith(own, launch),
        (e2e::Result{1, "", "dispor: " + link + ": refusing a directory that belongs to another user\n"}));
    EXPECT_EQ(set.read(), valid);
}

TEST(HostilePlaces, SpecialFilesBesideTheDocumentAreRefused)
{
    {
        // The lock file a directory: the write is refused, the document kept.
        e2e::VirtualSet set(valid);
        ASSERT_EQ(::mkdir((set.path() + ".lock").c_str(), 0700), 0);
        expectRefused(set, writing, set.path() + ".lock: cannot open the lock file: Is a directory");
        EXPECT_EQ(set.read(), valid);
    }
    // A device in the document's place is never read (where one can be made).
    e2e::VirtualSet set;
    if (::mknod(set.path().c_str(), S_IFCHR | 0600, ::makedev(1, 5)) == 0)
        expectRefused(set, all(), set.path() + ": is not a regular file");
}

// Runs for which the permission bits count: they do not for root, so root
// runs the tool as the user nobody, on a directory of nobody's own.
class AsAnotherUser : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            return; // the bits count already
        m_nobody = ::getpwnam("nobody");
        if (!m_nobody)
            GTEST_SKIP() << "there is no user nobody";
        if (::access("/usr/bin/setpriv", X_OK) != 0)
            GTEST_SKIP() << "setpriv is not installed";
        m_wrapper = {"/usr/bin/setpriv", "--reuid=" + std::to_string(m_nobody->pw_uid),
                     "--regid=" + std::to_string(m_nobody->pw_gid), "--clear-groups", "--"};
        // The binary itself must be reachable for nobody.
        reliability::Launch probe;
        probe.args = {"help"};
        probe.wrapper = m_wrapper;
        e2e::VirtualSet set;
        if (::chown(set.runtimeDir().c_str(), m_nobody->pw_uid, m_nobody->pw_gid) != 0)
            GTEST_SKIP() << "cannot hand a directory to nobody here: " << std::strerror(errno);
        if (reliability::runWith(set, probe).status != 0)
            GTEST_SKIP() << "the user nobody cannot run " << e2e::dispctlBinary();
    }

    void hand(const e2e::VirtualSet &set, bool withDocument = false) const
    {
        if (!m_nobody)
            return;
        ASSERT_EQ(::chown(set.runtimeDir().c_str(), m_nobody->pw_uid, m_nobody->pw_gid), 0);
        if (withDocument) {
            ASSERT_EQ(::chown(set.path().c_str(), m_nobody->pw_uid, m_nobody->pw_gid), 0);
        }
    }

    reliability::Launch as(const std::vector<std::string> &args) const
    {
        reliability::Launch launch;
        launch.args = args;
        launch.wrapper = m_wrapper;
        return launch;
    }

    const passwd *m_nobody = nullptr;
    std::vector<std::string> m_wrapper;
};

TEST_F(AsAnotherUser, ADocumentTheUserCannotReadIsRefused)
{
    e2e::VirtualSet set(valid);
    hand(set, true);
    ASSERT_EQ(::chmod(set.path().c_str(), 0200), 0);
    expectRefused(set, all(), set.path() + ": cannot open the document: Permission denied", m_wrapper);
    ASSERT_EQ(::chmod(set.path().c_str(), 0600), 0);
    EXPECT_EQ(set.read(), valid);
}

TEST_F(AsAnotherUser, ADocumentTheUserCannotWriteIsReadButNotReplaced)
{
    for (const bool own : {true, false}) {
        SCOPED_TRACE(own ? "nobody's read-only document" : "root's document");
        e2e::VirtualSet set(valid);
        hand(set, own);
        ASSERT_EQ(::chmod(set.path().c_str(), 0444), 0);
        const e2e::Result listed = reliability::runWith(set, as({"list-outputs", "--names"}));
        EXPECT_EQ(listed, (e2e::Result{0, "DP-1\n", ""}));
        EXPECT_EQ(reliability::runWith(set, as({"DP-1", "set-brightness", "50"})),
                  (e2e::Result{1, "",
                               "Failed to apply output configuration: " + set.path() +
                                   ": refusing to replace a document the user cannot write\n"}));
        expectRefused(set, writing, set.path() + ": refusing to replace a document the user cannot write",
                      m_wrapper);
        EXPECT_EQ(set.read(), valid);
    }
}

TEST_F(AsAnotherUser, ADirectoryTheUserCannotWriteToKeepsTheDocument)
{
    e2e::VirtualSet set(valid);
    hand(set, true);
    ASSERT_EQ(::chmod(set.runtimeDir().c_str(), 0500), 0);
    const e2e::Result result = reliability::runWith(set, as({"DP-1", "set-brightness", "50"}));
    EXPECT_EQ(result.status, 1) << result;
    EXPECT_EQ(result.err, "Failed to apply output configuration: " + set.path() +
                              ".lock: cannot open the lock file: Permission denied\n");
    EXPECT_EQ(set.read(), valid);
}

TEST(HostileRuns, APathThatIsNotUtf8NamesThatVeryFile)
{
    e2e::VirtualSet set;
    for (const bool named : {true, false}) {
        SCOPED_TRACE(named ? "DISPOR_VIRTUAL_STATE" : "XDG_RUNTIME_DIR");
        const std::string directory = set.runtimeDir() + (named ? "/named\xe9" : "/runtime\xe9");
        ASSERT_EQ(::mkdir(directory.c_str(), 0700), 0);
        const std::string path =
            named ? directory + "/\xe9tat.json" : directory + "/dispor/virtual-display.json";
        if (named)
            e2e::writeFile(path, valid);
        reliability::Launch launch;
        launch.args = {"off"};
        launch.env = {{"DISPOR_VIRTUAL_STATE", named ? std::optional(path) : std::nullopt},
                      {"XDG_RUNTIME_DIR", directory}};
        EXPECT_EQ(reliability::runWith(set, launch), (e2e::Result{0, "", ""}));
        EXPECT_NE(e2e::readFile(path).find("\"dpms\": \"off\""), std::string::npos)
            << "the named file holds the change";
    }
    EXPECT_FALSE(e2e::fileExists(set.path())) << "nothing went elsewhere";
}

// The wrapper that runs dispctl under a umask.
std::vector<std::string> underUmask(std::vector<std::string> wrapper, const std::string &mask)
{
    wrapper.insert(wrapper.end(), {"/bin/sh", "-c", "umask " + mask + "; exec \"$@\"", "sh"});
    return wrapper;
}

TEST_F(AsAnotherUser, AUmaskTakingTheOwnersBitsLeavesLockAndDirectoryUsable)
{
    for (const std::string mask : {"0277", "0477"}) {
        SCOPED_TRACE(mask);
        e2e::VirtualSet set;
        hand(set);
        // The backend makes the directory inside the runtime directory.
        reliability::Launch launch;
        launch.wrapper = underUmask(m_wrapper, mask);
        launch.env = {{"DISPOR_VIRTUAL_STATE", std::nullopt}, {"XDG_RUNTIME_DIR", set.runtimeDir()}};
        const std::string directory = set.runtimeDir() + "/dispor";
        for (const char *brightness : {"50", "40", "30"}) {
            launch.args = {"eDP-1", "set-brightness", brightness};
            EXPECT_EQ(reliability::runWith(set, launch), (e2e::Result{0, "", ""}))
                << "with brightness " << brightness;
        }
        struct stat status;
        ASSERT_EQ(::stat(directory.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, 0700u);
        ASSERT_EQ(::stat((directory + "/virtual-display.json.lock").c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, 0600u);
    }
}

TEST(HostileRuns, WithoutARuntimeDirectoryAPlantedLinkIsRefused)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "planting /tmp/dispor-<uid> for a user of its own needs root";
    // A user of no one else's: its place in /tmp is free and stays the test's.
    const unsigned uid = 3000000000u + unsigned(::getpid());
    const std::string shared = "/tmp/dispor-" + std::to_string(uid);
    const std::vector<std::string> wrapper = {"/usr/bin/setpriv", "--reuid=" + std::to_string(uid),
                                              "--regid=" + std::to_string(uid), "--clear-groups", "--"};
    e2e::VirtualSet set;
    // The user's own directory, where the planted link points.
    const std::string own = set.runtimeDir() + "/own";
    ASSERT_EQ(::mkdir(own.c_str(), 0700), 0);
    ASSERT_EQ(::chown(own.c_str(), uid, uid), 0);
    ::unlink(shared.c_str());
    ASSERT_EQ(::symlink(own.c_str(), shared.c_str()), 0);
    reliability::Launch launch;
    launch.wrapper = wrapper;
    launch.env = {{"DISPOR_VIRTUAL_STATE", std::nullopt}, {"XDG_RUNTIME_DIR", std::nullopt}};
    launch.args = {"off"};
    const e2e::Result planted = reliability::runWith(set, launch);
    ::unlink(shared.c_str());
    if (planted.status == 126 || planted.status == 127)
        GTEST_SKIP() << "the user " << uid << " cannot run " << e2e::dispctlBinary() << ": " << planted;
    EXPECT_EQ(planted, (e2e::Result{1, "",
                                    "Failed to switch display power: " + shared +
                                        ": refusing a symbolic link as the directory\n"}));
    EXPECT_FALSE(e2e::fileExists(own + "/virtual-display.json"));

    // Without the link the backend makes the directory itself.
    EXPECT_EQ(reliability::runWith(set, launch), (e2e::Result{0, "", ""}));
    struct stat status;
    ASSERT_EQ(::lstat(shared.c_str(), &status), 0);
    EXPECT_TRUE(S_ISDIR(status.st_mode) && status.st_uid == uid && (status.st_mode & 07777) == 0700);
    std::filesystem::remove_all(shared);
}

TEST(HostileRuns, AFileSizeLimitGivesOneLine)
{
    e2e::VirtualSet set(valid);
    reliability::Launch launch;
    launch.args = {"DP-1", "set-brightness", "50"};
    launch.wrapper = {"/usr/bin/prlimit", "--fsize=16", "--"};
    EXPECT_EQ(reliability::runWith(set, launch),
              (e2e::Result{1, "",
                           "Failed to apply output configuration: " + set.path() +
                               ": cannot write the new document: File too large\n"}));
    launch.args = {"off"};
    EXPECT_EQ(reliability::runWith(set, launch),
              (e2e::Result{1, "",
                           "Failed to switch display power: " + set.path() +
                               ": cannot write the new document: File too large\n"}));
    EXPECT_EQ(set.read(), valid);
}

TEST(HostileRuns, FewFileDescriptorsGiveOneLine)
{
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizers need descriptors of their own (UndefinedBehaviorSanitizer
    // tests memory through a pipe) and report faults that are not there.
    GTEST_SKIP() << "the sanitizers cannot work with so few descriptors";
#endif
    for (const int files : {4, 5, 6, 7}) {
        for (const std::vector<std::string> &args : all()) {
            SCOPED_TRACE(std::to_string(files) + " files, " + ::testing::PrintToString(args));
            e2e::VirtualSet set(valid);
            reliability::Launch launch;
            launch.args = args;
            launch.wrapper = {"/usr/bin/prlimit", "--nofile=" + std::to_string(files), "--"};
            const e2e::Result result = reliability::runWith(set, launch);
            EXPECT_FALSE(reliability::crashed(result)) << result;
            if (result.status == 0) {
                EXPECT_EQ(result.err, "");
            } else {
                EXPECT_EQ(result.status, 1);
                EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result;
                EXPECT_TRUE(result.err.ends_with('\n')) << result;
                EXPECT_EQ(set.read(), valid);
            }
        }
    }
}

} // namespace
