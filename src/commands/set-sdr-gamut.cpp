#include "commands/values.h"

namespace {

QStringList values;

int setSdrGamut(OutputPtr output, ConfigPtr config)
{
    return applyHundredths(values[0], output, config, {0, 100, "Allowed range for sdr-gamut is 0 to 100"},
                           &Dispor::Output::setSdrGamutWideness);
}

} // namespace

COMMAND_RECORD const Command setSdrGamutCommand[] = {
    {"OUTPUT", "set-sdr-gamut", "Set the SDR gamut wideness (possible values: 0-100)", nullptr,
     "Color Management", nullptr, runOn<setSdrGamut>, "sdrGamutWideness"},
};

COMMAND_OPTION_RECORD const CommandOption setSdrGamutOptions[] = {
    {"OUTPUT", "set-sdr-gamut", nullptr, "WIDENESS", nullptr, &values, OptionKind::Positional},
};
