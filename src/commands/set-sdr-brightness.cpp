#include "commands/values.h"

namespace {

QStringList values;

int setSdrBrightness(OutputPtr output, ConfigPtr config)
{
    return applyCount(values[0], output, config,
                      {50, 10000, "Allowed range for sdr-brightness is 50 to 10000"},
                      &Dispor::Output::setSdrBrightness);
}

} // namespace

COMMAND_RECORD const Command setSdrBrightnessCommand[] = {
    {"OUTPUT", "set-sdr-brightness",
     "Set the SDR content brightness in the HDR mode (possible values: 0-10000)", nullptr, "Color Management",
     nullptr, runOn<setSdrBrightness>, "sdrBrightness"},
};

COMMAND_OPTION_RECORD const CommandOption setSdrBrightnessOptions[] = {
    {"OUTPUT", "set-sdr-brightness", nullptr, "BRIGHTNESS", nullptr, &values, OptionKind::Positional},
};
