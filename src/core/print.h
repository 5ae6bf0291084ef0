#pragma once

#include <QByteArray>
#include <QString>

#include <fmt/format.h>

#include <ostream>
#include <string_view>

// Text from outside with control characters as \uXXXX escapes, as the
// library writes them, so that a message it is part of stays one line.
QString escaped(const QString &text);

// Toolkit texts are printed as UTF-8.
template <>
struct fmt::formatter<QString> : fmt::formatter<fmt::string_view> {
    template <typename FormatContext>
    auto format(const QString &text, FormatContext &ctx) const
    {
        const QByteArray utf8 = text.toUtf8();
        return fmt::formatter<fmt::string_view>::format(
            fmt::string_view(utf8.constData(), static_cast<size_t>(utf8.size())), ctx);
    }
};

template <>
struct fmt::formatter<QByteArray> : fmt::formatter<fmt::string_view> {
    template <typename FormatContext>
    auto format(const QByteArray &bytes, FormatContext &ctx) const
    {
        return fmt::formatter<fmt::string_view>::format(
            fmt::string_view(bytes.constData(), static_cast<size_t>(bytes.size())), ctx);
    }
};

// Writes text in one piece: to a terminal behind standard output or error
// the stream is flushed first and the text goes out in a single write.
void writeTo(std::ostream &stream, std::string_view text);

// Formats with checked "{}" format strings and writes in one piece.
template <typename... Args>
void printTo(std::ostream &stream, fmt::format_string<Args...> format, Args &&...args)
{
    fmt::memory_buffer buffer;
    fmt::format_to(fmt::appender(buffer), format, std::forward<Args>(args)...);
    writeTo(stream, std::string_view(buffer.data(), buffer.size()));
}

// The line form: the same with a newline appended.
template <typename... Args>
void printLineTo(std::ostream &stream, fmt::format_string<Args...> format, Args &&...args)
{
    fmt::memory_buffer buffer;
    fmt::format_to(fmt::appender(buffer), format, std::forward<Args>(args)...);
    buffer.push_back('\n');
    writeTo(stream, std::string_view(buffer.data(), buffer.size()));
}
