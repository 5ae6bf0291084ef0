#include "commands/values.h"

namespace {

QStringList values;

int setMinBrightnessOverride(OutputPtr output, ConfigPtr config)
{
    return applyOverride(values[0], output, config, "Allowed range for min-brightness-override is 0 to 10000",
                         &Dispor::Output::setMinBrightnessOverride);
}

} // namespace

COMMAND_RECORD const Command setMinBrightnessOverrideCommand[] = {
    {"OUTPUT", "set-min-brightness-override",
     "Override the minimum brightness (possible values: none or 0-10000)", nullptr, "Color Management",
     nullptr, runOn<setMinBrightnessOverride>, "minBrightnessOverride"},
};

COMMAND_OPTION_RECORD const CommandOption setMinBrightnessOverrideOptions[] = {
    {"OUTPUT", "set-min-brightness-override", nullptr, "BRIGHTNESS", nullptr, &values,
     OptionKind::Positional},
};
