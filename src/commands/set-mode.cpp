#include "commands/layout.h"
#include "commands/modes.h"
#include "commands/unit.h"
#include "core/print.h"

namespace {

QStringList values;

int setMode(OutputPtr output, ConfigPtr config)
{
    const QString text = values.value(0);
    const Dispor::ModePtr mode = findMode(*output, text);
    if (!mode) {
        printLineTo(stderr, "Unknown mode: {}", text);
        return 1;
    }
    const QSize oldSize = output->explicitLogicalSizeInt();
    output->setCurrentModeId(mode->id());
    output->setSize(mode->size());
    return finishResize(output, oldSize, config);
}

} // namespace

COMMAND_RECORD const Command setModeCommand[] = {
    {"OUTPUT", "set-mode", "Set the current mode", nullptr, "Modes", nullptr, runOn<setMode>,
     "currentModeId"},
};

COMMAND_OPTION_RECORD const CommandOption setModeOptions[] = {
    {"OUTPUT", "set-mode", nullptr, "MODE", nullptr, &values, OptionKind::Positional},
};

COMMAND_EXAMPLE_RECORD const CommandExample setModeExamples[] = {
    {"OUTPUT", "set-mode",
     "Set the 1920x1080@60 mode as the current mode. Note that you can also address modes by their IDs in "
     "`list-modes` or without the refresh rate, e.g. 1920x1080",
     "DP-1 set-mode 1920x1080@60"},
};
