// Where the document lives, and how it and its directory are guarded.

#include "support.h"

#include "../../dispor/src/store.h"
#include "../../dispor/src/virtual/location.h"

#include <filesystem>
#include <optional>

#include <sys/stat.h>
#include <unistd.h>

namespace dispor_test {
namespace {

TEST(Location, WithoutAPathTheRuntimeDirectoryHoldsTheDocument)
{
    VirtualSet unused;
    TempDir runtime;
    for (const std::optional<std::string> &state :
         {std::optional<std::string>(), std::optional<std::string>("")}) {
        SCOPED_TRACE(state ? "empty DISPOR_VIRTUAL_STATE" : "no DISPOR_VIRTUAL_STATE");
        ScopedEnv noState("DISPOR_VIRTUAL_STATE", state);
        ScopedEnv xdg("XDG_RUNTIME_DIR", runtime.path());
        const std::string directory = runtime.file("dispor");
        std::filesystem::remove_all(directory);
        Dispor::ConfigPtr config = fetch();
        ASSERT_TRUE(config);
        EXPECT_FALSE(fileExists(directory)) << "reading creates nothing";
        config->output(1)->setBrightness(0.5);
        ASSERT_EQ(apply(config), "");
        struct stat status;
        ASSERT_EQ(::stat(directory.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 0777, 0700u);
        EXPECT_TRUE(fileExists(directory + "/virtual-display.json"));
        EXPECT_EQ(fetch()->output(1)->brightness(), 0.5);
    }
}

TEST(Location, APathNamingADirectoryIsRefused)
{
    VirtualSet set;
    ScopedEnv state("DISPOR_VIRTUAL_STATE", set.dir().path() + "/");
    const Fetched fetched = fetchCapturing();
    EXPECT_FALSE(fetched.config);
    EXPECT_EQ(fetched.err, "dispor: " + set.dir().path() + "/: names a directory, not a document\n");
}

TEST(Location, APathWithAC1ControlIsQuoted)
{
    VirtualSet set;
    // U+009B opens a terminal sequence as ESC [ does.
    ScopedEnv state("DISPOR_VIRTUAL_STATE", set.dir().path() + "/a\xc2\x9b/");
    EXPECT_EQ(fetchCapturing().err,
              "dispor: \"" + set.dir().path() + "/a\\u009b/\": names a directory, not a document\n");
}

TEST(Security, ASymbolicLinkAsTheDocumentIsRefused)
{
    VirtualSet set(twoOutputs);
    const Dispor::ConfigPtr config = fetch();
    config->output(1)->setBrightness(0.5);
    TempDir elsewhere;
    const std::string target = elsewhere.file("target.json");
    writeFile(target, twoOutputs);
    std::filesystem::remove(set.path());
    ASSERT_EQ(::symlink(target.c_str(), set.path().c_str()), 0);
    const std::string reason = set.path() + ": refusing a symbolic link as the document";

    const Fetched fetched = fetchCapturing();
    EXPECT_FALSE(fetched.config);
    EXPECT_EQ(fetched.err, "dispor: " + reason + "\n");
    EXPECT_EQ(apply(config), reason);
    EXPECT_EQ(readFile(target), twoOutputs);

    // Dangling: nothing is created through it.
    std::filesystem::remove(target);
    EXPECT_EQ(apply(config), reason);
    EXPECT_FALSE(fileExists(target));
}

TEST(Security, ASymbolicLinkAsTheLockFileIsRefused)
{
    VirtualSet set(twoOutputs);
    TempDir elsewhere;
    ASSERT_EQ(::symlink(elsewhere.file("lock").c_str(), (set.path() + ".lock").c_str()), 0);
    const Dispor::ConfigPtr config = fetch();
    config->output(1)->setBrightness(0.5);
    EXPECT_EQ(apply(config),
              set.path() + ".lock: cannot open the lock file: Too many levels of symbolic links");
    EXPECT_FALSE(fileExists(elsewhere.file("lock")));
    EXPECT_EQ(set.read(), twoOutputs);
}

// A lock file that is no regular file is refused, and nothing is opened in
// a way that can block (a FIFO opened for reading or writing alone would).
TEST(Security, ALockFileThatIsAFifoIsRefusedWithoutWaiting)
{
    for (const mode_t mode : {0600, 0400, 0200}) {
        SCOPED_TRACE(mode);
        VirtualSet set(twoOutputs);
        const std::string lock = set.path() + ".lock";
        ASSERT_EQ(::mkfifo(lock.c_str(), mode), 0);
        const Dispor::ConfigPtr config = fetch();
        config->output(1)->setBrightness(0.5);
        EXPECT_EQ(apply(config), lock + ": the lock file is not a regular file");
        EXPECT_EQ(set.read(), twoOutputs);
    }
}

// Neither the document nor the lock file may be one others can write to.
TEST(Security, NeitherDocumentNorLockFileMayBeWritableByOthers)
{
    const std::pair<mode_t, std::string> modes[] = {{0666, "its group and others"}, {0620, "its group"}};
    for (const auto &[mode, who] : modes) {
        SCOPED_TRACE(mode);
        VirtualSet set(twoOutputs);
        const Dispor::ConfigPtr config = fetch();
        config->output(1)->setBrightness(0.5);
        const std::string lock = set.path() + ".lock";
        writeFile(lock, "");
        ASSERT_EQ(::chmod(lock.c_str(), mode), 0);
        EXPECT_EQ(apply(config), lock + ": refusing a lock file that " + who + " can write to");
        ASSERT_EQ(::chmod(lock.c_str(), 0600), 0);
        ASSERT_EQ(::chmod(set.path().c_str(), mode), 0);
        const std::string reason = set.path() + ": refusing a document that " + who + " can write to";
        EXPECT_EQ(fetchCapturing().err, "dispor: " + reason + "\n");
        EXPECT_EQ(apply(config), reason);
        EXPECT_EQ(set.read(), twoOutputs);
    }
}

// In a runtime directory others share, a "dispor" link another user planted
// is not followed.
TEST(Security, TheRuntimeDirectorysDisporMustNotBeALink)
{
    VirtualSet unused;
    TempDir runtime, elsewhere;
    ScopedEnv noState("DISPOR_VIRTUAL_STATE", std::nullopt);
    ScopedEnv xdg("XDG_RUNTIME_DIR", runtime.path());
    ASSERT_EQ(::symlink(elsewhere.path().c_str(), runtime.file("dispor").c_str()), 0);
    const std::string reason = runtime.file("dispor") + ": refusing a symbolic link as the directory";
    const Fetched fetched = fetchCapturing();
    EXPECT_EQ(fetched.err, "dispor: " + reason + "\n");
    ::unlink(runtime.file("dispor").c_str());
    const Dispor::ConfigPtr config = fetch();
    config->output(1)->setBrightness(0.5);
    ASSERT_EQ(::symlink(elsewhere.path().c_str(), runtime.file("dispor").c_str()), 0);
    EXPECT_EQ(apply(config), reason);
    EXPECT_TRUE(entries(elsewhere.path()).empty());
}

TEST(Security, DirectoriesOthersCanWriteToAreRefused)
{
    const std::pair<mode_t, std::string> modes[] = {{0777, "its group and others"},
                                                    {0770, "its group"},
                                                    {0702, "others"},
                                                    {01777, "its group and others"}};
    for (const auto &[mode, who] : modes) {
        SCOPED_TRACE(mode);
        VirtualSet set(twoOutputs);
        const Dispor::ConfigPtr config = fetch();
        config->output(1)->setBrightness(0.5);
        ASSERT_EQ(::chmod(set.dir().path().c_str(), mode), 0);
        const std::string reason = set.dir().path() + ": refusing a directory that " + who + " can write to";
        const Fetched fetched = fetchCapturing();
        EXPECT_FALSE(fetched.config);
        EXPECT_EQ(fetched.err, "dispor: " + reason + "\n");
        EXPECT_EQ(apply(config), reason);
        EXPECT_EQ(set.read(), twoOutputs);
        ::chmod(set.dir().path().c_str(), 0700);
    }
    // Without a document too: the default set is not shown from there.
    VirtualSet set;
    ASSERT_EQ(::chmod(set.dir().path().c_str(), 0777), 0);
    EXPECT_FALSE(fetchCapturing().config);
}

TEST(Security, ADirectoryOfAnotherUserIsRefused)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs to hand a directory to another user";
    VirtualSet set(twoOutputs);
    const Dispor::ConfigPtr config = fetch();
    config->output(1)->setBrightness(0.5);
    ASSERT_EQ(::chown(set.dir().path().c_str(), 65534, 65534), 0);
    const std::string reason = set.dir().path() + ": refusing a directory that belongs to another user";
    const Fetched fetched = fetchCapturing();
    EXPECT_FALSE(fetched.config);
    EXPECT_EQ(fetched.err, "dispor: " + reason + "\n");
    EXPECT_EQ(apply(config), reason);
    EXPECT_EQ(set.read(), twoOutputs);
    ::chown(set.dir().path().c_str(), 0, 0);

    // Nor is anything made in a runtime directory of another user's (root
    // with a user's environment), or in a relative one.
    ScopedEnv noState("DISPOR_VIRTUAL_STATE", std::nullopt);
    TempDir runtime;
    ASSERT_EQ(::chown(runtime.path().c_str(), 65534, 65534), 0);
    for (const std::string &place : {runtime.path(), std::string("relative")}) {
        SCOPED_TRACE(place);
        ScopedEnv xdg("XDG_RUNTIME_DIR", place);
        const Fetched refused = fetchCapturing();
        EXPECT_FALSE(refused.config);
        EXPECT_EQ(refused.err,
                  place == "relative"
                      ? "dispor: XDG_RUNTIME_DIR is not an absolute path: relative\n"
                      : "dispor: " + place + ": refusing a runtime directory that belongs to another user\n");
    }
    EXPECT_EQ(entries(runtime.path()), std::vector<std::string>{});
}

TEST(Location, PathsAreUsedAsTheBytesTheyAre)
{
    VirtualSet unused;
    TempDir dir;
    {
        // A Latin-1 name, not valid UTF-8: that very file is read and written.
        const std::string path = dir.file("\xe9tat.json");
        writeFile(path, twoOutputs);
        ScopedEnv state("DISPOR_VIRTUAL_STATE", path);
        const Dispor::ConfigPtr config = fetch();
        ASSERT_TRUE(config);
        config->output(1)->setBrightness(0.5);
        ASSERT_EQ(apply(config), "");
        EXPECT_EQ(fetch()->output(1)->brightness(), 0.5);
        EXPECT_NE(readFile(path), twoOutputs);
        EXPECT_EQ(entries(dir.path()), (std::vector<std::string>{"\xe9tat.json", "\xe9tat.json.lock"}));
    }
    // The runtime directory too.
    const std::string runtime = dir.file("run\xe9");
    ASSERT_EQ(::mkdir(runtime.c_str(), 0700), 0);
    ScopedEnv noState("DISPOR_VIRTUAL_STATE", std::nullopt);
    ScopedEnv xdg("XDG_RUNTIME_DIR", runtime);
    const Dispor::ConfigPtr config = fetch();
    config->output(1)->setBrightness(0.5);
    ASSERT_EQ(apply(config), "");
    EXPECT_TRUE(fileExists(runtime + "/dispor/virtual-display.json"));
    EXPECT_EQ(entries(dir.path()),
              (std::vector<std::string>{"run\xe9", "\xe9tat.json", "\xe9tat.json.lock"}));
}

TEST(Location, WithoutARuntimeDirectoryTheSharedPlaceIsUsed)
{
    ScopedEnv noState("DISPOR_VIRTUAL_STATE", std::nullopt);
    ScopedEnv noRuntime("XDG_RUNTIME_DIR", std::nullopt);
    Dispor::Location location;
    QString reason;
    ASSERT_TRUE(Dispor::Virtual::locate(&location, &reason)) << reason.toStdString();
    EXPECT_EQ(location.path, "/tmp/dispor-" + QByteArray::number(::geteuid()) + "/virtual-display.json");
    EXPECT_TRUE(location.shared);
}

TEST(Security, ASharedDirectoryMustBeTheUsersOwnNotALink)
{
    // Stands for /tmp, where another user may have planted the name first.
    TempDir shared, mine;
    const std::string link = shared.file("dispor-0");
    ASSERT_EQ(::symlink(mine.path().c_str(), link.c_str()), 0);
    Dispor::Location location{QByteArray::fromStdString(link + "/virtual-display.json"),
                              QByteArray::fromStdString(link),
                              "virtual-display.json",
                              true,
                              {}};
    for (const bool create : {false, true}) {
        Dispor::Store store(location);
        bool missing = false;
        QString reason;
        EXPECT_FALSE(store.openDirectory(create, &missing, &reason));
        EXPECT_EQ(reason.toStdString(), link + ": refusing a symbolic link as the directory");
    }
    EXPECT_TRUE(entries(mine.path()).empty());

    // A directory made there is the user's, 0700 whatever the umask.
    ASSERT_EQ(::unlink(link.c_str()), 0);
    const mode_t umask = ::umask(0477);
    Dispor::Store store(location);
    bool missing = false;
    QString reason;
    const bool opened = store.openDirectory(true, &missing, &reason);
    ::umask(umask);
    EXPECT_TRUE(opened) << reason.toStdString();
    struct stat status;
    ASSERT_EQ(::lstat(link.c_str(), &status), 0);
    EXPECT_TRUE(S_ISDIR(status.st_mode));
    EXPECT_EQ(status.st_mode & 07777, 0700u);
}

} // namespace
} // namespace dispor_test
