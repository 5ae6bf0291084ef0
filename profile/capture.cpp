#include "capture.h"

#include "match.h"

namespace profile {

Profile capture(const Dispor::Config &config)
{
    using Dispor::Output;
    const Dispor::OutputList connected = config.connectedOutputs();
    Profile profile;
    for (const Dispor::OutputPtr &output : connected) {
        OutputSettings settings;
        settings.identity = identityOf(*output, connected);
        settings.enabled = output->isEnabled();
        if (settings.enabled) {
            if (const Dispor::ModePtr mode = output->currentMode())
                settings.mode = {mode->size().width(), mode->size().height(), mode->refreshRate()};
            settings.position = output->pos();
            settings.scale = output->scale();
            settings.rotation = output->rotation();
            settings.priority = output->priority();
            // A source that is not connected has no identity here.
            const Dispor::OutputPtr source = connected.value(output->replicationSource());
            if (source && source->id() != output->id())
                settings.mirror = identityOf(*source, connected);
            if (output->capabilities() & Output::Capability::Vrr)
                settings.vrr = output->vrrPolicy();
            if (output->capabilities() & Output::Capability::HighDynamicRange)
                settings.hdr = output->isHdrEnabled();
        }
        profile.outputs.append(settings);
    }
    return profile;
}

} // namespace profile
