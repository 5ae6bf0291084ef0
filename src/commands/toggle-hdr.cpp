#include "commands/values.h"

namespace {

int toggleHdr(OutputPtr output, ConfigPtr config)
{
    return applyToggle(output, config, &Dispor::Output::isHdrEnabled, &Dispor::Output::setHdrEnabled);
}

} // namespace

COMMAND_RECORD const Command toggleHdrCommand[] = {
    {"OUTPUT", "toggle-hdr", "Toggle HDR", nullptr, "Color Management", nullptr, runOn<toggleHdr>,
     "hdrEnabled"},
};
