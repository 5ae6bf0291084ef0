#pragma once

#include "core/command.h"

#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

// How many command-line words one alternative of a positional value name
// takes; no maximum means unbounded.
struct Arity {
    uint32_t min = 0;
    std::optional<uint32_t> max = 0;

    bool operator==(const Arity &) const = default;
};

// The words one alternative of the value-name grammar takes: each plain
// placeholder one, a repeated one any number.
Arity arityOf(const ValueAlternative &alternative);

// One Arity per alternative of a value name (see parseValueName).
std::vector<Arity> parseArities(const char *valueName);

// Checks the words after the command against its records and fills its
// option variables. False after printing the first problem (silently for a
// command without records that was given words).
bool parseOptions(const Command &command, const QStringList &words);

// The same over a command's records, in table order.
bool parseOptions(const std::vector<const CommandOption *> &records, const QStringList &words);
