// Fetching and applying through the public operations.

#include "support.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QTimer>

#include <filesystem>
#include <functional>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace dispor_test {
namespace {

TEST(Basics, FetchWithoutDocumentGivesTheDefaultSetAndCreatesNothing)
{
    VirtualSet set;
    const Dispor::ConfigPtr config = fetch();
    ASSERT_TRUE(config);
    ASSERT_EQ(config->outputs().size(), 3);
    EXPECT_EQ(config->outputs().keys(), (QList<int>{1, 2, 3}));
    EXPECT_FALSE(fileExists(set.path()));
    EXPECT_FALSE(fileExists(set.path() + ".lock"));
}

TEST(Basics, ApplyWritesTheChangeAndTheNextFetchSeesIt)
{
    VirtualSet set;
    Dispor::ConfigPtr config = fetch();
    ASSERT_TRUE(config);
    byName(config, "DP-1")->setScale(2.0);
    EXPECT_EQ(apply(config), "");
    ASSERT_TRUE(fileExists(set.path()));
    const Dispor::ConfigPtr again = fetch();
    ASSERT_TRUE(again);
    EXPECT_EQ(byName(again, "DP-1")->scale(), 2.0);
    EXPECT_EQ(byName(again, "eDP-1")->scale(), 1.25);
}

// Runs the event loop until the operation's finished() or 10 s; how many
// finished() came.
int finishedAfter(Dispor::ConfigOperation &operation, const std::function<void()> &begin)
{
    static int argc = 1;
    static char name[] = "dispor_tests";
    static char *argv[] = {name, nullptr};
    static QCoreApplication *app = QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    Q_UNUSED(app);
    int count = 0;
    QEventLoop loop;
    QObject::connect(&operation, &Dispor::ConfigOperation::finished, &loop,
                     [&](Dispor::ConfigOperation *done) {
                         EXPECT_EQ(done, &operation);
                         ++count;
                         loop.quit();
                     });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    begin();
    loop.exec();
    return count;
}

TEST(Basics, StartRunsOnAThreadOfItsOwnAndFinishesOnce)
{
    VirtualSet set(document(output(1, "A", R"("capabilities": ["brightness"])")));
    Dispor::GetConfigOperation get;
    ASSERT_EQ(finishedAfter(get, [&] { get.start(); }), 1);
    ASSERT_FALSE(get.hasError());
    const Dispor::ConfigPtr config = get.config();
    ASSERT_TRUE(config);
    // Asked again, the first result.
    EXPECT_EQ(finishedAfter(get, [&] { get.start(); }), 1);
    EXPECT_EQ(get.config(), config);

    // While an apply waits for the document's lock, the caller goes on: it
    // lets go of the lock only once start() returned. Run in this thread,
    // the apply would have given up waiting.
    config->output(1)->setBrightness(0.5);
    Dispor::SetConfigOperation apply(config);
    const int lock = ::open((set.path() + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);
    EXPECT_EQ(finishedAfter(apply,
                            [&] {
                                apply.start();
                                ::close(lock);
                            }),
              1);
    EXPECT_FALSE(apply.hasError()) << apply.errorString().toStdString();
    EXPECT_NE(set.read().find("0.5"), std::string::npos);
}

// Runs the event loop until the signal or 10 s; how many came.
template <typename Signal>
int signalsDuring(Dispor::ConfigWatcher &watcher, Signal signal, const std::function<void()> &act)
{
    int count = 0;
    QEventLoop loop;
    QObject::connect(&watcher, signal, &loop, [&] {
        ++count;
        loop.quit();
    });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    act();
    loop.exec();
    return count;
}

TEST(Basics, AWatcherTellsOfChangesAsTheyCome)
{
    VirtualSet set(document(output(1, "A", R"("capabilities": ["brightness"])")));
    Dispor::GetConfigOperation get; // the application object, made as for start()
    finishedAfter(get, [&] { get.start(); });
    Dispor::ConfigWatcher watcher;
    ASSERT_TRUE(watcher.start()) << watcher.errorString().toStdString();
    // Another client's apply, and the document written by another program.
    const Dispor::ConfigPtr config = fetch();
    config->output(1)->setBrightness(0.5);
    EXPECT_GE(
        signalsDuring(watcher, &Dispor::ConfigWatcher::configChanged, [&] { EXPECT_EQ(apply(config), ""); }),
        1);
    EXPECT_EQ(signalsDuring(watcher, &Dispor::ConfigWatcher::configChanged,
                            [&] { set.write(document(output(1, "B"))); }),
              1);
    // Nothing changed, nothing told: the event loop runs its time out.
    QEventLoop idle;
    int spurious = 0;
    QObject::connect(&watcher, &Dispor::ConfigWatcher::configChanged, &idle, [&] { ++spurious; });
    QTimer::singleShot(300, &idle, &QEventLoop::quit);
    idle.exec();
    EXPECT_EQ(spurious, 0);
    // The document's place gone: the watcher says so once, and stops.
    EXPECT_EQ(signalsDuring(watcher, &Dispor::ConfigWatcher::serviceLost,
                            [&] { std::filesystem::remove_all(set.dir().path()); }),
              1);
    EXPECT_FALSE(watcher.isWatching());
}

TEST(Basics, TheLibraryIsQuietUnlessAsked)
{
    VirtualSet set("not a document");
    QLoggingCategory::setFilterRules(QString());
    testing::internal::CaptureStderr();
    Dispor::GetConfigOperation get;
    EXPECT_FALSE(get.exec());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    // The reason comes as a value.
    EXPECT_TRUE(get.errorString().startsWith(QString::fromStdString(set.path())))
        << get.errorString().toStdString();
    QLoggingCategory::setFilterRules(QStringLiteral("dispor.warning=true"));
    EXPECT_FALSE(fetchCapturing().err.empty());
}

} // namespace
} // namespace dispor_test
