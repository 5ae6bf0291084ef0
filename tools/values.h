#pragma once

#include "core/command.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What the shells offer for one positional word of a command. The records
// name only a value's placeholder; the words behind each placeholder are
// kept here, keyed by placeholder and, where they differ, by command.

enum class ValueSource {
    Words,       // only the fixed words
    Outputs,     // connector names at completion time, and the fixed words
    Modes,       // the output's mode ids, from list-modes
    CustomModes, // the output's custom mode indices, from list-custom-modes
    Files,
};

struct ValueWords {
    const char *valueName; // one word of a positional pattern, without "*"
    const char *command;   // null: every command with that placeholder
    ValueSource source;
    const char *words; // space-separated, may be empty
};

// The table; exposed for the tests that compare it with the commands.
const std::vector<ValueWords> &valueWordsTable();

// The entry for a placeholder of a command: the command's own first, else
// the general one, else none (a free-form value such as a number).
const ValueWords *valueWordsFor(std::string_view valueName, std::string_view command);

// Positional words first..last (from 0; no last: unbounded) take these.
struct Slot {
    unsigned first = 0;
    std::optional<unsigned> last;
    ValueSource source = ValueSource::Words;
    std::vector<std::string> words;
};

// The slots of a command that offer something, from its first positional
// record; alternatives of a pattern may give overlapping slots.
std::vector<Slot> slotsFor(const Command &command);

// Words of a space-separated list.
std::vector<std::string> splitWords(std::string_view text, char separator);
