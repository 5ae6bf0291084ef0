#include "commands/values.h"

namespace {

QStringList values;

int setOverscan(OutputPtr output, ConfigPtr config)
{
    return applyCount(values[0], output, config, {0, 100, "Allowed range for overscan is 0 to 100"},
                      &Dispor::Output::setOverscan);
}

} // namespace

COMMAND_RECORD const Command setOverscanCommand[] = {
    {"OUTPUT", "set-overscan", "Set the overscan (possible values: 0-100)", nullptr, "Misc", nullptr,
     runOn<setOverscan>, "overscan"},
};

COMMAND_OPTION_RECORD const CommandOption setOverscanOptions[] = {
    {"OUTPUT", "set-overscan", nullptr, "OVERSCAN", nullptr, &values, OptionKind::Positional},
};
