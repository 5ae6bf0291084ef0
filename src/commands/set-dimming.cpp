#include "commands/values.h"

namespace {

QStringList values;

int setDimming(OutputPtr output, ConfigPtr config)
{
    return applyFraction(values[0], output, config, "Allowed range for dimming is 0% to 100%",
                         &Dispor::Output::setDimming);
}

} // namespace

COMMAND_RECORD const Command setDimmingCommand[] = {
    {"OUTPUT", "set-dimming", "Set the dimming level (possible values: 0%-100%)", nullptr, "Brightness",
     nullptr, runOn<setDimming>, "dimming"},
};

COMMAND_OPTION_RECORD const CommandOption setDimmingOptions[] = {
    {"OUTPUT", "set-dimming", nullptr, "DIMMING", nullptr, &values, OptionKind::Positional},
};
