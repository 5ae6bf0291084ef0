#include "commands/layout.h"
#include "commands/unit.h"
#include "core/print.h"

namespace {

int toggleEnabled(OutputPtr output, ConfigPtr config)
{
    const bool enabled = output->isEnabled();
    if (enabled && !output->capabilities().testFlag(Dispor::Output::Capability::Disable)) {
        printLineTo(stderr, "Disabling this output is not supported");
        return 1;
    }
    return applyEnabled(output, config, !enabled);
}

} // namespace

COMMAND_RECORD const Command toggleEnabledCommand[] = {
    {"OUTPUT", "toggle-enabled", "Enable or disable the output", nullptr, "Basic", nullptr,
     runOn<toggleEnabled>, "enabled"},
};
