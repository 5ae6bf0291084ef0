#include "commands/layout.h"
#include "commands/parsers.h"
#include "commands/unit.h"
#include "core/print.h"

namespace {

QStringList values;

int setEnabled(OutputPtr output, ConfigPtr config)
{
    const std::optional<bool> enabled = parseBool(values.value(0));
    if (!enabled)
        return invalidArgument(values.value(0));
    if (!*enabled && !output->capabilities().testFlag(Dispor::Output::Capability::Disable)) {
        printLineTo(stderr, "Disabling this output is not supported");
        return 1;
    }
    return applyEnabled(output, config, *enabled);
}

} // namespace

COMMAND_RECORD const Command setEnabledCommand[] = {
    {"OUTPUT", "set-enabled", "Enable or disable the output", nullptr, "Basic", nullptr, runOn<setEnabled>,
     "enabled"},
};

COMMAND_OPTION_RECORD const CommandOption setEnabledOptions[] = {
    {"OUTPUT", "set-enabled", nullptr, "BOOL", nullptr, &values, OptionKind::Positional},
};

COMMAND_EXAMPLE_RECORD const CommandExample setEnabledExamples[] = {
    {"OUTPUT", "set-enabled", "Disable the current output", "active-output set-enabled false"},
};
