#include "commands/values.h"

namespace {

QStringList values;

int setHdr(OutputPtr output, ConfigPtr config)
{
    return applyBoolText(values[0], output, config, {&Dispor::Output::setHdrEnabled});
}

} // namespace

COMMAND_RECORD const Command setHdrCommand[] = {
    {"OUTPUT", "set-hdr", "Turn on or turn off the HDR mode", nullptr, "Color Management", nullptr,
     runOn<setHdr>, "hdrEnabled"},
};

COMMAND_OPTION_RECORD const CommandOption setHdrOptions[] = {
    {"OUTPUT", "set-hdr", nullptr, "BOOL", nullptr, &values, OptionKind::Positional},
};
