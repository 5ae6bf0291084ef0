#include "commands/values.h"

namespace {

QStringList values;

int setHdrIccProfile(OutputPtr output, ConfigPtr config)
{
    return applyValue(output, config, &Dispor::Output::setHdrIccProfilePath, values[0]);
}

} // namespace

COMMAND_RECORD const Command setHdrIccProfileCommand[] = {
    {"OUTPUT", "set-hdr-icc-profile", "Set the ICC profile path for the HDR mode", nullptr,
     "Color Management", nullptr, runOn<setHdrIccProfile>, "hdrIccProfilePath"},
};

COMMAND_OPTION_RECORD const CommandOption setHdrIccProfileOptions[] = {
    {"OUTPUT", "set-hdr-icc-profile", nullptr, "PATH", nullptr, &values, OptionKind::Positional},
};
