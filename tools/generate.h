#pragma once

#include <optional>
#include <string>
#include <string_view>

struct PageInfo {
    std::string version;
    std::string date; // YYYY-MM-DD
};

// Each writer fills its file's template (tools/templates) from the command
// tables; nothing here names a command. None after printing why.
std::optional<std::string> manPage(const PageInfo &info);
std::optional<std::string> bashCompletion();
std::optional<std::string> zshCompletion();
std::optional<std::string> fishCompletion();

// What each backend carries of every command: a Markdown table (the
// README's), and the manual page's entries of the commands that are not
// simply carried, per backend.
// None after printing why (a command names an unknown setting).
std::optional<std::string> backendMarkdown();
std::optional<std::string> backendEntries();

// One line per fixed completion word: command, first slot, word.
std::string valueWordList();

// Text for a troff text line: specials escaped, "-" as "\-", non-ASCII as
// a named glyph, and a leading control character neutralised.
std::string troff(std::string_view text);
