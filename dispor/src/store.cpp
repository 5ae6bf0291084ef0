#include "store.h"

#include "text.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>
#include <thread>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Dispor {

namespace {

std::function<bool()> &beforeRenameHook()
{
    static std::function<bool()> hook;
    return hook;
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

int retry(auto call)
{
    int result;
    do {
        result = call();
    } while (result < 0 && errno == EINTR);
    return result;
}

// Past a file-size limit write() raises SIGXFSZ, which ends the process
// without a word; ignored, write() fails with EFBIG, a reason like any other.
// The disposition is put back after, so that programs the caller starts
// inherit the caller's own.
class IgnoringFileSizeSignal {
public:
    IgnoringFileSizeSignal()
    {
        struct sigaction ignore = {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        m_saved = ::sigaction(SIGXFSZ, &ignore, &m_previous) == 0;
    }
    ~IgnoringFileSizeSignal()
    {
        const int error = errno; // the write's, for its reason
        if (m_saved)
            ::sigaction(SIGXFSZ, &m_previous, nullptr);
        errno = error;
    }
    IgnoringFileSizeSignal(const IgnoringFileSizeSignal &) = delete;
    IgnoringFileSizeSignal &operator=(const IgnoringFileSizeSignal &) = delete;

private:
    struct sigaction m_previous = {};
    bool m_saved = false;
};

bool writeAll(int fd, const char *data, qsizetype size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

// ".<document>.<pid>.<n>.tmp", as write() names its temporary files.
bool isTemporaryName(std::string_view name, std::string_view prefix)
{
    constexpr std::string_view suffix = ".tmp";
    if (name.size() <= prefix.size() + suffix.size() || !name.starts_with(prefix) || !name.ends_with(suffix))
        return false;
    name = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    const size_t dot = name.find('.');
    const auto digits = [](std::string_view part) {
        return !part.empty() && part.find_first_not_of("0123456789") == std::string_view::npos;
    };
    return dot != std::string_view::npos && digits(name.substr(0, dot)) && digits(name.substr(dot + 1));
}

// Under the lock no other writer has a temporary file in the directory: one
// that is there was left by a writer that died before its rename. Left in
// place they pile up, and one whose name a later writer picks again (the
// same process id) would stop that writer.
void removeLeftovers(int directory, const QByteArray &fileName)
{
    const int fd = ::openat(directory, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    DIR *entries = ::fdopendir(fd);
    if (!entries) {
        ::close(fd);
        return;
    }
    const QByteArray prefix = '.' + fileName + '.';
    while (const dirent *entry = ::readdir(entries)) {
        if (isTemporaryName(entry->d_name, std::string_view(prefix.constData(), size_t(prefix.size()))))
            ::unlinkat(directory, entry->d_name, 0);
    }
    ::closedir(entries);
}

// Who besides the owner may write to a file of this mode; empty for nobody.
QString otherWriters(mode_t mode)
{
    const bool group = mode & S_IWGRP, others = mode & S_IWOTH;
    return group && others ? u"its group and others"_qs
           : group         ? u"its group"_qs
           : others        ? u"others"_qs
                           : QString();
}

// When an applier last took the lock: each holder touches the lock file
// (its content stays empty), so that a waiter can tell a queue that moves
// from a holder that does not finish. The owner may touch a file that it
// may not write.
std::pair<time_t, long> lastTaken(int fd)
{
    struct stat status;
    if (::fstat(fd, &status) < 0)
        return {};
    return {status.st_mtim.tv_sec, status.st_mtim.tv_nsec};
}

// The holder of the lock as its waiters see it: the process whose pid it
// wrote into the lock file when it took the lock, and the processor time
// that process has used (user and system, in clock ticks).
struct Holder {
    long pid = 0;
    unsigned long long ticks = 0;
    bool stopped = false;
};

void nameHolder(int fd)
{
    const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
    if (::ftruncate(fd, 0) == 0 && ::pwrite(fd, pid.constData(), size_t(pid.size()), 0) < 0) {
        // A lock file only readable still locks; its waiters go by takes alone.
    }
}

// None where the lock file names no process, the process is gone, or
// /proc cannot tell.
std::optional<Holder> holderOf(int fd)
{
    char text[24] = {};
    if (::pread(fd, text, sizeof text - 1, 0) <= 0)
        return std::nullopt;
    char *end = nullptr;
    Holder holder;
    holder.pid = std::strtol(text, &end, 10);
    if (holder.pid <= 0 || *end != '\n')
        return std::nullopt;
    const QByteArray path = "/proc/" + QByteArray::number(qint64(holder.pid)) + "/stat";
    const int stat = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (stat < 0)
        return std::nullopt;
    char line[1024];
    const ssize_t n = ::read(stat, line, sizeof line - 1);
    ::close(stat);
    if (n <= 0)
        return std::nullopt;
    line[n] = '\0';
    // After the name in parentheses, which may hold anything: the state,
    // then ten fields before utime and stime.
    const char *at = std::strrchr(line, ')');
    char state = 0;
    unsigned long long user = 0, system = 0;
    if (!at || std::sscanf(at + 1, " %c %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %llu %llu", &state, &user,
                           &system) != 3)
        return std::nullopt;
    holder.stopped = state == 'T' || state == 't';
    holder.ticks = user + system;
    return holder;
}

// Wakes a waiter when an applier closes the lock file, which a holder does
// right after it let go of the lock; without inotify (or past its limit on
// instances) the waiter polls instead.
class LockWatch {
public:
    explicit LockWatch(const QByteArray &path)
    {
        m_fd = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        if (m_fd >= 0 && ::inotify_add_watch(m_fd, path.constData(), IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~LockWatch()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    LockWatch(const LockWatch &) = delete;
    LockWatch &operator=(const LockWatch &) = delete;

    // Returns after a close of the lock file or after pause ms at most.
    void wait(int pause)
    {
        if (m_fd < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(pause));
            return;
        }
        pollfd watched{m_fd, POLLIN, 0};
        if (::poll(&watched, 1, pause) > 0) {
            alignas(inotify_event) char events[4096];
            while (::read(m_fd, events, sizeof events) > 0) {
            }
        }
    }
    bool watching() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

} // namespace

Location runtimeLocation(const QByteArray &fileName)
{
    // The directory's path is the bytes the environment gives.
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    Location location;
    location.shared = runtime.isEmpty();
    location.directory =
        location.shared ? "/tmp/dispor-" + QByteArray::number(::geteuid()) : runtime + "/dispor";
    location.fileName = fileName;
    location.path = location.directory + '/' + location.fileName;
    if (!location.shared)
        location.refusal = runtimeDirectoryRefusal(runtime);
    return location;
}

QString runtimeDirectoryRefusal(const QByteArray &runtime)
{
    if (!runtime.startsWith('/'))
        return u"XDG_RUNTIME_DIR is not an absolute path: "_qs + shownPath(runtime);
    struct stat status;
    if (::stat(runtime.constData(), &status) == 0 && status.st_uid != ::geteuid())
        return shownPath(runtime) + ": refusing a runtime directory that belongs to another user";
    return {};
}

Store::Store(Location location) : m_location(std::move(location)) {}

Store::~Store()
{
    if (m_lock >= 0) {
        // Let go before the close: the close wakes the waiters, which must
        // find the lock free.
        if (m_locked)
            ::flock(m_lock, LOCK_UN);
        ::close(m_lock);
    }
    if (m_directory >= 0)
        ::close(m_directory);
}

bool Store::openDirectory(bool create, bool *missing, QString *reason)
{
    const QByteArray &directory = m_location.directory;
    if (!m_location.refusal.isEmpty()) {
        *reason = m_location.refusal;
        return false;
    }
    // A shared place is never followed as a link: another user could have
    // pointed it at any directory of this user's.
    const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (m_location.shared ? O_NOFOLLOW : 0);
    const auto open = [&] { return retry([&] { return ::open(directory.constData(), flags); }); };
    *missing = false;
    m_directory = open();
    if (m_directory < 0 && errno == ENOENT) {
        if (!create) {
            *missing = true;
            return true;
        }
        if (::mkdir(directory.constData(), 0700) == 0) {
            // The umask may have taken the owner's bits too, and then not
            // even this run could use it. Nobody else can replace a
            // directory just made: its parent is the user's own or sticky.
            ::chmod(directory.constData(), 0700);
        } else if (errno != EEXIST) {
            *reason = shownPath(directory) + ": cannot create the directory: " + systemError(errno);
            return false;
        }
        m_directory = open();
    }
    if (m_directory < 0) {
        const int error = errno;
        struct stat link;
        if (m_location.shared && (error == ENOTDIR || error == ELOOP) &&
            ::lstat(directory.constData(), &link) == 0 && S_ISLNK(link.st_mode))
            *reason = shownPath(directory) + ": refusing a symbolic link as the directory";
        else
            *reason = shownPath(directory) + ": cannot open the directory: " + systemError(error);
        return false;
    }
    struct stat status;
    if (::fstat(m_directory, &status) < 0) {
        *reason = shownPath(directory) + ": cannot examine the directory: " + systemError(errno);
        return false;
    }
    if (status.st_uid != ::geteuid()) {
        *reason = shownPath(directory) + ": refusing a directory that belongs to another user";
        return false;
    }
    if (const QString who = otherWriters(status.st_mode); !who.isEmpty()) {
        *reason = shownPath(directory) + ": refusing a directory that " + who + " can write to";
        return false;
    }
    return true;
}

bool Store::read(QByteArray *bytes, bool *exists, QString *reason)
{
    const QByteArray &name = m_location.fileName;
    *exists = false;
    if (m_directory < 0)
        return true;
    const int fd = retry([&] {
        return ::openat(m_directory, name.constData(),
                        O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    });
    if (fd < 0) {
        if (errno == ENOENT)
            return true;
        if (errno == ELOOP)
            *reason = shownPath(m_location.path) + ": refusing a symbolic link as the document";
        else
            *reason = shownPath(m_location.path) + ": cannot open the document: " + systemError(errno);
        return false;
    }
    const auto fail = [&](const QString &why) {
        ::close(fd);
        *reason = shownPath(m_location.path) + ": " + why;
        return false;
    };
    struct stat status;
    if (::fstat(fd, &status) < 0)
        return fail(u"cannot examine the document: "_qs + systemError(errno));
    if (S_ISDIR(status.st_mode))
        return fail(u"is a directory, not a document"_qs);
    if (!S_ISREG(status.st_mode))
        return fail(u"is not a regular file"_qs);
    if (const QString who = otherWriters(status.st_mode); !who.isEmpty())
        return fail(u"refusing a document that "_qs + who + " can write to");
    if (status.st_size > maximumSize)
        return fail(u"the document is larger than 16 MiB"_qs);
    bytes->resize(qsizetype(status.st_size) + 1);
    qsizetype filled = 0;
    for (;;) {
        if (filled == bytes->size()) {
            if (bytes->size() > maximumSize)
                return fail(u"the document is larger than 16 MiB"_qs);
            bytes->resize(std::min<qsizetype>(bytes->size() * 2, maximumSize + 1));
        }
        const ssize_t n = ::read(fd, bytes->data() + filled, size_t(bytes->size() - filled));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail(u"cannot read the document: "_qs + systemError(errno));
        }
        if (n == 0)
            break;
        filled += n;
    }
    ::close(fd);
    bytes->truncate(filled);
    if (filled > maximumSize) {
        *reason = shownPath(m_location.path) + ": the document is larger than 16 MiB";
        return false;
    }
    if (filled == 0) {
        *reason = shownPath(m_location.path) + ": the document is empty";
        return false;
    }
    m_mode = status.st_mode & 0777;
    *exists = true;
    return true;
}

bool Store::lock(QString *reason)
{
    const QByteArray name = m_location.fileName + ".lock";
    const QString shownName = shownPath(m_location.path + ".lock");
    // Never blocks in the open, whatever sits there (a FIFO would).
    constexpr int flags = O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    m_lock = retry(
        [&] { return ::openat(m_directory, name.constData(), O_RDWR | O_CREAT | O_EXCL | flags, 0600); });
    if (m_lock >= 0) {
        // The umask may have taken the owner's bits, and then no later
        // apply could open it.
        ::fchmod(m_lock, 0600);
    } else if (errno == EEXIST) {
        // flock needs neither reading nor writing: a lock file whose mode
        // allows one of them serves.
        for (const int access : {O_RDWR, O_RDONLY, O_WRONLY}) {
            m_lock = retry([&] { return ::openat(m_directory, name.constData(), access | flags); });
            if (m_lock >= 0 || errno != EACCES)
                break;
        }
    }
    struct stat status;
    if (m_lock < 0) {
        const int error = errno;
        // A FIFO without a reader refuses a write-only open that does not
        // wait: say what it is.
        if (error == ENXIO && ::fstatat(m_directory, name.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
            !S_ISREG(status.st_mode))
            *reason = shownName + ": the lock file is not a regular file";
        else
            *reason = shownName + ": cannot open the lock file: " + systemError(error);
        return false;
    }
    if (::fstat(m_lock, &status) < 0) {
        *reason = shownName + ": cannot examine the lock file: " + systemError(errno);
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        *reason = shownName + ": the lock file is not a regular file";
        return false;
    }
    if (const QString who = otherWriters(status.st_mode); !who.isEmpty()) {
        *reason = shownName + ": refusing a lock file that " + who + " can write to";
        return false;
    }

    // An apply holds the lock for milliseconds to a few hundred; a queue of
    // them may take far longer, and a waiter goes on waiting while the
    // queue moves. Only a holder that does not finish (stopped, or hanging)
    // ends the wait: lockWaitSeconds without any applier taking the lock
    // and without the holder using the processor. A holder starved by many
    // runs on few processors still works, and is waited for, up to
    // lockWorkSeconds. Waiters woken together by a release race for the
    // lock: no strict order, but none waits on a timer while the lock is
    // free.
    using Clock = std::chrono::steady_clock;
    const auto bound = std::chrono::seconds(lockWaitSeconds);
    std::optional<LockWatch> watch; // made once there is something to wait for
    std::pair<time_t, long> seen;
    std::optional<Holder> holder;
    Clock::time_point moved, takenSeen;
    for (int pause = 1;; pause = std::min(pause * 2, 50)) {
        if (retry([&] { return ::flock(m_lock, LOCK_EX | LOCK_NB); }) == 0) {
            ::futimens(m_lock, nullptr); // only the waiters' patience depends on it
            nameHolder(m_lock);
            m_locked = true;
            return true;
        }
        if (errno != EWOULDBLOCK) {
            *reason = shownName + ": cannot lock: " + systemError(errno);
            return false;
        }
        const Clock::time_point now = Clock::now();
        const std::optional<Holder> working = holderOf(m_lock);
        if (!watch) {
            // Watched before the count is read: a holder that finishes in
            // between still wakes this waiter.
            watch.emplace(m_location.directory + '/' + name);
            seen = lastTaken(m_lock);
            holder = working;
            moved = takenSeen = now;
            continue;
        }
        if (const std::pair<time_t, long> taken = lastTaken(m_lock); taken != seen) {
            seen = taken;
            moved = takenSeen = now;
        } else if (working && holder && working->pid == holder->pid && !working->stopped &&
                   working->ticks > holder->ticks &&
                   now - takenSeen < std::chrono::seconds(lockWorkSeconds)) {
            moved = now;
        }
        holder = working;
        if (now - moved >= bound) {
            const auto waited = std::chrono::duration_cast<std::chrono::seconds>(now - takenSeen).count();
            *reason = shownName + ": the apply holding the lock has not finished in " +
                      QString::number(moved == takenSeen ? lockWaitSeconds : waited) +
                      " s (a writer stopped or hangs); nothing was changed";
            return false;
        }
        // Woken by a close, a waiter tries at once; the pause only bounds
        // how late one notices a holder that died without one.
        watch->wait(watch->watching() ? 100 : pause);
    }
}

bool Store::write(const QByteArray &bytes, QString *reason)
{
    const QByteArray &name = m_location.fileName;
    // Replacing goes by the directory's permissions; a document the user
    // may not write is kept as the user wants it.
    if (::faccessat(m_directory, name.constData(), W_OK, AT_EACCESS) < 0 && errno != ENOENT) {
        *reason =
            shownPath(m_location.path) + (errno == EACCES || errno == EPERM || errno == EROFS
                                              ? u": refusing to replace a document the user cannot write"_qs
                                              : u": cannot examine the document: "_qs + systemError(errno));
        return false;
    }
    if (m_lock >= 0)
        removeLeftovers(m_directory, m_location.fileName);

    static std::atomic<unsigned> counter = 0;
    const QByteArray temp = '.' + m_location.fileName + '.' + QByteArray::number(::getpid()) + '.' +
                            QByteArray::number(counter++) + ".tmp";
    const int fd = retry([&] {
        return ::openat(m_directory, temp.constData(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600);
    });
    if (fd < 0) {
        *reason = shownPath(m_location.directory + '/' + temp) + ": cannot create: " + systemError(errno);
        return false;
    }
    const auto fail = [&](const QString &why, bool close) {
        const int error = errno;
        if (close)
            ::close(fd);
        ::unlinkat(m_directory, temp.constData(), 0);
        *reason =
            shownPath(m_location.path) + ": " + why + (error ? u": "_qs + systemError(error) : QString());
        return false;
    };
    const auto writeBytes = [&] {
        const IgnoringFileSizeSignal ignoring;
        return writeAll(fd, bytes.constData(), bytes.size());
    };
    if (::fchmod(fd, m_mode) < 0 || !writeBytes() || ::fsync(fd) < 0)
        return fail(u"cannot write the new document"_qs, true);
    if (::close(fd) < 0)
        return fail(u"cannot write the new document"_qs, false);
    if (const auto &hook = beforeRenameHook(); hook && !hook()) {
        errno = 0;
        return fail(u"the write was abandoned before the document was replaced"_qs, false);
    }
    if (::renameat(m_directory, temp.constData(), m_directory, name.constData()) < 0)
        return fail(u"cannot replace the document"_qs, false);
    // The rename itself must reach the disk too; failing here leaves a
    // complete document either way, so it is not reported.
    ::fsync(m_directory);
    return true;
}

void setBeforeRenameHook(std::function<bool()> hook)
{
    beforeRenameHook() = std::move(hook);
}

} // namespace Dispor
