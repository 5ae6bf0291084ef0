#include "generate.h"
#include "template.h"
#include "values.h"

#include <fmt/format.h>

#include <string>
#include <vector>

// The three scripts route a command line as the tool does: a global command
// by the first word, else a per-output command by the second, else "self"
// for the OUTPUT word alone. Positional words are counted from the command
// on, options ("--" words) left out, to find the slot being completed.

namespace {

struct Flag {
    std::string name;
    std::string description;
};

struct Entry {
    std::string scope; // "global" or "output"
    std::string name;
    std::string summary;
    std::vector<Flag> flags;
    std::vector<Slot> valueSlots;
};

Entry entryOf(const Command &command)
{
    Entry entry;
    entry.scope = isGlobal(command) ? "global" : "output";
    entry.name = command.name;
    entry.summary = command.summary;
    for (const CommandOption *option : namedOptionsOf(command))
        entry.flags.push_back({option->name, option->description ? option->description : ""});
    entry.valueSlots = slotsFor(command);
    return entry;
}

std::vector<Entry> allEntries()
{
    std::vector<Entry> entries;
    for (const Command *command : globalCommands())
        entries.push_back(entryOf(*command));
    if (const Command *self = findSelf())
        entries.push_back(entryOf(*self));
    for (const Command *command : outputCommands())
        entries.push_back(entryOf(*command));
    return entries;
}

std::string join(const std::vector<std::string> &words, const char *separator = " ")
{
    std::string result;
    for (const std::string &word : words) {
        if (!result.empty())
            result += separator;
        result += word;
    }
    return result;
}

std::vector<std::string> names(const std::vector<const Command *> &commands)
{
    std::vector<std::string> result;
    for (const Command *command : commands)
        result.push_back(command->name);
    return result;
}

enum class Shell { Posix, Fish };

// A word in single quotes, for bash and zsh (POSIX) or for fish, whose
// quotes also take a backslash escape.
std::string quoted(std::string_view text, Shell shell)
{
    std::string result = "'";
    for (char c : text) {
        if (c == '\'' && shell == Shell::Posix)
            result += "'\\''";
        else if ((c == '\'' || c == '\\') && shell == Shell::Fish)
            result += {'\\', c};
        else
            result += c;
    }
    return result + "'";
}

// The words quoted for bash and zsh, apart by the separator.
std::string shellWords(const std::vector<std::string> &words, const char *separator = " ")
{
    std::vector<std::string> parts;
    for (const std::string &word : words)
        parts.push_back(quoted(word, Shell::Posix));
    return join(parts, separator);
}

// A case pattern of the words: "'a'|'b'", or a pattern that never matches.
std::string casePattern(const std::vector<std::string> &words)
{
    return words.empty() ? "'\\0'" : shellWords(words, "|");
}

// The arithmetic test of a slot, in bash and zsh syntax.
std::string slotTest(const Slot &slot)
{
    if (!slot.last)
        return fmt::format("slot >= {}", slot.first);
    if (*slot.last == slot.first)
        return fmt::format("slot == {}", slot.first);
    return fmt::format("slot >= {} && slot <= {}", slot.first, *slot.last);
}

// zsh's _describe splits "name:description" at the first unescaped colon.
std::string describeItem(std::string_view name, std::string_view description)
{
    std::string item;
    for (char c : name) {
        if (c == ':')
            item += '\\';
        item += c;
    }
    return quoted(item + ":" + std::string(description), Shell::Posix);
}

std::string bashSlot(const Slot &slot)
{
    switch (slot.source) {
    case ValueSource::Words:
        return "candidates+=(" + shellWords(slot.words) + ")";
    case ValueSource::Outputs:
        return std::string(slot.words.empty() ? "" : "candidates+=(" + shellWords(slot.words) + "); ") +
               "mapfile -t -O \"${#candidates[@]}\" candidates < <(_dispctl_outputs \"$prog\")";
    case ValueSource::Modes:
        return "mapfile -t -O \"${#candidates[@]}\" candidates < <(_dispctl_modes \"$prog\" \"${words[1]}\")";
    case ValueSource::CustomModes:
        return "mapfile -t -O \"${#candidates[@]}\" candidates < <(_dispctl_custom_modes \"$prog\" "
               "\"${words[1]}\")";
    case ValueSource::Files:
        return "files=1";
    }
    return ":";
}

std::string zshSlot(const Slot &slot)
{
    switch (slot.source) {
    case ValueSource::Words:
        return "compadd -- " + shellWords(slot.words);
    case ValueSource::Outputs:
        return std::string(slot.words.empty() ? "" : "compadd -- " + shellWords(slot.words) + "; ") +
               "_dispctl_outputs \"$prog\"";
    case ValueSource::Modes:
        return "_dispctl_modes \"$prog\" \"$first\"";
    case ValueSource::CustomModes:
        return "_dispctl_custom_modes \"$prog\" \"$first\"";
    case ValueSource::Files:
        return "_files";
    }
    return ":";
}

std::string fishSlot(const Entry &entry, const Slot &slot)
{
    std::string condition = fmt::format("__dispctl_slot {} {} {}", entry.scope, entry.name, slot.first);
    if (slot.last)
        condition += fmt::format(" {}", *slot.last);
    const std::string prefix = "complete -c dispctl -n " + quoted(condition, Shell::Fish);
    switch (slot.source) {
    case ValueSource::Words:
        return prefix + " -a " + quoted(join(slot.words), Shell::Fish) + "\n";
    case ValueSource::Outputs: {
        const std::string words = join(slot.words) + (slot.words.empty() ? "" : " ") + "(__dispctl_outputs)";
        return prefix + " -a " + quoted(words, Shell::Fish) + "\n";
    }
    case ValueSource::Modes:
        return prefix + " -a '(__dispctl_modes)'\n";
    case ValueSource::CustomModes:
        return prefix + " -a '(__dispctl_custom_modes)'\n";
    case ValueSource::Files:
        return prefix + " -F\n";
    }
    return "";
}

} // namespace

