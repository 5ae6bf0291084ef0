#include "document_parts.h"

#include "dispor/words.h"

#include <charconv>
#include <cstdio>
#include <string_view>
#include <type_traits>

namespace Dispor::Virtual {

namespace {

void appendString(QByteArray &out, const QString &text)
{
    out += '"';
    const QByteArray utf8 = text.toUtf8();
    for (const char c : utf8) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned char>(c));
                out += escape;
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

template <typename T> void appendNumber(QByteArray &out, T value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    const std::string_view text(buffer, result.ptr - buffer);
    out.append(text.data(), text.size());
    if constexpr (std::is_floating_point_v<T>) {
        if (text.find_first_of(".e") == std::string_view::npos)
            out += ".0";
    }
}

// One output object's members, each on its own line.
class ObjectWriter {
public:
    ObjectWriter(QByteArray &out, int indent) : m_out(out), m_indent(indent) {}

    QByteArray &key(const char *name)
    {
        m_out += m_first ? "\n" : ",\n";
        m_first = false;
        m_out.append(m_indent, ' ');
        m_out += '"';
        m_out += name;
        m_out += "\": ";
        return m_out;
    }

private:
    QByteArray &m_out;
    int m_indent;
    bool m_first = true;
};

void appendCustomMode(QByteArray &out, const ModeInfo &mode)
{
    out += "{ \"width\": ";
    appendNumber(out, mode.width);
    out += ", \"height\": ";
    appendNumber(out, mode.height);
    out += ", \"refreshRate\": ";
    appendNumber(out, mode.refreshRate);
    out += ", \"flags\": ";
    appendNumber(out, mode.flags);
    if (const auto &t = mode.timings) {
        const std::pair<const char *, uint32_t> fields[] = {
            {"clock", t->clock},       {"hdisplay", t->hdisplay},     {"hsyncStart", t->hsyncStart},
            {"hsyncEnd", t->hsyncEnd}, {"htotal", t->htotal},         {"hskew", t->hskew},
            {"vdisplay", t->vdisplay}, {"vsyncStart", t->vsyncStart}, {"vsyncEnd", t->vsyncEnd},
            {"vtotal", t->vtotal},     {"vscan", t->vscan},           {"flags", t->flags}};
        out += ", \"timings\": {";
        bool first = true;
        for (const auto &[name, value] : fields) {
            out += first ? " \"" : ", \"";
            first = false;
            out += name;
            out += "\": ";
            appendNumber(out, value);
        }
        out += " }";
    }
    out += " }";
}

// A member's value, in the form the readers take.
template <typename T> void appendValue(QByteArray &o, const T &value, int indent)
{
    if constexpr (std::is_same_v<T, bool>) {
        o += value ? "true" : "false";
    } else if constexpr (std::is_arithmetic_v<T>) {
        appendNumber(o, value);
    } else if constexpr (std::is_same_v<T, std::optional<double>>) {
        appendNumber(o, *value);
    } else if constexpr (std::is_same_v<T, QString>) {
        appendString(o, value);
    } else if constexpr (std::is_enum_v<T>) {
        appendString(o, QLatin1StringView(words::wordOf(words::of<T>(), value)));
    } else if constexpr (std::is_same_v<T, QPoint>) {
        o += "{ \"x\": ";
        appendNumber(o, value.x());
        o += ", \"y\": ";
        appendNumber(o, value.y());
        o += " }";
    } else if constexpr (std::is_same_v<T, std::optional<QSize>> ||
                         std::is_same_v<T, std::optional<QSizeF>>) {
        o += "{ \"width\": ";
        appendNumber(o, value->width());
        o += ", \"height\": ";
        appendNumber(o, value->height());
        o += " }";
    } else if constexpr (std::is_same_v<T, Output::BpcRange>) {
        o += "{ \"min\": ";
        appendNumber(o, value.min);
        o += ", \"max\": ";
        appendNumber(o, value.max);
        o += " }";
    } else if constexpr (std::is_same_v<T, Output::Capabilities>) {
        o += '[';
        bool first = true;
        for (const auto &c : words::capability) {
            if (!value.testFlag(c.value))
                continue;
            o += first ? " \"" : ", \"";
            first = false;
            o += c.word;
            o += '"';
        }
        o += " ]";
    } else if constexpr (std::is_same_v<T, ModeList> || std::is_same_v<T, QList<ModeInfo>>) {
        o += '[';
        bool first = true;
        for (const auto &mode : value) {
            o += first ? "\n" : ",\n";
            first = false;
            o.append(indent + 4, ' ');
            if constexpr (std::is_same_v<T, ModeList>) {
                o += "{ \"id\": ";
                appendString(o, mode->id());
                o += ", \"width\": ";
                appendNumber(o, mode->size().width());
                o += ", \"height\": ";
                appendNumber(o, mode->size().height());
                o += ", \"refreshRate\": ";
                appendNumber(o, mode->refreshRate());
                o += " }";
            } else {
                appendCustomMode(o, mode);
            }
        }
        o += '\n';
        o.append(indent, ' ');
        o += ']';
    } else {
        static_assert(!sizeof(T), "a property of a type the document cannot write");
    }
}

// The size the current mode gives, which a size equal to it follows.
QSize modeSize(const Data &d)
{
    if (const ModePtr mode = d.modes.value(d.currentModeId))
        return mode->size();
    const qsizetype index = customModeIds(d.modes, d.customModes).indexOf(d.currentModeId);
    return index >= 0 ? QSize(d.customModes[index].width, d.customModes[index].height) : QSize();
}

// Members equal to their defaults are left out.
void appendOutput(QByteArray &out, const Data &d)
{
    static const Data defaults;
    constexpr int indent = 12;
    ObjectWriter w(out, indent);
    Properties::forEach([&](const auto &p) {
        const auto &value = d.*p.member;
        if (!p.required && value == defaults.*p.member)
            return true;
        if constexpr (std::is_same_v<std::remove_cvref_t<decltype(value)>, std::optional<QSize>>) {
            if (*value == modeSize(d))
                return true;
        }
        appendValue(w.key(p.key), value, indent);
        return true;
    });
}

} // namespace

QByteArray writeDocument(const Outputs &outputs)
{
    QByteArray out;
    out.reserve(2048 * (outputs.size() + 1));
    out += "{\n    \"outputs\": [";
    bool first = true;
    for (const Data &d : outputs) {
        out += first ? "\n        {" : ",\n        {";
        first = false;
        appendOutput(out, d);
        out += "\n        }";
    }
    out += outputs.isEmpty() ? "]\n}\n" : "\n    ]\n}\n";
    return out;
}

} // namespace Dispor::Virtual
