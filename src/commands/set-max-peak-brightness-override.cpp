#include "commands/values.h"

namespace {

QStringList values;

int setMaxPeakBrightnessOverride(OutputPtr output, ConfigPtr config)
{
    return applyOverride(values[0], output, config,
                         "Allowed range for max-peak-brightness-override is 0 to 10000",
                         &Dispor::Output::setMaxPeakBrightnessOverride);
}

} // namespace

COMMAND_RECORD const Command setMaxPeakBrightnessOverrideCommand[] = {
    {"OUTPUT", "set-max-peak-brightness-override",
     "Override the max peak brightness (possible values: none or 0-10000)", nullptr, "Color Management",
     nullptr, runOn<setMaxPeakBrightnessOverride>, "maxPeakBrightnessOverride"},
};

COMMAND_OPTION_RECORD const CommandOption setMaxPeakBrightnessOverrideOptions[] = {
    {"OUTPUT", "set-max-peak-brightness-override", nullptr, "BRIGHTNESS", nullptr, &values,
     OptionKind::Positional},
};
