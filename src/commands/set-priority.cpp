#include "commands/parsers.h"
#include "commands/unit.h"
#include "core/print.h"

namespace {

QStringList values;

int setPriority(OutputPtr output, ConfigPtr config)
{
    const std::optional<int> priority = parseInteger(values.value(0));
    if (!priority)
        return invalidArgument(values.value(0));
    // One unsigned comparison: 0 and negatives wrap far above 100.
    if (static_cast<uint32_t>(*priority) - 1u >= 100u) {
        printLineTo(stderr, "Allowed range for priority is 1 to 100");
        return 1;
    }
    config->setOutputPriority(output, static_cast<uint32_t>(*priority));
    return applyConfig(config);
}

} // namespace

COMMAND_RECORD const Command setPriorityCommand[] = {
    {"OUTPUT", "set-priority", "Set the output priority (possible values: 1-100)", nullptr, "Basic", nullptr,
     runOn<setPriority>, "priority"},
};

COMMAND_OPTION_RECORD const CommandOption setPriorityOptions[] = {
    {"OUTPUT", "set-priority", nullptr, "PRIORITY", nullptr, &values, OptionKind::Positional},
};
