#include "core/command.h"
#include "core/print.h"
#include "output/frame.h"

#include <iostream>

namespace {

int listCustomModes(const QString &spec)
{
    const OutputPtr output = fetchOutput(spec);
    if (!output)
        return 1;
    const QList<Dispor::ModeInfo> modes = output->customModes();
    for (qsizetype i = 0; i < modes.size(); ++i) {
        const Dispor::ModeInfo &mode = modes[i];
        const bool reducedBlanking = mode.flags & Dispor::ModeInfo::ReducedBlanking;
        printTo(std::cerr, "{}: {}x{}@{:.2f}Hz{}\n", i, mode.width, mode.height, double(mode.refreshRate),
                reducedBlanking ? " +reduced-blanking" : "");
    }
    return 0;
}

} // namespace

COMMAND_RECORD const Command listCustomModesCommand[] = {
    {"OUTPUT", "list-custom-modes", "List custom output modes", nullptr, "Modes", nullptr, listCustomModes},
};

COMMAND_EXAMPLE_RECORD const CommandExample listCustomModesExamples[] = {
    {"OUTPUT", "list-custom-modes", "List custom modes", "active-output list-custom-modes"},
};
