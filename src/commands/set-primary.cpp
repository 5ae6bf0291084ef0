#include "core/command.h"
#include "output/frame.h"

namespace {

int setPrimaryAction(OutputPtr output, ConfigPtr config)
{
    config->setOutputPriority(output, 1);
    return applyConfig(config);
}

int setPrimary(const QString &spec)
{
    return withOutput(spec, setPrimaryAction);
}

} // namespace

COMMAND_RECORD const Command setPrimaryCommand[] = {
    {"OUTPUT", "set-primary", "Make the output primary", nullptr, "Basic", nullptr, setPrimary},
};
