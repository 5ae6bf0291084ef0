#include "commands/values.h"

namespace {

QStringList values;

int setIccProfile(OutputPtr output, ConfigPtr config)
{
    // Handed on as typed: the service judges the file.
    return applyValue(output, config, &Dispor::Output::setIccProfilePath, values[0]);
}

} // namespace

COMMAND_RECORD const Command setIccProfileCommand[] = {
    {"OUTPUT", "set-icc-profile", "Set the ICC profile path", nullptr, "Color Management", nullptr,
     runOn<setIccProfile>, "iccProfilePath"},
};

COMMAND_OPTION_RECORD const CommandOption setIccProfileOptions[] = {
    {"OUTPUT", "set-icc-profile", nullptr, "PATH", nullptr, &values, OptionKind::Positional},
};

COMMAND_EXAMPLE_RECORD const CommandExample setIccProfileExamples[] = {
    {"OUTPUT", "set-icc-profile",
     "Assign an ICC profile to the current output. The profile will only be used in the SDR mode. For HDR, "
     "you want to use the `set-hdr-icc-profile` command",
     "active-output set-icc-profile ~/path/to/profile.icc"},
};
