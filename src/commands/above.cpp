#include "commands/layout.h"
#include "commands/unit.h"

namespace {

QStringList values;

int above(OutputPtr output, ConfigPtr config)
{
    return placeNextTo(output, config, values.value(0), Side::Above);
}

} // namespace

COMMAND_RECORD const Command aboveCommand[] = {
    {"OUTPUT", "above", "Place an output above another output", nullptr, "Positioning", nullptr, runOn<above>,
     "pos"},
};

COMMAND_OPTION_RECORD const CommandOption aboveOptions[] = {
    {"OUTPUT", "above", nullptr, "OUTPUT", nullptr, &values, OptionKind::Positional},
};
