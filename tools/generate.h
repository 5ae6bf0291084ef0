#pragma once

#include <string>
#include <string_view>

struct PageInfo {
    std::string version;
    std::string date; // YYYY-MM-DD
};

// Each writer walks the command tables; nothing here names a command.
std::string manPage(const PageInfo &info);
std::string bashCompletion();
std::string zshCompletion();
std::string fishCompletion();

// One line per fixed completion word: command, first slot, word.
std::string valueWordList();

// Text for a troff text line: specials escaped, "-" as "\-", non-ASCII as
// a named glyph, and a leading control character neutralised.
std::string troff(std::string_view text);
