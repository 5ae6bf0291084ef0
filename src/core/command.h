#pragma once

#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// Every command is declared by constant records that its own unit places in
// one of three linker sections; the tables are those sections, in link order.

enum class OptionKind : uint8_t { Option = 0, Positional = 1 };

struct Command {
    const char *scope; // "OUTPUT" for per-output commands, null for global ones
    const char *name;
    const char *summary;
    const char *description;
    const char *category;
    int (*globalHandler)();
    int (*outputHandler)(const QString &spec);
};

struct CommandOption {
    const char *scope;
    const char *command;
    const char *name;      // long name without "--"; null for positional records
    const char *valueName; // positional arity pattern, or a valued option's placeholder
    const char *description;
    void *target; // bool (flag), QString (valued option) or QStringList (positional)
    OptionKind kind;
};

struct CommandExample {
    const char *scope;
    const char *command;
    const char *description;
    const char *arguments;
};

// Records go in the sections whole, without padding between units: an
// explicit alignment keeps the compiler from raising it for large objects.
// Keep one unit's records of a kind in one array, so their order holds.
#define DISPCTL_SECTION_(name, type) \
    __attribute__((section(name), used, retain, aligned(alignof(type))))
#define COMMAND_RECORD DISPCTL_SECTION_("COMMAND", Command)
#define COMMAND_OPTION_RECORD DISPCTL_SECTION_("COMMAND_OPTION", CommandOption)
#define COMMAND_EXAMPLE_RECORD DISPCTL_SECTION_("COMMAND_EXAMPLE", CommandExample)

std::span<const Command> commandTable();
std::span<const CommandOption> optionTable();
std::span<const CommandExample> exampleTable();

// Records of one command, matched by scope and name text, in table order.
std::vector<const CommandOption *> optionsFor(const Command &command);
std::vector<const CommandExample *> examplesFor(const Command &command);

// True when both scopes are null or both are equal texts.
bool sameScope(const char *a, const char *b);
