#include "commands/values.h"

namespace {

int toggleAutoBrightness(OutputPtr output, ConfigPtr config)
{
    return applyToggle(output, config, &Dispor::Output::automaticBrightness,
                       &Dispor::Output::setAutomaticBrightness);
}

} // namespace

COMMAND_RECORD const Command toggleAutoBrightnessCommand[] = {
    {"OUTPUT", "toggle-auto-brightness", "Toggle automatic brightness adjustment", nullptr, "Brightness",
     nullptr, runOn<toggleAutoBrightness>, "automaticBrightness"},
};
