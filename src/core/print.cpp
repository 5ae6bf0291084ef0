#include "core/print.h"

#include <cerrno>
#include <iostream>
#include <unistd.h>

static int terminalFd(const std::ostream &stream)
{
    int fd = -1;
    if (&stream == &std::cout)
        fd = STDOUT_FILENO;
    else if (&stream == &std::cerr)
        fd = STDERR_FILENO;
    return fd >= 0 && ::isatty(fd) ? fd : -1;
}

void writeTo(std::ostream &stream, std::string_view text)
{
    const int fd = terminalFd(stream);
    if (fd < 0) {
        stream.write(text.data(), static_cast<std::streamsize>(text.size()));
        return;
    }
    stream.flush();
    while (!text.empty()) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            stream.setstate(std::ios::badbit);
            return;
        }
        text.remove_prefix(static_cast<size_t>(written));
    }
}

QString escaped(const QString &text)
{
    QString result;
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            result += QStringLiteral("\\u%1").arg(uint(c.unicode()), 4, 16, QChar(u'0'));
        else
            result += c;
    }
    return result;
}
