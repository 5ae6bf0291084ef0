#include "commands/values.h"

namespace {

QStringList values;

int setEdrPolicy(OutputPtr output, ConfigPtr config)
{
    return applyWord(values[0], output, config, words::edrPolicy, &Dispor::Output::setEdrPolicy);
}

} // namespace

COMMAND_RECORD const Command setEdrPolicyCommand[] = {
    {"OUTPUT", "set-edr-policy", "Set the extended dynamic range policy (possible values: never or always)",
     nullptr, "Color Management", nullptr, runOn<setEdrPolicy>, "edrPolicy"},
};

COMMAND_OPTION_RECORD const CommandOption setEdrPolicyOptions[] = {
    {"OUTPUT", "set-edr-policy", nullptr, "POLICY", nullptr, &values, OptionKind::Positional},
};
