#include "report/json.h"

#include "core/print.h"
#include "core/words.h"
#include "report/json_writer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

using Output = Dispor::Output;

namespace {

// The writer's tables: each object's keys in the sorted order QJsonObject
// would give them, with what the manual page says of each. A key with a
// presence test is left out when it fails.
enum class Type {
    Boolean,
    Integer,
    Number,
    String,
    Strings,
    Position,
    PositionOrNull,
    NumberOrNull,
    StringOrNull,
    Resolution,
    ModeOrNull,
    Modes,
    CustomModes
};

template <typename Source> struct Field {
    JsonKey key;
    Type type;
    const char *meaning;
    void (*write)(JsonWriter &, const Source &);
    std::string (*words)() = nullptr; // the words a string may be
    const char *presence = nullptr;   // when the key is there; null: always
    bool (*present)(const Source &) = nullptr;
};

template <typename Source, size_t N> constexpr bool sortedKeys(const Field<Source> (&fields)[N])
{
    for (size_t i = 1; i < N; ++i) {
        if (!(fields[i - 1].key.name() < fields[i].key.name()))
            return false;
    }
    return true;
}

template <typename Source, size_t N> constexpr bool alwaysPresent(const Field<Source> (&fields)[N])
{
    for (const Field<Source> &field : fields) {
        if (field.present)
            return false;
    }
    return true;
}

// An object's text around its values at one depth, when every key is always
// there: the opening brace, each key with what goes before it, the closing.
struct Piece {
    JsonWriter::Block text = {};
    size_t size = 0;

