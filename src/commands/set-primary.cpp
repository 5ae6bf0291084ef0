#include "commands/unit.h"

namespace {

int setPrimary(OutputPtr output, ConfigPtr config)
{
    config->setOutputPriority(output, 1);
    return applyConfig(config);
}

} // namespace

COMMAND_RECORD const Command setPrimaryCommand[] = {
    {"OUTPUT", "set-primary", "Make the output primary", nullptr, "Basic", nullptr, runOn<setPrimary>,
     "primary"},
};
