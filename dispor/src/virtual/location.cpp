#include "location.h"

#include "../text.h"

#include <unistd.h>

namespace Dispor::Virtual {

bool locate(Location *location, QString *reason)
{
    QByteArray path = qgetenv("DISPOR_VIRTUAL_STATE");
    location->shared = false;
    if (path.isEmpty()) {
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        // Either place may sit in a directory others share (/tmp, a sticky
        // runtime directory): its own name is never followed as a link.
        location->shared = true;
        const QByteArray directory =
            runtime.isEmpty() ? "/tmp/dispor-" + QByteArray::number(::geteuid()) : runtime + "/dispor";
        path = directory + "/virtual-display.json";
        if (!runtime.isEmpty())
            location->refusal = runtimeDirectoryRefusal(runtime);
    }
    const qsizetype slash = path.lastIndexOf('/');
    location->path = path;
    location->directory = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
    location->fileName = path.mid(slash + 1);
    if (location->fileName.isEmpty() || location->fileName == "." || location->fileName == "..") {
        *reason = shownPath(path) + ": names a directory, not a document";
        return false;
    }
    return true;
}

} // namespace Dispor::Virtual
