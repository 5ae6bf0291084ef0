#include "core/command.h"
#include "core/library_messages.h"
#include "core/print.h"
#include "output/compositor.h"
#include <dispor/desktop.h>
#include <dispor/operations.h>

namespace {

// How long the desktop's own labels show.
constexpr int labelSeconds = 5;

int identify()
{
    const BusReply reply = showOutputLocator();
    if (reply.ok)
        return 0;
    // Without the service, the desktop that serves the outputs shows the
    // labels in its own way where it can.
    if (reply.absent) {
        // Asked quietly: a fetch that fails is said after the bus's error.
        Dispor::GetConfigOperation fetch;
        setLibraryWarningsShown(false);
        const bool fetched = fetch.exec();
        setLibraryWarningsShown(true);
        if (!fetched) {
            printLineTo(stderr, "org.lumo.Vantor.Effect.OutputLocator1.show failed: {}; {}", reply.error,
                        fetch.errorString());
            return 1;
        }
        const Dispor::Desktop desktop(fetch.config());
        if (!desktop.isSimulated()) {
            QString why;
            if (desktop.showLabels(labelSeconds, &why))
                return 0;
            printLineTo(stderr, "org.lumo.Vantor.Effect.OutputLocator1.show failed: {}; {}", reply.error,
                        why);
            return 1;
        }
    }
    printLineTo(stderr, "org.lumo.Vantor.Effect.OutputLocator1.show failed: {}", reply.error);
    return 1;
}

} // namespace

COMMAND_RECORD const Command identifyCommand[] = {
    {nullptr, "identify", "Identify available outputs",
     "This command will show a popup on every screen with detailed output information. It can be used to "
     "determine the connector names to be used with other commands.",
     nullptr, identify, nullptr, "locator"},
};
