#include "core/help.h"

#include "core/command.h"
#include "core/print.h"

#include <QCoreApplication>
#include <QMap>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

void HelpText::setIndent(int indent, int width)
{
    this->indent = indent;
    this->width = width;
    if (column > indent)
        breakPending = true;
}

void HelpText::endLine(std::size_t length)
{
    finished.append(line, 0, length);
    line.clear();
    column = 0;
}

static bool isBlank(char byte)
{
    return byte == ' ' || byte == '\t' || byte == '\v' || byte == '\f' || byte == '\r';
}

void HelpText::write(std::string_view text)
{
    while (!text.empty()) {
        // A run that neither ends the line, breaks it nor wraps it is
        // copied whole; the bytes that do go through put().
        std::size_t length = 0;
        int end = column;
        if (!breakPending && column >= indent) {
            for (; length < text.size(); ++length) {
                const char byte = text[length];
                if (byte == '\n')
                    break;
                const int next = end + ((static_cast<unsigned char>(byte) & 0xC0) != 0x80 ? 1 : 0);
                if (width != 0 && next >= width && isBlank(byte))
                    break;
                end = next;
            }
        }
        if (length == 0) {
            put(text.front());
            length = 1;
        } else {
            line.append(text.data(), length);
            column = end;
        }
        text.remove_prefix(length);
    }
}

void HelpText::put(char byte)
{
    if (byte == '\n') {
        line.push_back('\n');
        endLine(line.size());
        return;
    }

    if (breakPending) {
        line.push_back('\n');
        endLine(line.size());
        breakPending = false;
    }
    if (column < indent) {
        line.append(static_cast<std::size_t>(indent - column), ' ');
        column = indent;
    }
    line.push_back(byte);
    if ((static_cast<unsigned char>(byte) & 0xC0) != 0x80)
        ++column;

    // Wrap only at white space, so a word that reaches the width stays on
    // its line whole.
    if (width == 0 || column < width || !isBlank(byte))
        return;
    const auto last = std::find_if_not(line.rbegin(), line.rend(), isBlank);
    if (last == line.rend()) {
        line.clear();
        column = 0;
        return;
    }
    const std::size_t end = static_cast<std::size_t>(line.rend() - last);
    line[end] = '\n';
    endLine(end + 1);
}

void writeTo(HelpText &help, std::string_view text)
{
    help.write(text);
}

namespace {

// Bold and underline around headings.
const std::string_view bold = styled("\x1b[1m");
const std::string_view boldEnd = styled("\x1b[22m");
const std::string_view underline = styled("\x1b[4m");
const std::string_view underlineEnd = styled("\x1b[24m");

struct Help {
    HelpText stream;
    QByteArray app;
    // The positional records, ordered by command name: found in one walk
    // of the option table rather than one per command.
    std::vector<const CommandOption *> positionals;

    void setIndent(int indent, int width) { stream.setIndent(indent, width); }

