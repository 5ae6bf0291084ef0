#include "generate.h"
#include "template.h"

#include "core/command.h"
#include "report/json.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <map>

namespace {

// The code point of the UTF-8 sequence at text[i]; advances i past it.
// A broken sequence yields U+FFFD for its first byte.
uint32_t nextCodePoint(std::string_view text, std::size_t &i)
{
    const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
    const unsigned char lead = byte(i);
    int length = lead < 0x80           ? 1
                 : (lead >> 5) == 0x6  ? 2
                 : (lead >> 4) == 0xE  ? 3
                 : (lead >> 3) == 0x1E ? 4
                                       : 0;
    if (length == 0 || i + length > text.size()) {
        ++i;
        return 0xFFFD;
    }
    uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    i += length;
    return code;
}

// Running text ends each sentence with a full stop.
std::string sentence(std::string_view text)
{
    std::string result = troff(text);
    if (!text.empty() && text.back() != '.')
        result += '.';
    return result;
}

std::string bold(std::string_view text)
{
    return "\\fB" + troff(text) + "\\fR";
}

std::string italic(std::string_view text)
{
    return "\\fI" + troff(text) + "\\fR";
}

// "CLOCK HDISPLAY FLAG*" as italic placeholders, a repeated one bracketed.
std::string placeholders(const ValueAlternative &alternative)
{
    std::string result;
    for (const Placeholder &placeholder : alternative) {
        result += ' ';
        if (placeholder.repeated)
            result += "[" + italic(placeholder.name) + " .\\|.\\|.]";
        else
            result += italic(placeholder.name);
    }
    return result;
}

std::string flagSynopsis(const Command &command)
{
    std::string result;
    for (const CommandOption *option : namedOptionsOf(command)) {
        result += " [" + bold(std::string("--") + option->name);
        if (option->valueName)
            result += "=" + italic(option->valueName);
        result += "]";
    }
    return result;
}

// One tag line per positional alternative: "name [flags] PLACEHOLDERS".
std::vector<std::string> commandTags(const Command &command)
{
    const std::string head = bold(command.name) + flagSynopsis(command);
    const std::vector<ValueAlternative> alternatives = positionalPattern(command);
    if (alternatives.empty())
        return {head};
    std::vector<std::string> tags;
    for (const ValueAlternative &alternative : alternatives)
        tags.push_back(head + placeholders(alternative));
    return tags;
}

void commandEntry(std::string &page, const Command &command)
{
    const std::vector<std::string> tags = commandTags(command);
    for (std::size_t i = 0; i < tags.size(); ++i)
        page += (i == 0 ? ".TP\n" : ".TQ\n") + tags[i] + "\n";
    page += sentence(command.summary) + "\n";
    if (command.description)
        page += ".IP\n" + sentence(command.description) + "\n";
}

std::string exampleLine(const CommandExample &example)
{
    std::string line = "dispctl";
    if (!example.scope)
        line += std::string(" ") + example.command;
    if (*example.arguments)
        line += std::string(" ") + example.arguments;
    return line;
}

std::string globalCommandEntries()
{
    std::string entries;
    for (const Command *command : globalCommands())
        commandEntry(entries, *command);
    return entries;
}

// Grouped by category, sorted by byte value, as the help sorts them.
std::string outputCommandEntries()
{
    std::map<std::string, std::vector<const Command *>> categories;
    for (const Command *command : outputCommands())
        categories[command->category ? command->category : "Other"].push_back(command);
    std::string entries;
    for (auto &[category, commands] : categories) {
        std::sort(commands.begin(), commands.end(),
                  [](const Command *a, const Command *b) { return std::strcmp(a->name, b->name) < 0; });
        entries += ".SS \"" + troff(category) + "\"\n";
        for (const Command *command : commands)
            commandEntry(entries, *command);
    }
    return entries;
}

std::string optionEntries()
{
    std::string entries;
    for (const CommandOption *option : namedOptions()) {
        std::string tag = bold(std::string("--") + option->name);
        if (option->valueName)
            tag += "=" + italic(option->valueName);
        // Where the option is given: after a global command, after OUTPUT
        // alone (self), or after OUTPUT and a per-output command.
        if (!option->scope)
            tag += " (" + bold(option->command) + ")";
        else if (std::strcmp(option->command, "self") == 0)
            tag += " (" + italic(option->scope) + ")";
        else
            tag += " (" + italic(option->scope) + " " + bold(option->command) + ")";
        entries += ".TP\n" + tag + "\n";
        entries += sentence(option->description ? option->description : "") + "\n";
    }
    return entries;
}

std::string exampleEntries()
{
    std::string entries;
    for (const CommandExample &example : exampleTable()) {
        entries += ".PP\n" + sentence(example.description) + "\n";
        entries += ".RS\n.nf\n" + bold(exampleLine(example)) + "\n.fi\n.RE\n";
    }
    return entries;
}

// The JSON report's keys, object by object, from the writer's own tables.
std::string jsonKeyEntries()
{
    std::string entries;
    for (const JsonObjectDoc &object : jsonReference()) {
        std::string title = troff(object.name);
        title[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(title[0])));
        entries += ".SS \"" + title + "\"\n";
        entries += "In " + troff(object.where) + ".\n";
        for (const JsonKeyDoc &key : object.keys) {
            entries += ".TP\n" + bold(key.key) + " (" + troff(key.type) + ")\n";
            std::string meaning = key.meaning;
            meaning[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(meaning[0])));
            entries += sentence(meaning) + "\n";
            if (!key.presence.empty())
                entries += "Present " + sentence(key.presence) + "\n";
        }
    }
    return entries;
}

} // namespace

std::string troff(std::string_view text)
{
    std::string result;
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (static_cast<unsigned char>(c) >= 0x80) {
            result += fmt::format("\\[u{:04X}]", nextCodePoint(text, i));
            continue;
        }
        ++i;
        switch (c) {
        case '\\':
            result += "\\e";
            break;
        case '-':
            result += "\\-";
            break;
        case '\'':
            result += "\\(aq";
            break;
        case '`':
            result += "\\(ga";
            break;
        case '"':
            result += "\\(dq";
            break;
        case '^':
            result += "\\(ha";
            break;
        case '~':
            result += "\\(ti";
            break;
        case '\n':
            result += ' ';
            break;
        default:
            if (c == '.' && result.empty())
                result += "\\&";
            result += c;
        }
    }
    return result;
}

std::optional<std::string> manPage(const PageInfo &info)
{
    const std::optional<Template> frame = loadTemplate("dispctl.1");
    if (!frame)
        return std::nullopt;
    const Command *self = findSelf();
    const std::optional<std::string> backends = backendEntries();
    if (!backends)
        return std::nullopt;
    return fill(*frame, {
                            {"date", info.date},
                            {"version", troff(info.version)},
                            {"global-commands", globalCommandEntries()},
                            {"self-description",
                             self && self->description ? ".PP\n" + sentence(self->description) + "\n" : ""},
                            {"self-options", self ? flagSynopsis(*self) : ""},
                            {"self-summary", self ? sentence(self->summary) + "\n" : ""},
                            {"output-commands", outputCommandEntries()},
                            {"options", optionEntries()},
                            {"examples", exampleEntries()},
                            {"json-keys", jsonKeyEntries()},
                            {"backends", *backends},
                        });
}
