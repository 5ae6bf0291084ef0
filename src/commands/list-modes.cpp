#include "commands/modes.h"
#include "core/command.h"
#include "core/print.h"
#include "output/frame.h"

#include <iostream>

namespace {

int listModes(const QString &spec)
{
    const OutputPtr output = fetchOutput(spec);
    if (!output)
        return 1;
    for (const Dispor::ModePtr &mode : output->modes())
        printLineTo(std::cout, "{}", formatModeLine(*output, mode));
    return 0;
}

} // namespace

COMMAND_RECORD const Command listModesCommand[] = {
    {"OUTPUT", "list-modes", "List available output modes", nullptr, "Modes", nullptr, listModes},
};
