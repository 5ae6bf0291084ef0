#include "commands/values.h"

namespace {

QStringList values;

int setColorPowerTradeoff(OutputPtr output, ConfigPtr config)
{
    return applyWord(values[0], output, config, words::colorPowerTradeoff,
                     &Dispor::Output::setColorPowerPreference);
}

} // namespace

COMMAND_RECORD const Command setColorPowerTradeoffCommand[] = {
    {"OUTPUT", "set-color-power-tradeoff", "Set color power tradeoff (prefer-accuracy or prefer-efficiency)",
     nullptr, "Color Management", nullptr, runOn<setColorPowerTradeoff>, "colorPowerPreference"},
};

COMMAND_OPTION_RECORD const CommandOption setColorPowerTradeoffOptions[] = {
    {"OUTPUT", "set-color-power-tradeoff", nullptr, "TRADEOFF", nullptr, &values, OptionKind::Positional},
};