    std::vector<ValueAlternative> patternOf(const Command &command) const
    {
        auto it = std::lower_bound(positionals.begin(), positionals.end(), command.name,
                                   [](const CommandOption *option, const char *name) {
                                       return std::strcmp(option->command, name) < 0;
                                   });
        for (; it != positionals.end() && std::strcmp((*it)->command, command.name) == 0; ++it) {
            if (sameScope((*it)->scope, command.scope))
                return positionalPattern(*it);
        }
        return {};
    }
};

std::vector<const CommandOption *> positionalRecords()
{
    std::vector<const CommandOption *> records;
    for (const CommandOption &option : optionTable()) {
        if (option.kind == OptionKind::Positional)
            records.push_back(&option);
    }
    // Stable: a command's first positional record stays its first.
    std::stable_sort(records.begin(), records.end(), [](const CommandOption *a, const CommandOption *b) {
        return std::strcmp(a->command, b->command) < 0;
    });
    return records;
}

// " CLOCK… FLAG*…": each placeholder as it is written in the record.
void printPlaceholders(Help &help, const ValueAlternative &alternative)
{
    for (const Placeholder &placeholder : alternative)
        printTo(help.stream, " {}{}…", placeholder.name, placeholder.repeated ? "*" : "");
}

void printOptionList(Help &help, const std::vector<const CommandOption *> &options)
{
    help.setIndent(0, 0);
    printLineTo(help.stream, "{}Options:{}", underline, underlineEnd);
    for (const CommandOption *option : options) {
        help.setIndent(3, 0);
        if (option->valueName)
            printTo(help.stream, "--{}={}…", option->name, option->valueName);
        else
            printTo(help.stream, "--{}", option->name);
        help.setIndent(33, 80);
        printTo(help.stream, "{}\n", option->description ? option->description : "");
    }
    printTo(help.stream, "\n");
}

void printExamples(Help &help, const std::vector<const CommandExample *> &examples, bool withCommand)
{
    for (const CommandExample *example : examples) {
        help.setIndent(3, 80);
        printLineTo(help.stream, "{}\n", example->description);
        help.setIndent(6, 0);
        if (withCommand)
            printLineTo(help.stream, "{} {} {}\n", help.app, example->command, example->arguments);
        else
            printLineTo(help.stream, "{} {}\n", help.app, example->arguments);
    }
}

void printGlobalCommand(Help &help, const Command &command)
{
    const std::vector<const CommandOption *> options = namedOptionsOf(command);

    help.setIndent(0, 0);
    printLineTo(help.stream, "{}{}: {}{}", bold, command.name, command.summary, boldEnd);
    help.setIndent(3, 0);
    printTo(help.stream, "Usage: {} {}", help.app, command.name);
    if (!options.empty())
        printTo(help.stream, " [OPTIONS…]");
    for (const ValueAlternative &alternative : help.patternOf(command))
        printPlaceholders(help, alternative);
    printTo(help.stream, "\n\n");

    if (command.description) {
        help.setIndent(3, 80);
        printLineTo(help.stream, "{}\n", command.description);
    }

    const std::vector<const CommandExample *> examples = examplesFor(command);
    if (!examples.empty()) {
        help.setIndent(0, 0);
        printLineTo(help.stream, "{}Examples:{}\n", underline, underlineEnd);
        printExamples(help, examples, true);
    }

    if (!options.empty())
        printOptionList(help, options);
}

void printOutputSection(Help &help, const Command &self)
{
    help.setIndent(0, 0);
    printLineTo(help.stream, "{}{}: {}{}", bold, self.scope, self.summary, boldEnd);
    help.setIndent(3, 0);
    printLineTo(help.stream, "Usage: {} {} COMMAND… [OPTIONS…]\n", help.app, self.scope);
    if (self.description) {
        help.setIndent(3, 80);
        printLineTo(help.stream, "{}\n", self.description);
    }

    std::vector<const CommandOption *> options;
    for (const CommandOption *option : namedOptions()) {
        if (option->scope)
            options.push_back(option);
    }
    if (!options.empty())
        printOptionList(help, options);
}

void printCommandLabel(Help &help, const Command &command)
{
    const std::vector<ValueAlternative> alternatives = help.patternOf(command);
    if (alternatives.empty()) {
        printTo(help.stream, "{}", command.name);
        return;
    }
    for (const ValueAlternative &alternative : alternatives) {
        printTo(help.stream, "{}", command.name);
        printPlaceholders(help, alternative);
        if (alternatives.size() > 1)
            printTo(help.stream, "\n");
    }
}

struct Category {
    std::vector<const Command *> commands;
    std::vector<std::pair<const CommandExample *, std::size_t>> examples; // with table index
};

void printCategories(Help &help)
{
    QMap<QString, Category> categories;
    for (const Command *command : outputCommands())
        categories[QString::fromUtf8(command->category)].commands.push_back(command);

    const std::span<const CommandExample> examples = exampleTable();
    for (std::size_t i = 0; i < examples.size(); ++i) {
        const CommandExample &example = examples[i];
        if (!example.scope)
            continue;
        const Command *command = commandOf(example);
        if (!command)
            continue;
        const auto category = categories.find(QString::fromUtf8(command->category));
        if (category != categories.end())
            category->examples.emplace_back(&example, i);
    }

    for (auto it = categories.begin(); it != categories.end(); ++it) {
        Category &category = it.value();
        std::sort(category.commands.begin(), category.commands.end(),
                  [](const Command *a, const Command *b) { return std::strcmp(a->name, b->name) < 0; });
        // Examples of one command stand newest first.
        std::sort(category.examples.begin(), category.examples.end(), [](const auto &a, const auto &b) {
            const int order = std::strcmp(a.first->command, b.first->command);
            return order != 0 ? order < 0 : a.second > b.second;
        });

        help.setIndent(0, 0);
        printLineTo(help.stream, "{}{} Commands:{}", underline, it.key(), underlineEnd);
        for (const Command *command : category.commands) {
            help.setIndent(3, 0);
            printCommandLabel(help, *command);
            help.setIndent(33, 80);
            printTo(help.stream, "{}\n", command->summary);
        }
        printTo(help.stream, "\n");

        if (category.examples.empty())
            continue;
        help.setIndent(0, 0);
        printLineTo(help.stream, "{}{} Command Examples:{}\n", underline, it.key(), underlineEnd);
        std::vector<const CommandExample *> ordered;
        for (const auto &[example, index] : category.examples)
            ordered.push_back(example);
        printExamples(help, ordered, false);
    }
}

} // namespace

void printHelp()
{
    Help help{HelpText(), QCoreApplication::applicationName().toUtf8(), positionalRecords()};

    printLineTo(help.stream, "Usage: {} COMMAND …\n", help.app);
    printLineTo(help.stream, "Utility to change the output configuration.\n");
    printLineTo(help.stream, "Commands:");

    const Command *self = findSelf();
    for (const Command &command : commandTable()) {
        if (!isGlobal(command) && &command != self)
            continue;
        help.setIndent(3, 0);
        printTo(help.stream, "{}", command.scope ? command.scope : command.name);
        help.setIndent(33, 80);
        printTo(help.stream, "{}\n", command.summary);
    }
    printTo(help.stream, "\n");

    for (const Command *command : globalCommands())
        printGlobalCommand(help, *command);
    if (self)
        printOutputSection(help, *self);
    printCategories(help);
    writeTo(stderr, help.stream.lines());
}
