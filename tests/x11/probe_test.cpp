// What the X11 backend says about a DISPLAY that names no usable X server,
// before xcb_connect could wait without end.

#include "xserver.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <stdexcept>

namespace x11 {
namespace {

using e2e::Result;

// A display number no server uses (away from the :4242 other suites take
// for absent), held by its lock file as X servers hold theirs, so that none
// takes it meanwhile.
class ReservedDisplay {
public:
    ReservedDisplay()
    {
        for (int n = 5170; n < 5270 && m_number < 0; ++n) {
            const std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
            const int fd = ::open(lock.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0444);
            if (fd < 0)
                continue;
            if (e2e::fileExists(socketPath(n))) {
                ::close(fd);
                ::unlink(lock.c_str());
                continue;
            }
            const std::string pid = std::to_string(::getpid()) + "\n";
            const bool written = ::write(fd, pid.data(), pid.size()) == ssize_t(pid.size());
            ::close(fd);
            if (!written) {
                ::unlink(lock.c_str());
                continue;
            }
            m_number = n;
        }
        if (m_number < 0)
            throw std::runtime_error("no free display number in 5170-5269");
    }
    ~ReservedDisplay()
    {
        m_listener.reset();
        ::unlink(("/tmp/.X" + std::to_string(m_number) + "-lock").c_str());
    }
    ReservedDisplay(const ReservedDisplay &) = delete;
    ReservedDisplay &operator=(const ReservedDisplay &) = delete;

    std::string display() const { return ":" + std::to_string(m_number); }

    // A socket where the server's would be that takes connections into its
    // queue and never accepts or answers them.
    void listenMute()
    {
        ::mkdir("/tmp/.X11-unix", 01777);
        m_listener.emplace(socketPath(m_number));
    }

private:
    static std::string socketPath(int n) { return "/tmp/.X11-unix/X" + std::to_string(n); }

    int m_number = -1;
    std::optional<support::MuteSocket> m_listener;
};

TEST(X11Probe, NamesWhyThereIsNoServerToTalkTo)
{
    ReservedDisplay dead;
    const struct {
        e2e::Env env;
        std::string err;
    } cases[] = {
        {{{"DISPLAY", std::nullopt}}, "dispor: DISPLAY is not set, so there is no X server to talk to\n"},
        {{{"DISPLAY", dead.display()}},
         "dispor: cannot connect to the X server \"" + dead.display() + "\": No such file or directory\n"},
        {{{"DISPLAY", "127.0.0.1" + dead.display()}},
         "dispor: cannot connect to the X server \"127.0.0.1" + dead.display() + "\": Connection refused\n"},
        {{{"DISPLAY", "nodisplay"}}, "dispor: DISPLAY \"nodisplay\" does not name an X server\n"},
        {{{"DISPLAY", ":1\n2"}}, "dispor: DISPLAY \":1\\u000a2\" does not name an X server\n"},
    };
    for (const auto &c : cases) {
        e2e::Env env = c.env;
        env["DISPOR_BACKEND"] = "x11";
        EXPECT_EQ(e2e::runProgram(e2e::dispctlBinary(), {"list-outputs"}, env), (Result{1, "", c.err}));
    }
}

TEST(X11Probe, GivesUpOnAServerThatNeverAnswers)
{
    ReservedDisplay mute;
    mute.listenMute();
    // Nothing else in the run may connect first and wait without end (Qt's
    // platform did); the harness would kill the run after 30 s.
    EXPECT_EQ(dispctl(mute.display(), {"list-outputs"}, {{"QT_QPA_PLATFORM", std::nullopt}}),
              (Result{1, "", "dispor: the X server \"" + mute.display() + "\" did not answer within 3 s\n"}));
}

} // namespace
} // namespace x11
