#include "commands/values.h"

namespace {

QStringList values;

int setAbm(OutputPtr output, ConfigPtr config)
{
    return applyCount(values[0], output, config, {0, 4, "Allowed values for abm level are 0, 1, 2, 3, 4"},
                      &Dispor::Output::setAbmLevel);
}

} // namespace

COMMAND_RECORD const Command setAbmCommand[] = {
    {"OUTPUT", "set-abm", "Change the adaptive backlight management level (possible values: 0-4)", nullptr,
     "Misc", nullptr, runOn<setAbm>, "abmLevel"},
};

COMMAND_OPTION_RECORD const CommandOption setAbmOptions[] = {
    {"OUTPUT", "set-abm", nullptr, "LEVEL", nullptr, &values, OptionKind::Positional},
};
