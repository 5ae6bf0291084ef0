#include "commands/values.h"

namespace {

int toggleHdrAndWcg(OutputPtr output, ConfigPtr config)
{
    // Either one on turns both off, so that afterwards they agree.
    const bool on = !(output->isHdrEnabled() || output->isWcgEnabled());
    return applySwitches(output, config, on,
                         {&Dispor::Output::setHdrEnabled, &Dispor::Output::setWcgEnabled});
}

} // namespace

COMMAND_RECORD const Command toggleHdrAndWcgCommand[] = {
    {"OUTPUT", "toggle-hdr-and-wcg", "Toggle both HDR and wide color gamut", nullptr, "Color Management",
     nullptr, runOn<toggleHdrAndWcg>, "hdrEnabled wcgEnabled"},
};

COMMAND_EXAMPLE_RECORD const CommandExample toggleHdrAndWcgExamples[] = {
    {"OUTPUT", "toggle-hdr-and-wcg", "Toggle both HDR and wide color gamut on the current output",
     "active-output toggle-hdr-and-wcg"},
};
