#include "commands/values.h"

namespace {

QStringList values;

int setMaxAverageBrightnessOverride(OutputPtr output, ConfigPtr config)
{
    return applyOverride(values[0], output, config,
                         "Allowed range for max-average-brightness-override is 0 to 10000",
                         &Dispor::Output::setMaxAverageBrightnessOverride);
}

} // namespace

COMMAND_RECORD const Command setMaxAverageBrightnessOverrideCommand[] = {
    {"OUTPUT", "set-max-average-brightness-override",
     "Override the max average brightness (possible values: none or 0-10000)", nullptr, "Color Management",
     nullptr, runOn<setMaxAverageBrightnessOverride>, "maxAverageBrightnessOverride"},
};

COMMAND_OPTION_RECORD const CommandOption setMaxAverageBrightnessOverrideOptions[] = {
    {"OUTPUT", "set-max-average-brightness-override", nullptr, "BRIGHTNESS", nullptr, &values,
     OptionKind::Positional},
};
