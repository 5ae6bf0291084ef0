#include "core/command.h"
#include "core/print.h"
#include "output/compositor.h"


namespace {

int identify()
{
    const BusReply reply = showOutputLocator();
    if (!reply.ok) {
        printLineTo(stderr, "org.lumo.Vantor.Effect.OutputLocator1.show failed: {}", reply.error);
        return 1;
    }
    return 0;
}

} // namespace

COMMAND_RECORD const Command identifyCommand[] = {
    {nullptr, "identify", "Identify available outputs",
     "This command will show a popup on every screen with detailed output information. It can be used to "
     "determine the connector names to be used with other commands.",
     nullptr, identify, nullptr, "locator"},
};
