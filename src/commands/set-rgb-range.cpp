#include "commands/values.h"

namespace {

QStringList values;

int setRgbRange(OutputPtr output, ConfigPtr config)
{
    return applyWord(values[0], output, config, words::rgbRange, &Dispor::Output::setRgbRange);
}

} // namespace

COMMAND_RECORD const Command setRgbRangeCommand[] = {
    {"OUTPUT", "set-rgb-range", "Set the RGB range (possible values: full, limited, or automatic)", nullptr,
     "Color Management", nullptr, runOn<setRgbRange>, "rgbRange"},
};

COMMAND_OPTION_RECORD const CommandOption setRgbRangeOptions[] = {
    {"OUTPUT", "set-rgb-range", nullptr, "RANGE", nullptr, &values, OptionKind::Positional},
};
