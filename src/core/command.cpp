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
