#include "virtual_backend.h"

#include "../text.h"

#include <cerrno>
#include <cstring>

#include <sys/inotify.h>
#include <unistd.h>

namespace Dispor::Virtual {

namespace {

// The document is replaced whole (written beside it, then renamed over
// it), or written by hand: both end in its directory, which is watched.
class DocumentWatch : public Watch {
public:
    DocumentWatch(int fd, QByteArray fileName) : m_fd(fd), m_fileName(std::move(fileName)) {}
    ~DocumentWatch() override { ::close(m_fd); }

    int descriptor() const override { return m_fd; }

    bool dispatch(bool *changed, QString *reason) override
    {
        *changed = false;
        alignas(inotify_event) char events[4096];
        for (;;) {
            const ssize_t n = ::read(m_fd, events, sizeof events);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return true;
            for (ssize_t at = 0; at < n;) {
                const auto *event = reinterpret_cast<const inotify_event *>(events + at);
                at += ssize_t(sizeof(inotify_event) + event->len);
                if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) {
                    *reason = QStringLiteral("the directory of the virtual display document went away");
                    return false;
                }
                if (event->len && m_fileName == event->name)
                    *changed = true;
            }
        }
    }

private:
    int m_fd;
    QByteArray m_fileName;
};

} // namespace

std::unique_ptr<Watch> VirtualBackend::watch(QString *reason)
{
    // Made where missing, so that the first document written is seen.
    Store store(m_location);
    bool missing = false;
    if (!store.openDirectory(true, &missing, reason))
        return {};
    const int fd = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (fd < 0 || ::inotify_add_watch(fd, m_location.directory.constData(),
                                      IN_CLOSE_WRITE | IN_MOVED_TO | IN_DELETE | IN_DELETE_SELF |
                                          IN_MOVE_SELF | IN_ONLYDIR) < 0) {
        *reason = shownPath(m_location.directory) +
                  ": cannot watch the directory: " + QString::fromLocal8Bit(std::strerror(errno));
        if (fd >= 0)
            ::close(fd);
        return {};
    }
    return std::make_unique<DocumentWatch>(fd, m_location.fileName);
}

} // namespace Dispor::Virtual
