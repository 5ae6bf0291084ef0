#include "values.h"

#include "core/words.h"

#include <algorithm>
#include <deque>
#include <initializer_list>
#include <iterator>
#include <string>
#include <utility>

namespace {

using enum ValueSource;

// The words of an enumeration's table, space-separated, leaving out the
// values in except; kept for the program's lifetime.
template <typename Table, typename Value = decltype(std::begin(std::declval<const Table &>())->value)>
const char *wordsOf(const Table &table, std::initializer_list<Value> except = {})
{
    static std::deque<std::string> kept;
    std::string &text = kept.emplace_back();
    for (const auto &entry : table) {
        if (std::find(except.begin(), except.end(), entry.value) != except.end())
            continue;
        if (!text.empty())
            text += ' ';
        text += entry.word;
    }
    return text.c_str();
}

// Command-specific entries are found before general ones, whatever their
// place here. The words are what the commands accept: the enumerations'
// come from the tables the commands parse with.
const std::vector<ValueWords> table = {
    {"BOOL", nullptr, Words, "on off true false"},
    {"ROTATION", nullptr, Words, wordsOf(words::rotation)},
    {"POLICY", "set-auto-rotate", Words, wordsOf(words::autoRotatePolicy)},
    {"POLICY", "set-vrr-policy", Words, wordsOf(words::vrrPolicy)},
    {"POLICY", "set-edr-policy", Words, wordsOf(words::edrPolicy)},
    {"SOURCE", "set-color-profile-source", Words, wordsOf(words::colorProfileSource)},
    // sRGB is refused with the HDR mode.
    {"SOURCE", "set-hdr-color-profile-source", Words,
     wordsOf(words::colorProfileSource, {Dispor::Output::ColorProfileSource::sRGB})},
    {"RANGE", nullptr, Words, wordsOf(words::rgbRange)},
    {"TRADEOFF", nullptr, Words, wordsOf(words::colorPowerTradeoff)},
    {"BPC", nullptr, Words, "automatic 6 8 10 12 14 16"},
    {"LEVEL", "set-abm", Words, "0 1 2 3 4"},
    {"BRIGHTNESS", "set-max-average-brightness-override", Words, "none"},
    {"BRIGHTNESS", "set-max-peak-brightness-override", Words, "none"},
    {"BRIGHTNESS", "set-min-brightness-override", Words, "none"},
    {"OUTPUT", "set-replica-of", Outputs, "none"},
    {"OUTPUT", nullptr, Outputs, ""},
    {"MODE", "set-mode", Modes, ""},
    {"MODE", "remove-custom-mode", CustomModes, ""},
    {"FLAG", "add-custom-mode", Words, "+hsync -hsync +vsync -vsync interlace"},
    {"PATH", nullptr, Files, ""},
};

} // namespace

const std::vector<ValueWords> &valueWordsTable()
{
    return table;
}

const ValueWords *valueWordsFor(std::string_view valueName, std::string_view command)
{
    const ValueWords *general = nullptr;
    for (const ValueWords &entry : table) {
        if (valueName != entry.valueName)
            continue;
        if (entry.command && command == entry.command)
            return &entry;
        if (!entry.command && !general)
            general = &entry;
    }
    return general;
}

std::vector<std::string> splitWords(std::string_view text, char separator)
{
    if (text.empty())
        return {};
    const std::vector<std::string_view> pieces = splitText(text, separator);
    return {pieces.begin(), pieces.end()};
}

std::vector<Slot> slotsFor(const Command &command)
{
    std::vector<Slot> result;
    for (const ValueAlternative &alternative : positionalPattern(command)) {
        for (unsigned index = 0; index < alternative.size(); ++index) {
            const bool repeated = alternative[index].repeated;
            const ValueWords *entry = valueWordsFor(alternative[index].name, command.name);
            if (entry) {
                Slot slot;
                slot.first = index;
                if (!repeated)
                    slot.last = index;
                slot.source = entry->source;
                slot.words = splitWords(entry->words, ' ');
                result.push_back(std::move(slot));
            }
            // Nothing after a repeated word can be told apart from it.
            if (repeated)
                break;
        }
    }
    return result;
}