    bool set(const std::string &from)
    {
        if (from.size() > sizeof text)
            return false;
        std::memcpy(text, from.data(), from.size());
        size = from.size();
        return true;
    }
};

template <size_t N> struct Shape {
    std::array<Piece, N> before;
    Piece after;
    bool made = false;
    bool fits = false;
};

// Made once per depth and kept: the tool writes from one thread.
template <const auto &fields> const Shape<std::size(fields)> *shapeOf(size_t depth)
{
    static std::array<Shape<std::size(fields)>, 16> shapes;
    if (depth >= shapes.size())
        return nullptr;
    Shape<std::size(fields)> &shape = shapes[depth];
    if (!shape.made) {
        shape.made = true;
        const std::string inner(4 * (depth + 1), ' ');
        shape.fits = shape.after.set("\n" + std::string(4 * depth, ' ') + "}");
        for (size_t i = 0; i < std::size(fields); ++i) {
            shape.fits =
                shape.fits && shape.before[i].set((i == 0 ? "{\n" : ",\n") + inner +
                                                  std::string(fields[i].key.text(), fields[i].key.size()));
        }
    }
    return shape.fits ? &shape : nullptr;
}

// Unrolled over a table known when compiling: each field's writer is a
// known function, inlined, not called through a pointer per value.
template <const auto &fields, typename Source> void writeObject(JsonWriter &json, const Source &source)
{
    if constexpr (alwaysPresent(fields)) {
        // The objects written by the thousand (modes), with the text around
        // their values copied whole rather than put together each time.
        if (const auto *shape = shapeOf<fields>(json.depth())) {
            json.beginShaped();
            [&]<size_t... I>(std::index_sequence<I...>)
            {
                ((json.fragment(shape->before[I].text, shape->before[I].size), fields[I].write(json, source)),
                 ...);
            }
            (std::make_index_sequence<std::size(fields)>());
            json.endShaped(shape->after.text, shape->after.size);
            return;
        }
    }
    json.beginObject();
    [&]<size_t... I>(std::index_sequence<I...>)
    {
        const auto writeField = [&](const auto &field) {
            if (field.present && !field.present(source))
                return;
            json.key(field.key);
            field.write(json, source);
        };
        (writeField(fields[I]), ...);
    }
    (std::make_index_sequence<std::size(fields)>());
    json.endObject();
}

// The words of a table, each once, quoted, in the table's order.
template <const auto &table> std::string wordsOf()
{
    std::vector<std::string_view> seen;
    std::string text;
    for (const auto &entry : table) {
        if (std::find(seen.begin(), seen.end(), entry.word) != seen.end())
            continue;
        seen.push_back(entry.word);
        text += text.empty() ? "\"" : ", \"";
        text += entry.word;
        text += '"';
    }
    return text;
}

void writeWord(JsonWriter &json, const char *text)
{
    json.plainValue(text);
}

constexpr Field<QPoint> positionFields[] = {
    {"x", Type::Integer, "horizontal position of the output's top left corner in the layout, in pixels",
     [](JsonWriter &json, const QPoint &pos) { json.value(int64_t{pos.x()}); }},
    {"y", Type::Integer, "vertical position of the output's top left corner in the layout, in pixels",
     [](JsonWriter &json, const QPoint &pos) { json.value(int64_t{pos.y()}); }},
};
static_assert(sortedKeys(positionFields));

constexpr Field<QSize> resolutionFields[] = {
    {"height", Type::Integer, "height in pixels",
     [](JsonWriter &json, const QSize &size) { json.value(int64_t{size.height()}); }},
    {"width", Type::Integer, "width in pixels",
     [](JsonWriter &json, const QSize &size) { json.value(int64_t{size.width()}); }},
};
static_assert(sortedKeys(resolutionFields));

struct ModeSource {
    const Dispor::Mode &mode;
    bool current;
    bool preferred;
};

constexpr Field<ModeSource> modeFields[] = {
    {"current", Type::Boolean, "true for the output's current mode",
     [](JsonWriter &json, const ModeSource &m) { json.value(m.current); }},
    {"id", Type::String, "the mode's id, which set-mode takes",
     [](JsonWriter &json, const ModeSource &m) { json.value(m.mode.id()); }},
    {"preferred", Type::Boolean, "true for the output's preferred mode",
     [](JsonWriter &json, const ModeSource &m) { json.value(m.preferred); }},
    {"refreshRate", Type::Number, "refresh rate in hertz",
     [](JsonWriter &json, const ModeSource &m) { json.value(static_cast<double>(m.mode.refreshRate())); }},
    {"resolution", Type::Resolution, "size in pixels",
     [](JsonWriter &json, const ModeSource &m) { writeObject<resolutionFields>(json, m.mode.size()); }},
};
static_assert(sortedKeys(modeFields));

constexpr Field<Dispor::ModeInfo> customModeFields[] = {
    {"refreshRate", Type::Number, "refresh rate in hertz",
     [](JsonWriter &json, const Dispor::ModeInfo &m) { json.value(static_cast<double>(m.refreshRate)); }},
    {"resolution", Type::Resolution, "size in pixels",
     [](JsonWriter &json, const Dispor::ModeInfo &m) {
         writeObject<resolutionFields>(json, QSize(m.width, m.height));
     }},
};
static_assert(sortedKeys(customModeFields));

// A disabled output comes back where the server or the library remembers;
// where neither does, its place is not known.
#define UNKNOWN_PLACE(meaning) meaning ", null for a disabled output whose place is not known"

struct OutputSource {
    const Output &output;
    Dispor::ModePtr current;
    Dispor::ModePtr preferred;
};

void writeMode(JsonWriter &json, const OutputSource &o, const Dispor::ModePtr &mode)
{
    writeObject<modeFields>(json, ModeSource{*mode, mode == o.current, mode == o.preferred});
}

using W = JsonWriter;
using S = OutputSource;

constexpr Field<OutputSource> outputFields[] = {
    {"abm", Type::Integer, "adaptive backlight modulation level, 0 when off",
     [](W &json, const S &o) { json.value(int64_t{o.output.abmLevel()}); }},
    {"autoBrightness", Type::Boolean, "automatic brightness is on",
     [](W &json, const S &o) { json.value(o.output.automaticBrightness()); }},
    {"autoRotate", Type::String, "automatic rotation policy",
     [](W &json, const S &o) {
         writeWord(json, wordOfValue(words::autoRotatePolicy, o.output.autoRotatePolicy()));
     },
     wordsOf<words::autoRotatePolicy>},
    {"brightness", Type::Number, "brightness, 0 to 1 (1 is 100 %)",
     [](W &json, const S &o) { json.value(o.output.brightness()); }},
    {"capabilities", Type::Strings,
     "what the output can do, a word for each capability it has, in this order",
     [](W &json, const S &o) {
         const Output::Capabilities capabilities = o.output.capabilities();
         json.beginArray();
         for (const auto &entry : words::capability) {
             if (capabilities.testFlag(entry.value))
                 writeWord(json, entry.word);
         }
         json.endArray();
     },
     wordsOf<words::capability>},
    {"colorPowerTradeoff", Type::String, "whether colour accuracy or power efficiency is preferred",
     [](W &json, const S &o) {
         writeWord(json, wordOfValue(words::colorPowerTradeoff, o.output.colorPowerPreference()));
     },
     wordsOf<words::colorPowerTradeoff>},
    {"colorProfileSource", Type::String, "source of the colour profile outside the HDR mode",
     [](W &json, const S &o) {
         writeWord(json, wordOfValue(words::colorProfileSource, o.output.colorProfileSource()));
     },
     wordsOf<words::colorProfileSource>},
    {"connected", Type::Boolean, "a display is connected",
     [](W &json, const S &o) { json.value(o.output.isConnected()); }},
    {"customModes", Type::CustomModes,
     "the modes added with add-custom-mode, in the order of list-custom-modes",
     [](W &json, const S &o) {
         json.beginArray();
         const QList<Dispor::ModeInfo> customModes = o.output.customModes();
         for (const Dispor::ModeInfo &mode : customModes)
             writeObject<customModeFields>(json, mode);
         json.endArray();
     }},
    {"ddcCiAllowed", Type::Boolean, "control over DDC/CI is allowed",
     [](W &json, const S &o) { json.value(o.output.ddcCiAllowed()); }},
    {"dimming", Type::Number, "dimming factor, 0 to 1 (1 is not dimmed)",
     [](W &json, const S &o) { json.value(o.output.dimming()); }},
    {"edrPolicy", Type::String, "extended dynamic range policy",
     [](W &json, const S &o) { writeWord(json, wordOfValue(words::edrPolicy, o.output.edrPolicy())); },
     wordsOf<words::edrPolicy>},
    {"enabled", Type::Boolean, "the output is on",
     [](W &json, const S &o) { json.value(o.output.isEnabled()); }},
    {"hdr", Type::Boolean, "the HDR mode is on",
     [](W &json, const S &o) { json.value(o.output.isHdrEnabled()); }},
    {"hdrColorProfileSource", Type::String, "source of the colour profile in the HDR mode",
     [](W &json, const S &o) {
         writeWord(json, wordOfValue(words::colorProfileSource, o.output.hdrColorProfileSource()));
     },
     wordsOf<words::colorProfileSource>},
    {"hdrIccProfilePath", Type::String, "path of the ICC profile for the HDR mode, empty when none",
     [](W &json, const S &o) { json.value(o.output.hdrIccProfilePath()); }},
    {"iccProfilePath", Type::String, "path of the ICC profile, empty when none",
     [](W &json, const S &o) { json.value(o.output.iccProfilePath()); }},
    {"maxAverageBrightnessOverride", Type::Number, "override of the maximum average brightness, in nits",
     [](W &json, const S &o) { json.value(*o.output.maxAverageBrightnessOverride()); }, nullptr,
     "only while the value is overridden",
     [](const S &o) { return o.output.maxAverageBrightnessOverride().has_value(); }},
    {"maxPeakBrightnessOverride", Type::Number, "override of the peak brightness, in nits",
     [](W &json, const S &o) { json.value(*o.output.maxPeakBrightnessOverride()); }, nullptr,
     "only while the value is overridden",
     [](const S &o) { return o.output.maxPeakBrightnessOverride().has_value(); }},
    {"maxbpc", Type::Integer, "maximum bits per colour, 0 for automatic",
     [](W &json, const S &o) { json.value(int64_t{o.output.maxBitsPerColor()}); }},
    {"minBrightnessOverride", Type::Number,
     "override of the minimum brightness, in units of 1/10000 nit (set-min-brightness-override takes nits)",
     [](W &json, const S &o) { json.value(*o.output.minBrightnessOverride()); }, nullptr,
     "only while the value is overridden",
     [](const S &o) { return o.output.minBrightnessOverride().has_value(); }},
    {"mode", Type::ModeOrNull, "the current mode, null when the output has none (as when it is off)",
     [](W &json, const S &o) {
         if (o.current)
             writeMode(json, o, o.current);
         else
             json.null();
     }},
    {"modes", Type::Modes,
     "every mode of the output, ordered by id compared as text (\"1\", \"10\", \"2\"), as list-modes lists "
     "them",
     [](W &json, const S &o) {
         json.beginArray();
         const Dispor::ModeList modes = o.output.modes();
         for (const Dispor::ModePtr &mode : modes)
             writeMode(json, o, mode);
         json.endArray();
     }},
    {"name", Type::String, "connector name, as in list-outputs",
     [](W &json, const S &o) { json.value(o.output.name()); }},
    {"overscan", Type::Integer, "overscan, in percent",
     [](W &json, const S &o) { json.value(int64_t{o.output.overscan()}); }},
    {"position", Type::PositionOrNull, UNKNOWN_PLACE("position in the layout"),
     [](W &json, const S &o) {
         if (o.output.isPlacementKnown())
             writeObject<positionFields>(json, o.output.pos());
         else
             json.null();
     }},
    {"primary", Type::Boolean, "the output is the primary one (its priority is 1)",
     [](W &json, const S &o) { json.value(o.output.priority() == 1); }},
    {"priority", Type::Integer, "priority among the outputs, 1 for the primary one",
     [](W &json, const S &o) { json.value(int64_t{o.output.priority()}); }},
    {"replicaOf", Type::Integer, "id of the output this one mirrors, 0 when none",
     [](W &json, const S &o) { json.value(int64_t{o.output.replicationSource()}); }},
    {"rgbRange", Type::String, "RGB range",
     [](W &json, const S &o) { writeWord(json, wordOfValue(words::rgbRange, o.output.rgbRange())); },
     wordsOf<words::rgbRange>},
    {"rotation", Type::StringOrNull, UNKNOWN_PLACE("rotation, counter-clockwise in degrees, and reflection"),
     [](W &json, const S &o) {
         if (o.output.isPlacementKnown())
             writeWord(json, wordOfValue(words::rotation, o.output.rotation()));
         else
             json.null();
     },
     wordsOf<Dispor::words::rotation>},
    {"scale", Type::NumberOrNull, UNKNOWN_PLACE("scale factor (1 is 100 %)"),
     [](W &json, const S &o) {
         if (o.output.isPlacementKnown())
             json.value(o.output.scale());
         else
             json.null();
     }},
    {"sdrBrightness", Type::Integer, "brightness of SDR content in the HDR mode, in nits",
     [](W &json, const S &o) { json.value(int64_t{o.output.sdrBrightness()}); }},
    {"sdrGamut", Type::Number, "wideness of the SDR gamut in the HDR mode, 0 to 1",
     [](W &json, const S &o) { json.value(o.output.sdrGamutWideness()); }},
    {"sharpness", Type::Number, "sharpness in percent, a whole number (unlike brightness and dimming)",
     [](W &json, const S &o) { json.value(std::round(o.output.sharpness() * 100)); }},
    {"uuid", Type::String, "the output's unique id, empty when unknown",
     [](W &json, const S &o) { json.value(o.output.uuid()); }},
    {"vrrPolicy", Type::String, "variable refresh rate policy",
     [](W &json, const S &o) { writeWord(json, wordOfValue(words::vrrPolicy, o.output.vrrPolicy())); },
     wordsOf<words::vrrPolicy>},
    {"wcg", Type::Boolean, "wide colour gamut is on",
     [](W &json, const S &o) { json.value(o.output.isWcgEnabled()); }},
};
static_assert(sortedKeys(outputFields));

const char *typeName(Type type)
{
    switch (type) {
    case Type::Boolean:
        return "boolean";
    case Type::Integer:
        return "integer";
    case Type::Number:
        return "number";
    case Type::String:
        return "string";
    case Type::Strings:
        return "array of strings";
    case Type::Position:
        return "position object";
    case Type::PositionOrNull:
        return "position object or null";
    case Type::NumberOrNull:
        return "number or null";
    case Type::StringOrNull:
        return "string or null";
    case Type::Resolution:
        return "resolution object";
    case Type::ModeOrNull:
        return "mode object or null";
    case Type::Modes:
        return "array of mode objects";
    case Type::CustomModes:
        return "array of custom mode objects";
    }
    return "";
}

template <typename Source, size_t N>
JsonObjectDoc describe(const char *name, const char *where, const Field<Source> (&fields)[N])
{
    JsonObjectDoc object{name, where, {}};
    for (const Field<Source> &field : fields) {
        JsonKeyDoc key{std::string(field.key.name()), typeName(field.type), field.meaning,
                       field.presence ? field.presence : ""};
        if (field.words)
            key.meaning += ": " + field.words();
        object.keys.push_back(std::move(key));
    }
    return object;
}

} // namespace

std::vector<JsonObjectDoc> jsonReference()
{
    return {
        describe("output object",
                 "the document list-outputs --json prints for each output, and OUTPUT --json prints",
                 outputFields),
        describe("mode object", "mode and each element of modes", modeFields),
        describe("custom mode object", "each element of customModes", customModeFields),
        describe("position object", "position", positionFields),
        describe("resolution object", "resolution of a mode or custom mode", resolutionFields),
    };
}

void writeOutputJson(JsonWriter &json, const Output &output)
{
    // A disabled output's placeholders are no mode of its own.
    writeObject<outputFields>(json,
                              OutputSource{output, output.isPlacementKnown() ? output.currentMode() : nullptr,
                                           output.preferredMode()});
}

void printOutputJson(const Output &output)
{
    JsonWriter json;
    writeOutputJson(json, output);
    printTo(stdout, "{}", json.text());
}
