#pragma once

// Shared by the fuzz targets: a failed property stops the run the way a
// sanitizer does, and the tool's messages go nowhere.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace fuzz {

[[noreturn]] inline void failed(const char *what, const char *file, int line)
{
    std::fprintf(stderr, "%s:%d: property failed: %s\n", file, line, what);
    std::abort();
}

#define FUZZ_CHECK(condition) ((condition) ? void(0) : ::fuzz::failed(#condition, __FILE__, __LINE__))

// Messages are printed on every refusal; the fuzzer only wants the result.
inline void silenceStreams()
{
    static FILE *const null = std::fopen("/dev/null", "w");
    stdout = null;
    stderr = null;
}

inline QByteArray bytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

// Command-line words, separated by NUL bytes as in a process's argument block.
inline QStringList words(const QByteArray &input)
{
    QStringList result;
    for (const QByteArray &word : input.split('\0'))
        result.append(QString::fromUtf8(word));
    return result;
}

} // namespace fuzz
