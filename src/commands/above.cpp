#include "commands/layout.h"
#include "core/command.h"
#include "output/frame.h"

namespace {

QStringList aboveArgs;

int aboveAction(OutputPtr output, ConfigPtr config)
{
    return placeNextTo(output, config, aboveArgs.value(0), Side::Above);
}

int above(const QString &spec)
{
    return withOutput(spec, aboveAction);
}

} // namespace

COMMAND_RECORD const Command aboveCommand[] = {
    {"OUTPUT", "above", "Place an output above another output", nullptr, "Positioning", nullptr, above},
};

COMMAND_OPTION_RECORD const CommandOption aboveOptions[] = {
    {"OUTPUT", "above", nullptr, "OUTPUT", nullptr, &aboveArgs, OptionKind::Positional},
};
