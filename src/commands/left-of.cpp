#include "commands/layout.h"
#include "core/command.h"
#include "output/frame.h"

namespace {

QStringList leftOfArgs;

int leftOfAction(OutputPtr output, ConfigPtr config)
{
    return placeNextTo(output, config, leftOfArgs.value(0), Side::LeftOf);
}

int leftOf(const QString &spec)
{
    return withOutput(spec, leftOfAction);
}

} // namespace

COMMAND_RECORD const Command leftOfCommand[] = {
    {"OUTPUT", "left-of", "Place this output to the left of another", nullptr, "Positioning", nullptr, leftOf},
};

COMMAND_OPTION_RECORD const CommandOption leftOfOptions[] = {
    {"OUTPUT", "left-of", nullptr, "OUTPUT", nullptr, &leftOfArgs, OptionKind::Positional},
};
