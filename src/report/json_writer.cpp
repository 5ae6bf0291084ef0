#include "report/json_writer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>

#include <charconv>
#include <cmath>

namespace {

// Qt's own text for a value, taken from a one-element compact array.
QByteArray asQtWrites(const QJsonValue &value)
{
    const QByteArray json = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return json.mid(1, json.size() - 2);
}

// Qt leaves DEL and the C1 controls (U+0080 to U+009F) as they are, which
// is valid JSON, but a terminal acts on some of them (U+009B opens a
// sequence as ESC [ does): they are written as \u escapes too.
QByteArray withControlsEscaped(const QByteArray &json)
{
    QByteArray result;
    result.reserve(json.size());
    for (qsizetype i = 0; i < json.size(); ++i) {
        const auto c = static_cast<unsigned char>(json[i]);
        const auto next = i + 1 < json.size() ? static_cast<unsigned char>(json[i + 1]) : 0;
        if (c == 0x7f) {
            result += "\\u007f";
        } else if (c == 0xc2 && next >= 0x80 && next <= 0x9f) {
            result += "\\u00" + QByteArray::number(next, 16);
            ++i;
        } else {
            result += char(c);
        }
    }
    return result;
}

} // namespace

void JsonWriter::grow(size_t n)
{
    // Not zero-filled: only the used part is ever read.
    const size_t capacity = std::max(2 * m_capacity, m_size + n + 4096);
    std::unique_ptr<char[]> text(new char[capacity]);
    if (m_size)
        std::memcpy(text.get(), m_text.get(), m_size);
    m_text = std::move(text);
    m_capacity = capacity;
}

void JsonWriter::open(char bracket)
{
    element(2);
    put(bracket);
    put('\n');
    m_empty.push_back(true);
}

void JsonWriter::close(char bracket)
{
    reserve(3 + 4 * m_empty.size() + kIndentCopy);
    if (!m_empty.back())
        put('\n');
    m_empty.pop_back();
    spaces(m_empty.size());
    put(bracket);
    if (m_empty.empty())
        put('\n');
}

void JsonWriter::value(bool flag)
{
    // Five bytes either way: one fixed copy.
    element(5);
    std::memcpy(m_text.get() + m_size, flag ? "true " : "false", 5);
    m_size += flag ? 4 : 5;
}

void JsonWriter::value(int64_t number)
{
    element(24);
    const auto result = std::to_chars(m_text.get() + m_size, m_text.get() + m_size + 24, number);
    m_size = static_cast<size_t>(result.ptr - m_text.get());
}

void JsonWriter::value(double number)
{
    // Qt prints whole numbers below 2^53 as integers (but not -0); the rest
    // in its shortest double form.
    if (number == std::trunc(number) && std::fabs(number) < 9007199254740992.0 &&
        !(number == 0 && std::signbit(number))) {
        value(static_cast<int64_t>(number));
        return;
    }
    // Between these Qt's shortest form is plain decimal notation, as is
    // the shortest fixed form here.
    if (std::fabs(number) >= 1e-3 && std::fabs(number) < 1e15) {
        element(40);
        if (!m_numbers)
            m_numbers = std::make_unique<Number[]>(kNumbers);
        uint64_t bits = 0;
        std::memcpy(&bits, &number, sizeof bits);
        Number &seen = m_numbers[(bits * 0x9e3779b97f4a7c15u) >> 58];
        static_assert(kNumbers == 64, "the index takes the hash's top six bits");
        if (seen.size == 0 || seen.bits != bits) {
            const auto result =
                std::to_chars(seen.text, seen.text + sizeof seen.text, number, std::chars_format::fixed);
            seen.bits = bits;
            seen.size = static_cast<uint8_t>(result.ptr - seen.text);
        }
        std::memcpy(m_text.get() + m_size, seen.text, sizeof seen.text);
        m_size += seen.size;
        return;
    }
    const QByteArray text = std::isfinite(number)
                                ? QByteArray::number(number, 'g', QLocale::FloatingPointShortest)
                                : asQtWrites(QJsonValue(number));
    element(static_cast<size_t>(text.size()));
    put(std::string_view(text.constData(), static_cast<size_t>(text.size())));
}

void JsonWriter::value(const QString &text)
{
    const QChar *chars = text.constData();
    const qsizetype size = text.size();
    element(static_cast<size_t>(size) + 2);
    // Copied as it goes, through a pointer of its own (a store through a
    // char pointer would have the members read again for each character);
    // text with anything to escape is written anew by Qt.
    char *const start = m_text.get() + m_size;
    char *out = start;
    *out++ = '"';
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = chars[i].unicode();
        if (c < 0x20 || c > 0x7e || c == '"' || c == '\\') {
            const QByteArray json = withControlsEscaped(asQtWrites(QJsonValue(text)));
            reserve(static_cast<size_t>(json.size()));
            put(std::string_view(json.constData(), static_cast<size_t>(json.size())));
            return;
        }
        *out++ = static_cast<char>(c);
    }
    *out++ = '"';
    m_size += static_cast<size_t>(out - start);
}

void JsonWriter::plainValue(std::string_view word)
{
    element(word.size() + 2);
    put('"');
    put(word);
    put('"');
}

void JsonWriter::null()
{
    element(4);
    put("null");
}
