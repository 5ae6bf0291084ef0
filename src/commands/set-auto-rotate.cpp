#include "commands/values.h"

namespace {

QStringList values;

int setAutoRotate(OutputPtr output, ConfigPtr config)
{
    return applyWord(values[0], output, config, words::autoRotatePolicy,
                     &Dispor::Output::setAutoRotatePolicy);
}

} // namespace

COMMAND_RECORD const Command setAutoRotateCommand[] = {
    {"OUTPUT", "set-auto-rotate", "Turn on or turn off auto rotation", nullptr, "Misc", nullptr,
     runOn<setAutoRotate>, "autoRotatePolicy"},
};

COMMAND_OPTION_RECORD const CommandOption setAutoRotateOptions[] = {
    {"OUTPUT", "set-auto-rotate", nullptr, "POLICY", nullptr, &values, OptionKind::Positional},
};
