#include "core/command.h"
#include "core/print.h"
#include "output/compositor.h"
#include "output/desktop.h"

namespace {

int identify()
{
    const BusReply reply = showOutputLocator();
    if (reply.ok)
        return 0;
    // Without the service, on a real display server the tool shows the
    // labels itself where it can.
    if (reply.absent && currentDesktop() != Desktop::Simulated) {
        QString why;
        if (identifyWithoutBus(&why) == 0)
            return 0;
        printLineTo(stderr, "org.lumo.Vantor.Effect.OutputLocator1.show failed: {}; {}", reply.error, why);
        return 1;
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
