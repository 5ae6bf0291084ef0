#include "commands/values.h"

namespace {

QStringList values;

int setAutoBrightness(OutputPtr output, ConfigPtr config)
{
    return applyBoolText(values[0], output, config, {&Dispor::Output::setAutomaticBrightness});
}

} // namespace

COMMAND_RECORD const Command setAutoBrightnessCommand[] = {
    {"OUTPUT", "set-auto-brightness", "Turn on or turn off automatic brightness adjustment", nullptr,
     "Brightness", nullptr, runOn<setAutoBrightness>, "automaticBrightness"},
};

COMMAND_OPTION_RECORD const CommandOption setAutoBrightnessOptions[] = {
    {"OUTPUT", "set-auto-brightness", nullptr, "BOOL", nullptr, &values, OptionKind::Positional},
};