std::optional<std::string> bashCompletion()
{
    const std::optional<Template> frame = loadTemplate("dispctl.bash");
    if (!frame)
        return std::nullopt;
    const std::vector<Entry> entries = allEntries();
    std::string optionCases;
    std::string valueCases;
    for (const Entry &entry : entries) {
        if (entry.flags.empty())
            continue;
        std::vector<std::string> flags;
        for (const Flag &flag : entry.flags)
            flags.push_back("--" + flag.name);
        optionCases += fmt::format("                    {}) candidates+=({}) ;;\n",
                                   quoted(entry.scope + ":" + entry.name, Shell::Posix), shellWords(flags));
    }
    for (const Entry &entry : entries) {
        if (entry.valueSlots.empty())
            continue;
        valueCases +=
            fmt::format("                {})\n", quoted(entry.scope + ":" + entry.name, Shell::Posix));
        for (const Slot &slot : entry.valueSlots)
            valueCases +=
                fmt::format("                    if (( {} )); then {}; fi\n", slotTest(slot), bashSlot(slot));
        valueCases += "                    ;;\n";
    }
    const std::vector<std::string> globals = names(globalCommands());
    const std::vector<std::string> commands = names(outputCommands());
    return fill(*frame, {
                            {"globals", shellWords(globals)},
                            {"global-patterns", casePattern(globals)},
                            {"command-patterns", casePattern(commands)},
                            {"commands", shellWords(commands)},
                            {"option-cases", optionCases},
                            {"value-cases", valueCases},
                        });
}

std::optional<std::string> zshCompletion()
{
    const std::optional<Template> frame = loadTemplate("_dispctl");
    if (!frame)
        return std::nullopt;
    const std::vector<Entry> entries = allEntries();
    std::vector<std::string> globalItems;
    for (const Command *command : globalCommands())
        globalItems.push_back(describeItem(command->name, command->summary));
    globalItems.push_back(describeItem("help", "Print the help"));
    std::vector<std::string> commandItems;
    for (const Command *command : outputCommands())
        commandItems.push_back(describeItem(command->name, command->summary));

    std::string optionCases;
    std::string valueCases;
    for (const Entry &entry : entries) {
        if (entry.flags.empty())
            continue;
        std::vector<std::string> items;
        for (const Flag &flag : entry.flags)
            items.push_back(describeItem("--" + flag.name, flag.description));
        optionCases += fmt::format("      ({}) opts+=({}) ;;\n",
                                   quoted(entry.scope + ":" + entry.name, Shell::Posix), join(items));
    }
    for (const Entry &entry : entries) {
        if (entry.valueSlots.empty())
            continue;
        valueCases += fmt::format("    ({})\n", quoted(entry.scope + ":" + entry.name, Shell::Posix));
        for (const Slot &slot : entry.valueSlots)
            valueCases += fmt::format("      if (( {} )); then {}; fi\n", slotTest(slot), zshSlot(slot));
        valueCases += "      ;;\n";
    }
    return fill(*frame, {
                            {"global-items", join(globalItems, "\n    ")},
                            {"command-items", join(commandItems, "\n    ")},
                            {"global-patterns", casePattern(names(globalCommands()))},
                            {"command-patterns", casePattern(names(outputCommands()))},
                            {"option-cases", optionCases},
                            {"value-cases", valueCases},
                        });
}

std::optional<std::string> fishCompletion()
{
    const std::optional<Template> frame = loadTemplate("dispctl.fish");
    if (!frame)
        return std::nullopt;
    std::string globalCompletions;
    for (const Command *command : globalCommands())
        globalCompletions +=
            fmt::format("complete -c dispctl -n __dispctl_first -a {} -d {}\n",
                        quoted(command->name, Shell::Fish), quoted(command->summary, Shell::Fish));
    std::string commandCompletions;
    for (const Command *command : outputCommands())
        commandCompletions +=
            fmt::format("complete -c dispctl -n __dispctl_output_command -a {} -d {}\n",
                        quoted(command->name, Shell::Fish), quoted(command->summary, Shell::Fish));
    std::string entryCompletions;
    for (const Entry &entry : allEntries()) {
        for (const Flag &flag : entry.flags)
            entryCompletions +=
                fmt::format("complete -c dispctl -n {} -l {} -d {}\n",
                            quoted("__dispctl_command " + entry.scope + " " + entry.name, Shell::Fish),
                            quoted(flag.name, Shell::Fish), quoted(flag.description, Shell::Fish));
        for (const Slot &slot : entry.valueSlots)
            entryCompletions += fishSlot(entry, slot);
    }
    return fill(*frame, {
                            {"globals", join(names(globalCommands()))},
                            {"commands", join(names(outputCommands()))},
                            {"global-completions", globalCompletions},
                            {"command-completions", commandCompletions},
                            {"entry-completions", entryCompletions},
                        });
}

std::string valueWordList()
{
    std::string result;
    for (const Entry &entry : allEntries()) {
        for (const Slot &slot : entry.valueSlots) {
            for (const std::string &word : slot.words)
                result += fmt::format("{}\t{}\t{}\n", entry.name, slot.first, word);
        }
    }
    return result;
}
