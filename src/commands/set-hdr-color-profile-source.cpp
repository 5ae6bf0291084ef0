#include "commands/values.h"

#include "core/print.h"

namespace {

QStringList values;

int setHdrColorProfileSource(OutputPtr output, ConfigPtr config)
{
    const std::optional<Dispor::Output::ColorProfileSource> source = parseColorProfileSource(values[0]);
    if (!source)
        return invalidArgument(values[0]);
    if (*source == Dispor::Output::ColorProfileSource::sRGB) {
        printLineTo(stderr, "sRGB color profile source with the HDR mode is unsupported");
        return 1;
    }
    return applyValue(output, config, &Dispor::Output::setHdrColorProfileSource, *source);
}

} // namespace

COMMAND_RECORD const Command setHdrColorProfileSourceCommand[] = {
    {"OUTPUT", "set-hdr-color-profile-source", "Set color profile source (possible values: EDID, or ICC)",
     nullptr, "Color Management", nullptr, runOn<setHdrColorProfileSource>, "hdrColorProfileSource"},
};

COMMAND_OPTION_RECORD const CommandOption setHdrColorProfileSourceOptions[] = {
    {"OUTPUT", "set-hdr-color-profile-source", nullptr, "SOURCE", nullptr, &values, OptionKind::Positional},
};
