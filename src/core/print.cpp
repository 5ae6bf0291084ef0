#include "core/print.h"

#include <cerrno>
#include <cstdlib>
#include <iterator>
#include <unistd.h>

std::string_view styled(std::string_view sequence)
{
    // NO_COLOR set and not empty; read once.
    static const bool plain = [] {
        const char *value = std::getenv("NO_COLOR");
        return value && *value;
    }();
    return plain ? std::string_view() : sequence;
}

namespace {

// A direct write to a terminal that failed: the C stream never saw it.
bool directWriteFailed[STDERR_FILENO + 1];

} // namespace

void writeTo(FILE *file, std::string_view text)
{
    const int fd = ::fileno(file);
    if ((fd != STDOUT_FILENO && fd != STDERR_FILENO) || !::isatty(fd)) {
        std::fwrite(text.data(), 1, text.size(), file);
        return;
    }
    std::fflush(file);
    while (!text.empty()) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            directWriteFailed[fd] = true;
            return;
        }
        text.remove_prefix(static_cast<size_t>(written));
    }
}

void printFormatted(PrintSink sink, void *target, fmt::string_view format, fmt::format_args args,
                    bool newline)
{
    fmt::memory_buffer buffer;
    fmt::vformat_to(fmt::appender(buffer), format, args);
    if (newline)
        buffer.push_back('\n');
    sink(target, std::string_view(buffer.data(), buffer.size()));
}

bool writeFailed(FILE *file)
{
    const int fd = ::fileno(file);
    return std::ferror(file) || ((fd == STDOUT_FILENO || fd == STDERR_FILENO) && directWriteFailed[fd]);
}

std::string_view escapedUtf8(std::string_view text, std::string &storage)
{
    // C1 controls are U+0080..U+009F, in UTF-8 0xC2 then 0x80..0x9F.
    const auto controlAt = [&text](size_t i) -> int {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7f)
            return c;
        if (c == 0xc2 && i + 1 < text.size()) {
            const auto next = static_cast<unsigned char>(text[i + 1]);
            if (next >= 0x80 && next <= 0x9f)
                return next;
        }
        return -1;
    };
    size_t i = 0;
    while (i < text.size() && controlAt(i) < 0)
        ++i;
    if (i == text.size())
        return text;
    storage.assign(text.substr(0, i));
    while (i < text.size()) {
        const int control = controlAt(i);
        if (control < 0) {
            storage += text[i++];
            continue;
        }
        fmt::format_to(std::back_inserter(storage), "\\u{:04x}", control);
        i += control >= 0x80 ? 2 : 1;
    }
    return storage;
}
