#include "commands/layout.h"
#include "commands/unit.h"

namespace {

QStringList values;

int below(OutputPtr output, ConfigPtr config)
{
    return placeNextTo(output, config, values.value(0), Side::Below);
}

} // namespace

COMMAND_RECORD const Command belowCommand[] = {
    {"OUTPUT", "below", "Place an output below another output", nullptr, "Positioning", nullptr, runOn<below>,
     "pos"},
};

COMMAND_OPTION_RECORD const CommandOption belowOptions[] = {
    {"OUTPUT", "below", nullptr, "OUTPUT", nullptr, &values, OptionKind::Positional},
};
