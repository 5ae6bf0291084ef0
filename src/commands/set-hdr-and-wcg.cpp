#include "commands/values.h"

namespace {

QStringList values;

int setHdrAndWcg(OutputPtr output, ConfigPtr config)
{
    return applyBoolText(values[0], output, config,
                         {&Dispor::Output::setHdrEnabled, &Dispor::Output::setWcgEnabled});
}

} // namespace

COMMAND_RECORD const Command setHdrAndWcgCommand[] = {
    {"OUTPUT", "set-hdr-and-wcg", "Turn on or turn off both HDR and wide color gamut", nullptr,
     "Color Management", nullptr, runOn<setHdrAndWcg>, "hdrEnabled wcgEnabled"},
};

COMMAND_OPTION_RECORD const CommandOption setHdrAndWcgOptions[] = {
    {"OUTPUT", "set-hdr-and-wcg", nullptr, "BOOL", nullptr, &values, OptionKind::Positional},
};
