#pragma once

#include <QByteArray>
#include <QString>

#include <fmt/format.h>

#include <cstdio>
#include <string_view>
#include <type_traits>

// UTF-8 text from outside with control characters (C0, DEL and C1) as
// \uXXXX escapes, as the library writes them: a message or report line it
// is part of stays one line, and no name or path can drive the terminal.
// Text without any comes back as it is, without a copy.
std::string_view escapedUtf8(std::string_view text, std::string &storage);

// Toolkit texts are printed as UTF-8, escaped as above: they all come from
// outside (names, paths, words, replies). The tool's own colours and help
// are plain strings and stay as they are.
template <> struct fmt::formatter<QByteArray> : fmt::formatter<fmt::string_view> {
    template <typename FormatContext> auto format(const QByteArray &bytes, FormatContext &ctx) const
    {
        std::string storage;
        const std::string_view text =
            escapedUtf8(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())), storage);
        return fmt::formatter<fmt::string_view>::format(fmt::string_view(text.data(), text.size()), ctx);
    }
};

template <> struct fmt::formatter<QString> : fmt::formatter<QByteArray> {
    template <typename FormatContext> auto format(const QString &text, FormatContext &ctx) const
    {
        return fmt::formatter<QByteArray>::format(text.toUtf8(), ctx);
    }
};

// A terminal escape sequence of the tool's own (colour, bold, underline),
// or nothing where NO_COLOR is set and not empty: the text report and the
// help then write no escape sequences.
std::string_view styled(std::string_view sequence);

// Writes text in one piece: to a terminal behind standard output or error
// the stream is flushed first and the text goes out in a single write. The
// tool writes through C streams: a C++ standard stream would set up the
// locale machinery on every run (about 0.1 M instructions) for nothing.
void writeTo(FILE *file, std::string_view text);

// Whether anything written to the file was lost.
bool writeFailed(FILE *file);

// Formats into one piece and hands it to the sink: the formatting itself
// is compiled once, here, rather than in every unit that prints.
using PrintSink = void (*)(void *target, std::string_view text);
void printFormatted(PrintSink sink, void *target, fmt::string_view format, fmt::format_args args,
                    bool newline);

template <typename Target> void writeToTarget(void *target, std::string_view text)
{
    writeTo(*static_cast<Target *>(target), text);
}

// Formats with checked "{}" format strings and writes in one piece.
template <typename Target, typename... Args>
void printTo(Target &&target, fmt::format_string<Args...> format, Args &&...args)
{
    using Plain = std::remove_reference_t<Target>;
    printFormatted(writeToTarget<Plain>, const_cast<std::remove_const_t<Plain> *>(&target), format,
                   fmt::make_format_args(args...), false);
}

// The line form: the same with a newline appended.
template <typename Target, typename... Args>
void printLineTo(Target &&target, fmt::format_string<Args...> format, Args &&...args)
{
    using Plain = std::remove_reference_t<Target>;
    printFormatted(writeToTarget<Plain>, const_cast<std::remove_const_t<Plain> *>(&target), format,
                   fmt::make_format_args(args...), true);
}
