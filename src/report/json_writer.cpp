#include "report/json_writer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>

#include <charconv>
#include <cmath>

namespace {

// Qt's own text for a value, taken from a one-element compact array.
void appendAsQtWrites(std::string &out, const QJsonValue &value)
{
    const QByteArray json = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    out.append(json.constData() + 1, static_cast<size_t>(json.size() - 2));
}

template <typename Integer>
void appendInteger(std::string &out, Integer number)
{
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, number);
    out.append(digits, result.ptr);
}

} // namespace

void JsonWriter::open(char bracket)
{
    element();
    m_text += bracket;
    m_text += '\n';
    m_empty.push_back(true);
}

void JsonWriter::close(char bracket)
{
    if (!m_empty.back())
        m_text += '\n';
    m_empty.pop_back();
    indent(m_empty.size());
    m_text += bracket;
    if (m_empty.empty())
        m_text += '\n';
}

void JsonWriter::element()
{
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (m_empty.empty())
        return;
    if (m_empty.back())
        m_empty.back() = false;
    else
        m_text += ",\n";
    indent(m_empty.size());
}

void JsonWriter::key(std::string_view name)
{
    element();
    m_text += '"';
    m_text += name;
    m_text += "\": ";
    m_afterKey = true;
}

void JsonWriter::value(bool flag)
{
    element();
    m_text += flag ? "true" : "false";
}

void JsonWriter::value(int64_t number)
{
    element();
    appendInteger(m_text, number);
}

void JsonWriter::value(double number)
{
    element();
    // Qt prints whole numbers below 2^53 as integers (but not -0); the rest
    // in its shortest double form.
    if (number == std::trunc(number) && std::fabs(number) < 9007199254740992.0 && !(number == 0 && std::signbit(number))) {
        appendInteger(m_text, static_cast<int64_t>(number));
        return;
    }
    if (!std::isfinite(number)) {
        appendAsQtWrites(m_text, QJsonValue(number));
        return;
    }
    const QByteArray text = QByteArray::number(number, 'g', QLocale::FloatingPointShortest);
    m_text.append(text.constData(), static_cast<size_t>(text.size()));
}

void JsonWriter::value(const QString &text)
{
    element();
    const QChar *chars = text.constData();
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = chars[i].unicode();
        if (c < 0x20 || c > 0x7e || c == '"' || c == '\\') {
            appendAsQtWrites(m_text, QJsonValue(text));
            return;
        }
    }
    m_text += '"';
    for (qsizetype i = 0; i < size; ++i)
        m_text += static_cast<char>(chars[i].unicode());
    m_text += '"';
}

void JsonWriter::plainValue(std::string_view word)
{
    element();
    m_text += '"';
    m_text += word;
    m_text += '"';
}

void JsonWriter::null()
{
    element();
    m_text += "null";
}
