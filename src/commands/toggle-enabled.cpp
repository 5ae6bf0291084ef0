#include "core/command.h"
#include "core/print.h"
#include "output/frame.h"

#include <iostream>

namespace {

int toggleEnabledAction(OutputPtr output, ConfigPtr config)
{
    const bool enabled = output->isEnabled();
    if (enabled && !output->capabilities().testFlag(Dispor::Output::Capability::Disable)) {
        printLineTo(std::cerr, "Disabling this output is not supported");
        return 1;
    }
    output->setEnabled(!enabled);
    return applyConfig(config);
}

int toggleEnabled(const QString &spec)
{
    return withOutput(spec, toggleEnabledAction);
}

} // namespace

COMMAND_RECORD const Command toggleEnabledCommand[] = {
    {"OUTPUT", "toggle-enabled", "Enable or disable the output", nullptr, "Basic", nullptr, toggleEnabled},
};
