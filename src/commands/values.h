#pragma once

#include "commands/parsers.h"
#include "commands/unit.h"
#include "core/words.h"

#include <dispor/output.h>

#include <QString>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <utility>

// The shapes the value-setting commands share: each converts its one
// argument, checks it, changes the output and applies the configuration,
// returning the exit status.

// Sets one property and applies.
template <typename Parameter, typename Value>
int applyValue(const OutputPtr &output, const ConfigPtr &config, void (Dispor::Output::*setter)(Parameter),
               Value &&value)
{
    ((*output).*setter)(std::forward<Value>(value));
    return applyConfig(config);
}

using BoolSetter = void (Dispor::Output::*)(bool);
using BoolGetter = bool (Dispor::Output::*)() const;

// Sets each switch to value, in the order given, and applies once.
int applySwitches(const OutputPtr &output, const ConfigPtr &config, bool value,
                  std::initializer_list<BoolSetter> setters);

// "on"/"true" or "off"/"false" for every switch given.
int applyBoolText(const QString &text, const OutputPtr &output, const ConfigPtr &config,
                  std::initializer_list<BoolSetter> setters);

// Flips one switch.
int applyToggle(const OutputPtr &output, const ConfigPtr &config, BoolGetter getter, BoolSetter setter);

// Inclusive bounds of an integer argument and the line printed outside them.
struct IntRange {
    int min;
    int max;
    const char *message;
};

// An integer within range, else no value after printing why.
std::optional<int> parseInRange(const QString &text, const IntRange &range);

// A count handed on as it is (levels, nits, percent of overscan).
int applyCount(const QString &text, const OutputPtr &output, const ConfigPtr &config, const IntRange &range,
               void (Dispor::Output::*setter)(uint32_t));

// A whole percentage handed on as a fraction.
int applyHundredths(const QString &text, const OutputPtr &output, const ConfigPtr &config,
                    const IntRange &range, void (Dispor::Output::*setter)(double));

// A percentage, "%" optional, from 0% to 100%, handed on as a fraction.
int applyFraction(const QString &text, const OutputPtr &output, const ConfigPtr &config,
                  const char *rangeMessage, void (Dispor::Output::*setter)(double));

// "none" clears the override; else a number of nits from 0 to 10000.
int applyOverride(const QString &text, const OutputPtr &output, const ConfigPtr &config,
                  const char *rangeMessage, void (Dispor::Output::*setter)(std::optional<double>));

// One of a table's words.
template <typename Value, std::size_t N>
int applyWord(const QString &text, const OutputPtr &output, const ConfigPtr &config,
              const Word<Value> (&table)[N], void (Dispor::Output::*setter)(Value))
{
    const std::optional<Value> value = valueOfWord(table, text);
    if (!value)
        return invalidArgument(text);
    return applyValue(output, config, setter, *value);
}
