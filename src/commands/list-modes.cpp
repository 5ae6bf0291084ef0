#include "commands/modes.h"
#include "commands/unit.h"
#include "core/print.h"

namespace {

int listModes(OutputPtr output, ConfigPtr)
{
    for (const Dispor::ModePtr &mode : output->modes())
        printLineTo(stdout, "{}", formatModeLine(*output, mode));
    return 0;
}

} // namespace

COMMAND_RECORD const Command listModesCommand[] = {
    {"OUTPUT", "list-modes", "List available output modes", nullptr, "Modes", nullptr, runOn<listModes>},
};
