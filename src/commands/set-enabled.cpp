#include "commands/parsers.h"
#include "core/command.h"
#include "core/print.h"
#include "output/frame.h"

#include <iostream>

namespace {

QStringList setEnabledArgs;

int setEnabledAction(OutputPtr output, ConfigPtr config)
{
    const std::optional<bool> enabled = parseBool(setEnabledArgs.value(0));
    if (!enabled)
        return invalidArgument(setEnabledArgs.value(0));
    if (!*enabled && !output->capabilities().testFlag(Dispor::Output::Capability::Disable)) {
        printLineTo(std::cerr, "Disabling this output is not supported");
        return 1;
    }
    output->setEnabled(*enabled);
    return applyConfig(config);
}

int setEnabled(const QString &spec)
{
    return withOutput(spec, setEnabledAction);
}

} // namespace

COMMAND_RECORD const Command setEnabledCommand[] = {
    {"OUTPUT", "set-enabled", "Enable or disable the output", nullptr, "Basic", nullptr, setEnabled},
};

COMMAND_OPTION_RECORD const CommandOption setEnabledOptions[] = {
    {"OUTPUT", "set-enabled", nullptr, "BOOL", nullptr, &setEnabledArgs, OptionKind::Positional},
};

COMMAND_EXAMPLE_RECORD const CommandExample setEnabledExamples[] = {
    {"OUTPUT", "set-enabled", "Disable the current output", "active-output set-enabled false"},
};
