#pragma once

#include "../backend.h"
#include "../store.h"

#include "dispor/mode.h"

#include <QMap>

namespace Dispor::Wayland {

// The custom modes of each output by its name, in list order. The
// compositor keeps no such list, so the library keeps it for the session.
using CustomModeLists = QMap<QString, QList<ModeInfo>>;

// {"NAME": [{"width": W, "height": H, "refreshRate": R, "flags": F}, …], …}
QByteArray customModesDocument(const CustomModeLists &lists);
bool parseCustomModes(const QByteArray &bytes, CustomModeLists *lists, QString *fault);

// $XDG_RUNTIME_DIR/dispor/wayland-SOCKET-custom-modes.json, else the same
// name in /tmp/dispor-UID; the socket name percent-encoded.
Location customModesLocation(const QString &socket);

// The lists of one compositor, in a directory only the user can write to.
class CustomModeFile {
public:
    explicit CustomModeFile(const QString &socket)
        : m_location(customModesLocation(socket)), m_store(m_location)
    {}

    // Every list; none without a file.
    bool read(CustomModeLists *lists, QString *reason);
    // Takes the lock and, for each output in wanted, checks that its list is
    // still the one in fetched: else a conflict. The lock holds until the
    // file is destroyed, so that the compositor can be changed in between.
    Applied begin(const CustomModeLists &fetched, const CustomModeLists &wanted, QString *reason);
    // Writes the lists begin() was given, atomically.
    bool commit(QString *reason);

private:
    Location m_location;
    Store m_store;
    CustomModeLists m_lists;
};

} // namespace Dispor::Wayland
