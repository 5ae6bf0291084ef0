#include "core/command.h"

#include <cstring>

// The linker defines these for sections whose names are identifiers; weak,
// so that a build without records of a kind still links (an empty table).
extern "C" {
extern const Command __start_COMMAND[] __attribute__((weak));
extern const Command __stop_COMMAND[] __attribute__((weak));
extern const CommandOption __start_COMMAND_OPTION[] __attribute__((weak));
extern const CommandOption __stop_COMMAND_OPTION[] __attribute__((weak));
extern const CommandExample __start_COMMAND_EXAMPLE[] __attribute__((weak));
extern const CommandExample __stop_COMMAND_EXAMPLE[] __attribute__((weak));
}

std::span<const Command> commandTable()
{
    return {__start_COMMAND, __stop_COMMAND};
}

std::span<const CommandOption> optionTable()
{
    return {__start_COMMAND_OPTION, __stop_COMMAND_OPTION};
}

std::span<const CommandExample> exampleTable()
{
    return {__start_COMMAND_EXAMPLE, __stop_COMMAND_EXAMPLE};
}

bool sameScope(const char *a, const char *b)
{
    if (!a || !b)
        return a == b;
    return std::strcmp(a, b) == 0;
}

template <typename Record>
static std::vector<const Record *> recordsFor(std::span<const Record> table, const Command &command)
{
    std::vector<const Record *> result;
    for (const Record &record : table) {
        if (sameScope(record.scope, command.scope) && std::strcmp(record.command, command.name) == 0)
            result.push_back(&record);
    }
    return result;
}

std::vector<const CommandOption *> optionsFor(const Command &command)
{
    return recordsFor(optionTable(), command);
}

std::vector<const CommandExample *> examplesFor(const Command &command)
{
    return recordsFor(exampleTable(), command);
}

bool isGlobal(const Command &command)
{
    return command.scope == nullptr;
}

bool isSelf(const Command &command)
{
    return !isGlobal(command) && std::strcmp(command.name, "self") == 0;
}

std::vector<const Command *> globalCommands()
{
    std::vector<const Command *> result;
    for (const Command &command : commandTable()) {
        if (isGlobal(command))
            result.push_back(&command);
    }
    return result;
}

std::vector<const Command *> outputCommands()
{
    std::vector<const Command *> result;
    for (const Command &command : commandTable()) {
        if (!isGlobal(command) && !isSelf(command))
            result.push_back(&command);
    }
    return result;
}

const Command *findSelf()
{
    for (const Command &command : commandTable()) {
        if (isSelf(command))
            return &command;
    }
    return nullptr;
}

const Command *commandOf(const CommandExample &example)
{
    for (const Command &command : commandTable()) {
        if (sameScope(command.scope, example.scope) && std::strcmp(command.name, example.command) == 0)
            return &command;
    }
    return nullptr;
}

static bool isNamed(const CommandOption &option)
{
    return option.kind == OptionKind::Option && option.name;
}

std::vector<const CommandOption *> namedOptions()
{
    std::vector<const CommandOption *> result;
    for (const CommandOption &option : optionTable()) {
        if (isNamed(option))
            result.push_back(&option);
    }
    return result;
}

std::vector<const CommandOption *> namedOptionsOf(const Command &command)
{
    std::vector<const CommandOption *> result;
    for (const CommandOption *option : optionsFor(command)) {
        if (isNamed(*option))
            result.push_back(option);
    }
    return result;
}

const CommandOption *positionalOf(const std::vector<const CommandOption *> &records)
{
    for (const CommandOption *option : records) {
        if (option->kind == OptionKind::Positional)
            return option;
    }
    return nullptr;
}

const CommandOption *positionalOf(const Command &command)
{
    return positionalOf(optionsFor(command));
}

std::vector<std::string_view> splitText(std::string_view text, char separator)
{
    std::vector<std::string_view> result;
    for (;;) {
        const std::size_t at = text.find(separator);
        result.push_back(text.substr(0, at));
        if (at == std::string_view::npos)
            return result;
        text.remove_prefix(at + 1);
    }
}

std::vector<ValueAlternative> parseValueName(std::string_view valueName)
{
    std::vector<ValueAlternative> result;
    if (valueName.empty())
        return result;
    for (const std::string_view alternative : splitText(valueName, ';')) {
        ValueAlternative &placeholders = result.emplace_back();
        if (alternative.empty())
            continue;
        for (std::string_view word : splitText(alternative, ' ')) {
            const bool repeated = word.ends_with('*');
            if (repeated)
                word.remove_suffix(1);
            placeholders.push_back({word, repeated});
        }
    }
    return result;
}

std::vector<ValueAlternative> positionalPattern(const CommandOption *positional)
{
    if (!positional || !positional->valueName)
        return {};
    return parseValueName(positional->valueName);
}

std::vector<ValueAlternative> positionalPattern(const Command &command)
{
    return positionalPattern(positionalOf(command));
}
