#include "commands/layout.h"
#include "commands/unit.h"

namespace {

QStringList values;

int rightOf(OutputPtr output, ConfigPtr config)
{
    return placeNextTo(output, config, values.value(0), Side::RightOf);
}

} // namespace

COMMAND_RECORD const Command rightOfCommand[] = {
    {"OUTPUT", "right-of", "Place this output to the right of another output", nullptr, "Positioning",
     nullptr, runOn<rightOf>, "pos"},
};

COMMAND_OPTION_RECORD const CommandOption rightOfOptions[] = {
    {"OUTPUT", "right-of", nullptr, "OUTPUT", nullptr, &values, OptionKind::Positional},
};
