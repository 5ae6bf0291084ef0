#include "commands/layout.h"
#include "core/command.h"
#include "output/frame.h"

namespace {

QStringList belowArgs;

int belowAction(OutputPtr output, ConfigPtr config)
{
    return placeNextTo(output, config, belowArgs.value(0), Side::Below);
}

int below(const QString &spec)
{
    return withOutput(spec, belowAction);
}

} // namespace

COMMAND_RECORD const Command belowCommand[] = {
    {"OUTPUT", "below", "Place an output below another output", nullptr, "Positioning", nullptr, below},
};

COMMAND_OPTION_RECORD const CommandOption belowOptions[] = {
    {"OUTPUT", "below", nullptr, "OUTPUT", nullptr, &belowArgs, OptionKind::Positional},
};
