#include "commands/custom-modes.h"
#include "commands/unit.h"
#include "core/print.h"

namespace {

bool reducedBlanking = false;
QStringList values;

int addCustomMode(OutputPtr output, ConfigPtr config)
{
    Dispor::ModeInfo mode;
    if (values.size() >= 9) {
        const TimingsResult result = customModeFromTimings(values);
        if (!result.mode) {
            printLineTo(stderr, "Failed to parse argument: {}", result.failedValue);
            return 1;
        }
        mode = *result.mode;
    } else {
        const QString text = values.value(0);
        const std::optional<Dispor::ModeInfo> parsed = customModeFromResolution(text, reducedBlanking);
        if (!parsed) {
            printLineTo(stderr, "Invalid argument: {}, expecting `width`x`height`@`refresh_rate`", text);
            return 1;
        }
        mode = *parsed;
    }

    QList<Dispor::ModeInfo> modes = output->customModes();
    if (modes.contains(mode))
        return 0;
    modes.append(mode);
    output->setCustomModes(modes);
    return applyConfig(config);
}

} // namespace

COMMAND_RECORD const Command addCustomModeCommand[] = {
    {"OUTPUT", "add-custom-mode",
     "Add a custom mode. A custom mode can be specified using either the resolution and the refresh rate or "
     "CVT "
     "timings. Possible FLAG values: +hsync, -hsync, +vsync, -vsync, interlace",
     nullptr, "Modes", nullptr, runOn<addCustomMode>, "customModes"},
};

COMMAND_OPTION_RECORD const CommandOption addCustomModeOptions[] = {
    {"OUTPUT", "add-custom-mode", "reduced-blanking", nullptr, "Add a custom mode with reduced blanking",
     &reducedBlanking, OptionKind::Option},
    {"OUTPUT", "add-custom-mode", nullptr,
     "MODE;CLOCK HDISPLAY HSYNC_START HSYNC_END HTOTAL VDISPLAY VSYNC_START VSYNC_END VTOTAL FLAG*", nullptr,
     &values, OptionKind::Positional},
};

COMMAND_EXAMPLE_RECORD const CommandExample addCustomModeExamples[] = {
    {"OUTPUT", "add-custom-mode", "Add a custom mode with reduced blanking",
     "active-output add-custom-mode --reduced-blanking 1920x1080@60.0Hz"},
    {"OUTPUT", "add-custom-mode", "Add a custom mode specified by CVT timings",
     "active-output add-custom-mode 712.75 3840 4160 4576 5312 2160 2163 2168 2237 -hsync +vsync"},
};
