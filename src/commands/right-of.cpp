#include "commands/layout.h"
#include "core/command.h"
#include "output/frame.h"

namespace {

QStringList rightOfArgs;

int rightOfAction(OutputPtr output, ConfigPtr config)
{
    return placeNextTo(output, config, rightOfArgs.value(0), Side::RightOf);
}

int rightOf(const QString &spec)
{
    return withOutput(spec, rightOfAction);
}

} // namespace

COMMAND_RECORD const Command rightOfCommand[] = {
    {"OUTPUT", "right-of", "Place this output to the right of another output", nullptr, "Positioning", nullptr, rightOf},
};

COMMAND_OPTION_RECORD const CommandOption rightOfOptions[] = {
    {"OUTPUT", "right-of", nullptr, "OUTPUT", nullptr, &rightOfArgs, OptionKind::Positional},
};
