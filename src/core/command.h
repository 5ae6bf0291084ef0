#pragma once

#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
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
    // The output settings it changes or needs, as property keys separated
    // by spaces ("locator": the compositor's output locator); the manual's
    // table of what each backend carries is made from them.
    const char *settings = nullptr;
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
#define DISPCTL_SECTION_(name, type) __attribute__((section(name), used, retain, aligned(alignof(type))))
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

// The queries that the parser, the help and the generators share.
bool isGlobal(const Command &command);
// The per-output command that runs for an OUTPUT word alone.
bool isSelf(const Command &command);
std::vector<const Command *> globalCommands();
// The per-output commands in table order, "self" excluded.
std::vector<const Command *> outputCommands();
const Command *findSelf();
// The command an example belongs to, if it is built.
const Command *commandOf(const CommandExample &example);
// Named options (flags and valued options), of every command or of one, in
// table order.
std::vector<const CommandOption *> namedOptions();
std::vector<const CommandOption *> namedOptionsOf(const Command &command);
// The first positional record of a command or of its records, if any.
const CommandOption *positionalOf(const Command &command);
const CommandOption *positionalOf(const std::vector<const CommandOption *> &records);

// The grammar of a positional record's value name: alternatives separated
// by ";", each a list of placeholders separated by " "; a placeholder that
// ends in "*" stands for any number of words, none included.
//   "X Y"  "FILE*"  "MODE;CLOCK HDISPLAY ... VTOTAL FLAG*"
struct Placeholder {
    std::string_view name; // without the "*"
    bool repeated = false;

    bool operator==(const Placeholder &) const = default;
};
using ValueAlternative = std::vector<Placeholder>;

// Views into valueName. An empty alternative has no placeholders; no text
// has no alternatives.
std::vector<ValueAlternative> parseValueName(std::string_view valueName);

// The pieces of text between separators; an empty text is one empty piece.
std::vector<std::string_view> splitText(std::string_view text, char separator);

// The alternatives of the command's positional record; none without one.
std::vector<ValueAlternative> positionalPattern(const Command &command);
// The same, for a positional record already found (or null).
std::vector<ValueAlternative> positionalPattern(const CommandOption *positional);
