#include "commands/values.h"

namespace {

int toggleWcg(OutputPtr output, ConfigPtr config)
{
    return applyToggle(output, config, &Dispor::Output::isWcgEnabled, &Dispor::Output::setWcgEnabled);
}

} // namespace

COMMAND_RECORD const Command toggleWcgCommand[] = {
    {"OUTPUT", "toggle-wcg", "Toggle wide color gamut", nullptr, "Color Management", nullptr,
     runOn<toggleWcg>, "wcgEnabled"},
};
