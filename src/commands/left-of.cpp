#include "commands/layout.h"
#include "commands/unit.h"

namespace {

QStringList values;

int leftOf(OutputPtr output, ConfigPtr config)
{
    return placeNextTo(output, config, values.value(0), Side::LeftOf);
}

} // namespace

COMMAND_RECORD const Command leftOfCommand[] = {
    {"OUTPUT", "left-of", "Place this output to the left of another", nullptr, "Positioning", nullptr,
     runOn<leftOf>, "pos"},
};

COMMAND_OPTION_RECORD const CommandOption leftOfOptions[] = {
    {"OUTPUT", "left-of", nullptr, "OUTPUT", nullptr, &values, OptionKind::Positional},
};
