#include "commands/parsers.h"
#include "commands/unit.h"
#include "core/print.h"

namespace {

QStringList values;

int removeCustomMode(OutputPtr output, ConfigPtr config)
{
    const QString text = values.value(0);
    const std::optional<int> index = parseInteger(text);
    if (!index) {
        printLineTo(stderr, "Invalid mode index: {}", text);
        return 1;
    }
    QList<Dispor::ModeInfo> modes = output->customModes();
    if (*index < 0 || *index >= modes.size()) {
        printLineTo(stderr, "Invalid mode index: {}", *index);
        return 1;
    }
    modes.removeAt(*index);
    output->setCustomModes(modes);
    return applyConfig(config);
}

} // namespace

COMMAND_RECORD const Command removeCustomModeCommand[] = {
    {"OUTPUT", "remove-custom-mode",
     "Remove a custom mode. MODE is the index of the mode in list-custom-modes", nullptr, "Modes", nullptr,
     runOn<removeCustomMode>, "customModes"},
};

COMMAND_OPTION_RECORD const CommandOption removeCustomModeOptions[] = {
    {"OUTPUT", "remove-custom-mode", nullptr, "MODE", nullptr, &values, OptionKind::Positional},
};

COMMAND_EXAMPLE_RECORD const CommandExample removeCustomModeExamples[] = {
    {"OUTPUT", "remove-custom-mode",
     "Remove the first custom mode. Note that the command takes the index of the custom mode in "
     "`list-custom-modes`",
     "active-output remove-custom-mode 0"},
};
