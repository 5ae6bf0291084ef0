#pragma once

#include <dispor/words.h>

#include <QStringView>

#include <array>
#include <cstddef>
#include <optional>

// The library's tables (dispor/words.h), read both ways: the commands parse
// the words, the JSON report prints them.

template <typename Value> using Word = Dispor::words::Word<Value>;

// The value of a word, compared whole and case-sensitively.
template <typename Table> auto valueOfWord(const Table &table, QStringView text)
{
    return Dispor::words::valueOf(table, text);
}

// The first word of a value, or "" when the table has none.
template <typename Table, typename Value> const char *wordOfValue(const Table &table, Value value)
{
    const char *word = Dispor::words::wordOf(table, value);
    return word ? word : "";
}

namespace words {

using O = Dispor::Output;

inline constexpr const auto &vrrPolicy = Dispor::words::vrrPolicy;
inline constexpr const auto &rgbRange = Dispor::words::rgbRange;
inline constexpr const auto &autoRotatePolicy = Dispor::words::autoRotatePolicy;
inline constexpr const auto &edrPolicy = Dispor::words::edrPolicy;
inline constexpr const auto &colorPowerTradeoff = Dispor::words::colorPowerTradeoff;
inline constexpr const auto &colorProfileSource = Dispor::words::colorProfileSource;
// In the order the JSON report lists them.
inline constexpr const auto &capability = Dispor::words::capability;

// The library's words, which the JSON report prints, and the other names
// set-rotation takes.
inline constexpr auto rotation = [] {
    constexpr Word<O::Rotation> others[] = {
        {"none", O::Rotation::None},         {"0", O::Rotation::None},      {"left", O::Rotation::Left},
        {"inverted", O::Rotation::Inverted}, {"right", O::Rotation::Right},
    };
    std::array<Word<O::Rotation>, std::size(Dispor::words::rotation) + std::size(others)> all{};
    std::size_t at = 0;
    for (const auto &w : Dispor::words::rotation)
        all[at++] = w;
    for (const auto &w : others)
        all[at++] = w;
    return all;
}();

} // namespace words
