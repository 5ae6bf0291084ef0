#include "commands/unit.h"
#include "core/print.h"

namespace {

int listCustomModes(OutputPtr output, ConfigPtr)
{
    const QList<Dispor::ModeInfo> modes = output->customModes();
    for (qsizetype i = 0; i < modes.size(); ++i) {
        const Dispor::ModeInfo &mode = modes[i];
        const bool reducedBlanking = mode.flags & Dispor::ModeInfo::ReducedBlanking;
        printTo(stderr, "{}: {}x{}@{:.2f}Hz{}\n", i, mode.width, mode.height, double(mode.refreshRate),
                reducedBlanking ? " +reduced-blanking" : "");
    }
    return 0;
}

} // namespace

COMMAND_RECORD const Command listCustomModesCommand[] = {
    {"OUTPUT", "list-custom-modes", "List custom output modes", nullptr, "Modes", nullptr,
     runOn<listCustomModes>, "customModes"},
};

COMMAND_EXAMPLE_RECORD const CommandExample listCustomModesExamples[] = {
    {"OUTPUT", "list-custom-modes", "List custom modes", "active-output list-custom-modes"},
};
