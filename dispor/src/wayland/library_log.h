#pragma once

// libwayland-client's own lines. By default it writes them to standard error
// as they are, and some carry text from outside: a compositor's protocol
// error with the compositor's own message. Here they are kept, escaped, for
// the failure they explain.

#include <QString>
#include <QStringList>

namespace Dispor::Wayland {

// While one lives on a thread, what libwayland writes on that thread is
// kept in it; what is left when it goes passes to the one around it, or is
// warned through the library's logging category. Lines written where none
// lives still go to standard error, escaped: they belong to whatever else in
// the program uses libwayland.
class LibraryLog {
public:
    LibraryLog();
    ~LibraryLog();
    LibraryLog(const LibraryLog &) = delete;
    LibraryLog &operator=(const LibraryLog &) = delete;

    // The lines kept on this thread so far, as " (libwayland: …)" to follow
    // a reason, and forgotten; empty where there are none.
    static QString take();

private:
    QStringList *m_outer;
    QStringList m_lines;
};

} // namespace Dispor::Wayland
