#include "commands/values.h"

namespace {

QStringList values;

int setSharpness(OutputPtr output, ConfigPtr config)
{
    return applyHundredths(values[0], output, config, {0, 100, "Allowed range for sharpness is 0 to 100"},
                           &Dispor::Output::setSharpness);
}

} // namespace

COMMAND_RECORD const Command setSharpnessCommand[] = {
    {"OUTPUT", "set-sharpness", "Set the sharpness (possible values: 0-100)", nullptr, "Misc", nullptr,
     runOn<setSharpness>, "sharpness"},
};

COMMAND_OPTION_RECORD const CommandOption setSharpnessOptions[] = {
    {"OUTPUT", "set-sharpness", nullptr, "SHARPNESS", nullptr, &values, OptionKind::Positional},
};
