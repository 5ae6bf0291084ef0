// dispctl-profile: saves layouts as profiles and applies them, by name or
// by the monitors connected.

#include "help.h"
#include "store.h"
#include "verbs.h"

#include "core/library_messages.h"
#include "core/print.h"

#include <dispor/version.h>

#include <QCoreApplication>

#include <cstring>

namespace {

using namespace profile;

const Verb *findVerb(const QString &word)
{
    const QByteArray utf8 = word.toUtf8();
    for (const Verb &verb : verbs()) {
        if (utf8 == verb.name)
            return &verb;
    }
    return nullptr;
}

// The words after the verb into an invocation; false after a message.
bool parse(const Verb &verb, const QStringList &words, Invocation *invocation)
{
    bool nameReplaced = false;
    QStringList positional;
    for (const QString &word : words) {
        if (!word.startsWith(QLatin1StringView("--"))) {
            positional.append(word);
            continue;
        }
        const VerbOption *found = nullptr;
        for (const VerbOption &option : verb.options)
            found = word == QLatin1StringView(option.name) ? &option : found;
        if (!found) {
            printLineTo(stderr, "Unknown argument: {}", word);
            return false;
        }
        invocation->*(found->flag) = true;
        nameReplaced = nameReplaced || found->replacesName;
    }
    const qsizetype wanted = verb.takesName && !nameReplaced ? 1 : 0;
    if (positional.size() > wanted) {
        printLineTo(stderr, "Unexpected positional argument: {}", positional[wanted]);
        return false;
    }
    if (positional.size() < wanted) {
        printLineTo(stderr, "Missing argument: NAME");
        return false;
    }
    if (wanted == 1) {
        invocation->name = positional.first();
        if (!validName(invocation->name)) {
            printLineTo(stderr, "Invalid profile name: {}", invocation->name);
            return false;
        }
    }
    return true;
}

int run(const QStringList &words)
{
    if (words.isEmpty()) {
        printProfileHelp();
        return 1;
    }
    if (words.first() == QLatin1StringView("help") || words.contains(QLatin1StringView("--help"))) {
        printProfileHelp();
        return 0;
    }
    if (words.size() == 1 && words.first() == QLatin1StringView("--version")) {
        printLineTo(stdout, "{} {}", programName, DISPOR_VERSION_STRING);
        return 0;
    }
    const Verb *verb = findVerb(words.first());
    if (!verb) {
        printLineTo(stderr, "Unknown verb: {}", words.first());
        return 1;
    }
    Invocation invocation;
    if (!parse(*verb, words.mid(1), &invocation))
        return 1;
    return verb->run(invocation);
}

} // namespace

int main(int argc, char **argv)
{
    // The library's own reports, as dispctl prints them.
    showLibraryMessages();
    QCoreApplication app(argc, argv);
    int status = run(QCoreApplication::arguments().mid(1));
    if (std::fflush(stdout) != 0 || writeFailed(stdout)) {
        printLineTo(stderr, "Failed to write to standard output");
        status = 1;
    }
    return status;
}
