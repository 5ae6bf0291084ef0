#include "commands/values.h"

namespace {

QStringList values;

int setColorProfileSource(OutputPtr output, ConfigPtr config)
{
    return applyWord(values[0], output, config, words::colorProfileSource,
                     &Dispor::Output::setColorProfileSource);
}

} // namespace

COMMAND_RECORD const Command setColorProfileSourceCommand[] = {
    {"OUTPUT", "set-color-profile-source", "Set color profile source (possible values: EDID, ICC, or sRGB)",
     nullptr, "Color Management", nullptr, runOn<setColorProfileSource>, "colorProfileSource"},
};

COMMAND_OPTION_RECORD const CommandOption setColorProfileSourceOptions[] = {
    {"OUTPUT", "set-color-profile-source", nullptr, "SOURCE", nullptr, &values, OptionKind::Positional},
};
