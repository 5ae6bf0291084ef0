#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

#include <sys/types.h>

namespace Dispor {

// A file of the library's that runs share: the simulated set's document, the
// Wayland backend's custom modes, the record of what disabled outputs had.
// Paths are kept as the bytes they are: one that is not valid UTF-8 names the
// same file as for any other program.
struct Location {
    QByteArray path;
    QByteArray directory;
    QByteArray fileName;
    // The directory is the default one (/tmp/dispor-<uid> or
    // $XDG_RUNTIME_DIR/dispor), whose parent others may share: it must not
    // be a symbolic link another user planted.
    bool shared = false;
    // Why the place must not be used (a runtime directory that is relative
    // or another user's); empty when it may.
    QString refusal;
};
// fileName in the library's default directory: $XDG_RUNTIME_DIR/dispor,
// else /tmp/dispor-<uid>.
Location runtimeLocation(const QByteArray &fileName);
// Why the runtime directory must not hold the library's files: relative (it
// would name another place in each working directory), or another user's
// (as when root runs with a user's environment). Empty when it may.
QString runtimeDirectoryRefusal(const QByteArray &runtime);

// The file's directory, checked once and then used by descriptor, so
// that nobody can swap it between the check and the use. Every failure
// comes with a one-line reason naming the path.
class Store {
public:
    explicit Store(Location location);
    ~Store();
    Store(const Store &) = delete;
    Store &operator=(const Store &) = delete;

    // Refuses a directory of another user or one that its group or others
    // can write to, and a shared one that is a symbolic link. Without create,
    // a missing directory sets *missing and succeeds; with it, the directory
    // is made with mode 0700 whatever the umask.
    bool openDirectory(bool create, bool *missing, QString *reason);
    // Never follows a symbolic link as the document; *exists is false when
    // there is no document.
    bool read(QByteArray *bytes, bool *exists, QString *reason);
    // Exclusive lock on the lock file beside the document (made with mode
    // 0600 whatever the umask), held until the store is destroyed; the
    // holder's pid is written into it. Waits while other appliers take
    // their turns, and fails once for lockWaitSeconds no applier took the
    // lock and its holder used no processor time, or once one holder kept
    // it for lockWorkSeconds.
    bool lock(QString *reason);
    static constexpr int lockWaitSeconds = 5;
    static constexpr int lockWorkSeconds = 60;
    // Writes a temporary file in the directory, flushes it, renames it over
    // the document and flushes the directory. A file-size limit makes it
    // fail with a reason, not end the process.
    bool write(const QByteArray &bytes, QString *reason);

    static constexpr qint64 maximumSize = 16 * 1024 * 1024;

private:
    Location m_location;
    int m_directory = -1;
    int m_lock = -1;
    bool m_locked = false;
    mode_t m_mode = 0600;
};

// For tests: runs after the temporary file is written and before the rename;
// returning false abandons the write there (the temporary file is removed).
void setBeforeRenameHook(std::function<bool()> hook);

} // namespace Dispor
