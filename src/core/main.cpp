#include "core/command.h"
#include "core/help.h"
#include "core/options.h"
#include "core/print.h"

#include <QGuiApplication>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

// What Qt's platform layer said first: the cause, when it then gives up.
QString platformWarning;

// The tool prints only its own messages. Qt aborts when no platform can
// start; the run ends with one line and the ordinary failure status instead.
void handleQtMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtFatalMsg) {
        const QString reason = platformWarning.isEmpty() ? message.section(u'\n', 0, 0) : platformWarning;
        printLineTo(std::cerr, "Failed to start the Qt platform: {}", reason);
        std::cerr.flush();
        std::_Exit(1);
    }
    if (platformWarning.isEmpty() && context.category && std::strncmp(context.category, "qt.qpa", 6) == 0)
        platformWarning = message.trimmed();
}

bool choosesPlatform(int argc, char **argv)
{
    const char *chosen = std::getenv("QT_QPA_PLATFORM");
    if (chosen && *chosen)
        return true;
    // Qt ignores the option without a value.
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return true;
    }
    return false;
}

// Without a platform chosen by the user, "offscreen": nothing the tool does
// needs a window system (the library reaches the display service itself and
// switches power without Qt's screens), and Qt's own connection to a display
// server would wait without end on one that never answers. Given as an
// argument rather than in the environment, so that programs the tool starts
// do not inherit it.
std::vector<char *> withPlatformFallback(int argc, char **argv)
{
    std::vector<char *> arguments(argv, argv + argc);
    if (argc < 1 || choosesPlatform(argc, argv))
        return arguments;
    static char platformOption[] = "-platform";
    static char offscreen[] = "offscreen";
    arguments.insert(arguments.begin() + 1, {platformOption, offscreen});
    return arguments;
}

const Command *findCommand(const QString &name, bool global)
{
    const QByteArray utf8 = name.toUtf8();
    for (const Command &command : commandTable()) {
        if ((global ? command.globalHandler != nullptr : command.outputHandler != nullptr)
            && utf8 == command.name)
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

} // namespace

int main(int argc, char **argv)
{
    holdClosedStreams();
    qInstallMessageHandler(handleQtMessage);
    // Qt keeps using the argument vector, so it lives as long as the app.
    std::vector<char *> arguments = withPlatformFallback(argc, argv);
    int count = static_cast<int>(arguments.size());
    arguments.push_back(nullptr);
    QGuiApplication app(count, arguments.data());
    int status = run(QCoreApplication::arguments().mid(1));
    // A result that did not reach its stream is no success.
    if (!std::cout.flush()) {
        printLineTo(std::cerr, "Failed to write to standard output");
        status = 1;
    }
    if (!std::cerr)
        status = 1;
#if !defined(__SANITIZE_ADDRESS__)
    // Tearing the application down costs as much as the rest of a short run
    // (the font database is loaded only to be freed) and nothing in it is
    // needed once the streams are flushed. Sanitizer builds still tear down,
    // so that leak checks see the whole run.
    std::fflush(nullptr);
    std::_Exit(status);
#endif
    return status;
}
