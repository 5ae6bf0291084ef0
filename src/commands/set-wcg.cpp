#include "commands/values.h"

namespace {

QStringList values;

int setWcg(OutputPtr output, ConfigPtr config)
{
    return applyBoolText(values[0], output, config, {&Dispor::Output::setWcgEnabled});
}

} // namespace

COMMAND_RECORD const Command setWcgCommand[] = {
    {"OUTPUT", "set-wcg", "Turn on or turn off wide color gamut", nullptr, "Color Management", nullptr,
     runOn<setWcg>, "wcgEnabled"},
};

COMMAND_OPTION_RECORD const CommandOption setWcgOptions[] = {
    {"OUTPUT", "set-wcg", nullptr, "BOOL", nullptr, &values, OptionKind::Positional},
};
