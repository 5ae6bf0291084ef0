// What the three command tables must hold whatever commands they list.
// Their contents are pinned once, by the help's expected text
// (tests/e2e/help_expected.txt).

#include "core/command.h"
#include "core/options.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>

namespace {

std::string text(const char *value)
{
    return value ? std::string(value) : std::string("<null>");
}

const Command *findCommand(const char *scope, const char *name)
{
    for (const Command &command : commandTable()) {
        if (sameScope(command.scope, scope) && std::strcmp(command.name, name) == 0)
            return &command;
    }
    return nullptr;
}

// What dispatch, the parser and the help rely on, whatever the contents.
TEST(Tables, RecordsAreWellFormed)
{
    std::set<std::pair<std::string, std::string>> names;
    for (const Command &command : commandTable()) {
        SCOPED_TRACE(text(command.name));
        ASSERT_NE(command.name, nullptr);
        ASSERT_NE(command.summary, nullptr);
        EXPECT_NE(std::strlen(command.summary), 0u);
        EXPECT_NE(command.globalHandler == nullptr, command.outputHandler == nullptr)
            << "exactly one handler";
        // Global commands have no scope and no category, per-output ones both.
        EXPECT_EQ(command.scope == nullptr, command.globalHandler != nullptr);
        EXPECT_EQ(command.category == nullptr, command.scope == nullptr);
        // The help heads a section with it; an empty one would head nothing.
        if (command.category) {
            EXPECT_NE(std::strlen(command.category), 0u);
        }
        EXPECT_TRUE(names.insert({text(command.scope), command.name}).second) << "declared twice";
    }

    std::set<const void *> targets;
    std::set<std::pair<std::string, std::string>> withPositional;
    std::set<std::string> named; // scope, command and name
    for (const CommandOption &option : optionTable()) {
        SCOPED_TRACE(text(option.command) + " " + text(option.name));
        ASSERT_NE(option.command, nullptr);
        EXPECT_NE(findCommand(option.scope, option.command), nullptr) << "no such command";
        EXPECT_NE(option.target, nullptr);
        EXPECT_TRUE(targets.insert(option.target).second) << "target shared with another record";
        if (option.kind == OptionKind::Positional) {
            EXPECT_EQ(option.name, nullptr);
            EXPECT_EQ(option.description, nullptr);
            ASSERT_NE(option.valueName, nullptr);
            EXPECT_NE(std::strlen(option.valueName), 0u);
            EXPECT_TRUE(withPositional.insert({text(option.scope), option.command}).second)
                << "second positional record";
        } else {
            EXPECT_EQ(option.kind, OptionKind::Option);
            ASSERT_NE(option.name, nullptr);
            EXPECT_NE(std::strlen(option.name), 0u);
            // The parser takes the first record of a name: a second is dead.
            EXPECT_TRUE(named.insert(text(option.scope) + ' ' + option.command + " --" + option.name).second)
                << "declared twice";
            ASSERT_NE(option.description, nullptr);
            EXPECT_NE(std::strlen(option.description), 0u);
        }
    }

    for (const CommandExample &example : exampleTable()) {
        SCOPED_TRACE(text(example.command) + ": " + text(example.description));
        ASSERT_NE(example.command, nullptr);
        EXPECT_NE(findCommand(example.scope, example.command), nullptr) << "no such command";
        EXPECT_NE(example.description, nullptr);
        EXPECT_NE(example.arguments, nullptr);
    }
}

void clearVariables()
{
    for (const CommandOption &option : optionTable()) {
        if (option.kind == OptionKind::Positional)
            static_cast<QStringList *>(option.target)->clear();
        else if (!option.valueName)
            *static_cast<bool *>(option.target) = false;
        else
            static_cast<QString *>(option.target)->clear();
    }
}

// The help prints each example as a command line: it must be one that
// names its own command and that the command's records accept, the way
// main() dispatches it (global: the words after the command; per output:
// OUTPUT, then the command's name, which self goes without).
TEST(Tables, ExamplesAreCommandLinesOfTheirCommand)
{
    for (const CommandExample &example : exampleTable()) {
        SCOPED_TRACE(text(example.command) + ": " + text(example.arguments));
        const Command *command = findCommand(example.scope, example.command);
        ASSERT_NE(command, nullptr);
        QStringList words = QString::fromUtf8(example.arguments).split(u' ', Qt::SkipEmptyParts);
        if (example.scope) {
            ASSERT_FALSE(words.isEmpty()) << "no OUTPUT";
            words.removeFirst();
            if (isSelf(*command)) {
                if (!words.isEmpty()) {
                    EXPECT_EQ(findCommand(example.scope, words.first().toUtf8().constData()), nullptr)
                        << "another command's line";
                }
            } else if (words.isEmpty() || words.takeFirst() != QString::fromUtf8(example.command))
                ADD_FAILURE() << "the line does not name its command";
        }
        clearVariables();
        // The parser's message, if any, goes with the failure.
        EXPECT_TRUE(parseOptions(*command, words));
    }
    clearVariables();
}

// The variables start out empty before any parse.
TEST(Tables, OptionVariablesStartEmpty)
{
    for (const CommandOption &option : optionTable()) {
        SCOPED_TRACE(text(option.command) + " " + text(option.name));
        if (option.kind == OptionKind::Positional)
            EXPECT_TRUE(static_cast<const QStringList *>(option.target)->isEmpty());
        else if (!option.valueName)
            EXPECT_FALSE(*static_cast<const bool *>(option.target));
        else
            EXPECT_TRUE(static_cast<const QString *>(option.target)->isEmpty());
    }
}

std::vector<std::string> optionNames(const Command &command)
{
    std::vector<std::string> result;
    for (const CommandOption *option : optionsFor(command))
        result.push_back(option->kind == OptionKind::Positional ? "<" + text(option->valueName) + ">"
                                                                : text(option->name));
    return result;
}

std::vector<std::string> exampleArguments(const Command &command)
{
    std::vector<std::string> result;
    for (const CommandExample *example : examplesFor(command))
        result.push_back(example->arguments);
    return result;
}

using Names = std::vector<std::string>;

// Matching goes by scope and name text, never by address.
TEST(Tables, ScopeTellsCommandsApart)
{
    const std::string outputScope = "OUTPUT"; // a different address than the records' text
    const std::string selfName = "self";
    const Command perOutputSelf{
        outputScope.c_str(), selfName.c_str(), "", nullptr, "Basic", nullptr, nullptr};
    EXPECT_EQ(optionNames(perOutputSelf), Names{"json"});
    EXPECT_EQ(exampleArguments(perOutputSelf), (Names{"active-output", "active-output --json"}));

    const Command globalSelf{nullptr, "self", "", nullptr, nullptr, nullptr, nullptr};
    EXPECT_EQ(optionNames(globalSelf), Names{});
    EXPECT_EQ(exampleArguments(globalSelf), Names{});

    const Command perOutputList{"OUTPUT", "list-outputs", "", nullptr, "Basic", nullptr, nullptr};
    EXPECT_EQ(optionNames(perOutputList), Names{});
    EXPECT_EQ(exampleArguments(perOutputList), Names{});

    const Command otherScope{"SCREEN", "self", "", nullptr, "Basic", nullptr, nullptr};
    EXPECT_EQ(optionNames(otherScope), Names{});
}

} // namespace
