#include "commands/values.h"

namespace {

QStringList values;

int setDdcCiAllowed(OutputPtr output, ConfigPtr config)
{
    return applyBoolText(values[0], output, config, {&Dispor::Output::setDdcCiAllowed});
}

} // namespace

COMMAND_RECORD const Command setDdcCiAllowedCommand[] = {
    {"OUTPUT", "set-ddc-ci-allowed", "Allow or disallow DDCI CI to be used to control the output", nullptr,
     "Misc", nullptr, runOn<setDdcCiAllowed>, "ddcCiAllowed"},
};

COMMAND_OPTION_RECORD const CommandOption setDdcCiAllowedOptions[] = {
    {"OUTPUT", "set-ddc-ci-allowed", nullptr, "BOOL", nullptr, &values, OptionKind::Positional},
};
