#include "core/command.h"
#include "core/help.h"
#include "core/library_messages.h"
#include "core/options.h"
#include "core/print.h"

#include <dispor/version.h>

#include <QCoreApplication>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

namespace {

const Command *findCommand(const QString &name, bool global)
{
    const QByteArray utf8 = name.toUtf8();
    for (const Command &command : commandTable()) {
        if ((global ? command.globalHandler != nullptr : command.outputHandler != nullptr) &&
            utf8 == command.name)
            return &command;
    }
    return nullptr;
}

int run(const QStringList &words)
{
    if (words.isEmpty()) {
        printHelp();
        return 1;
    }
    if (words.first() == QLatin1StringView("help") || words.contains(QLatin1StringView("--help"))) {
        printHelp();
        return 0;
    }
    // As programs answer it, on standard output: scripts and packagers ask.
    if (words.size() == 1 && words.first() == QLatin1StringView("--version")) {
        printLineTo(stdout, "dispctl {}", DISPOR_VERSION_STRING);
        return 0;
    }

    if (const Command *command = findCommand(words[0], true)) {
        if (!parseOptions(*command, words.mid(1)))
            return 1;
        return command->globalHandler();
    }

    const Command *command = words.size() >= 2 ? findCommand(words[1], false) : nullptr;
    qsizetype consumed = 2;
    if (!command) {
        command = findCommand(QStringLiteral("self"), false);
        consumed = 1;
    }
    if (!command) {
        printHelp();
        return 1;
    }
    if (!parseOptions(*command, words.mid(consumed)))
        return 1;
    return command->outputHandler(words[0]);
}

// A standard stream the tool was started without would be the next file
// opened, and results or messages could end up in it. Read-only /dev/null
// holds the place, so that writing to it still fails.
void holdClosedStreams()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
            const int null = ::open("/dev/null", O_RDONLY);
            if (null >= 0 && null != fd) {
                ::dup2(null, fd);
                ::close(null);
            }
        }
    }
}

// Out of memory, an allocation throws std::bad_alloc, and nothing catches
// it: the run would end in an abort with the runtime's own words. It ends
// with one line instead, without flushing what is half written, and nothing
// is applied (a document is replaced only once its new text is complete).
[[noreturn]] void endOnUncaughtException()
{
    if (const std::exception_ptr thrown = std::current_exception()) {
        try {
            std::rethrow_exception(thrown);
        } catch (const std::bad_alloc &) {
            constexpr char message[] = "out of memory\n";
            [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, message, sizeof message - 1);
            ::_exit(1);
        } catch (...) {
        }
    }
    std::abort();
}

} // namespace

int main(int argc, char **argv)
{
    std::set_terminate(endOnUncaughtException);
    // Large blocks (a big document's text, read twice in an apply, and the
    // new text) get pages of their own, returned when freed. Left to itself
    // glibc raises its threshold at the first such free and puts the next
    // ones in the heap, whose holes the growing new text does not fit.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    holdClosedStreams();
    // The tool prints only its own messages, and the library's reports:
    // its fetch failures are the tool's messages.
    showLibraryMessages();
    QCoreApplication app(argc, argv);
    int status = run(QCoreApplication::arguments().mid(1));
    // A result that did not reach its stream is no success.
    if (std::fflush(stdout) != 0 || writeFailed(stdout)) {
        printLineTo(stderr, "Failed to write to standard output");
        status = 1;
    }
    if (writeFailed(stderr))
        status = 1;
    return status;
}
