#include "commands/values.h"

namespace {

QStringList values;

int setBrightness(OutputPtr output, ConfigPtr config)
{
    return applyFraction(values[0], output, config, "Allowed range for brightness is 0% to 100%",
                         &Dispor::Output::setBrightness);
}

} // namespace

COMMAND_RECORD const Command setBrightnessCommand[] = {
    {"OUTPUT", "set-brightness", "Set screen brightness (possible values: 0%-100%)", nullptr, "Brightness",
     nullptr, runOn<setBrightness>, "brightness"},
};

COMMAND_OPTION_RECORD const CommandOption setBrightnessOptions[] = {
    {"OUTPUT", "set-brightness", nullptr, "BRIGHTNESS", nullptr, &values, OptionKind::Positional},
};

COMMAND_EXAMPLE_RECORD const CommandExample setBrightnessExamples[] = {
    {"OUTPUT", "set-brightness", "Change the brightness of the current output to 50%",
     "active-output set-brightness 50%"},
};
