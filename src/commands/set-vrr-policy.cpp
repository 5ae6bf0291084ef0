#include "commands/values.h"

namespace {

QStringList values;

int setVrrPolicy(OutputPtr output, ConfigPtr config)
{
    return applyWord(values[0], output, config, words::vrrPolicy, &Dispor::Output::setVrrPolicy);
}

} // namespace

COMMAND_RECORD const Command setVrrPolicyCommand[] = {
    {"OUTPUT", "set-vrr-policy", "Set the VRR policy (possible values: never, always, and automatic)",
     nullptr, "Misc", nullptr, runOn<setVrrPolicy>, "vrrPolicy"},
};

COMMAND_OPTION_RECORD const CommandOption setVrrPolicyOptions[] = {
    {"OUTPUT", "set-vrr-policy", nullptr, "POLICY", nullptr, &values, OptionKind::Positional},
};
