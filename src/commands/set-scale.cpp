#include "commands/layout.h"
#include "commands/parsers.h"
#include "commands/unit.h"
#include "core/print.h"

namespace {

QStringList values;

constexpr double minimumScale = 0.5;
constexpr double maximumScale = 10.0;

int setScale(OutputPtr output, ConfigPtr config)
{
    // parsePercentage refuses NaN, which would pass both range tests.
    const std::optional<double> scale = parsePercentage(values.value(0));
    if (!scale)
        return invalidArgument(values.value(0));
    if (*scale < minimumScale) {
        printLineTo(stderr, "The scale factor should be at least {}%", minimumScale * 100);
        return 1;
    }
    if (*scale > maximumScale) {
        printLineTo(stderr, "The scale factor cannot be greater than {}%", maximumScale * 100);
        return 1;
    }
    const QSize oldSize = output->explicitLogicalSizeInt();
    output->setScale(*scale);
    return finishResize(output, oldSize, config);
}

} // namespace

COMMAND_RECORD const Command setScaleCommand[] = {
    {"OUTPUT", "set-scale", "Set the output scale", nullptr, "Basic", nullptr, runOn<setScale>, "scale"},
};

COMMAND_OPTION_RECORD const CommandOption setScaleOptions[] = {
    {"OUTPUT", "set-scale", nullptr, "SCALE", nullptr, &values, OptionKind::Positional},
};

COMMAND_EXAMPLE_RECORD const CommandExample setScaleExamples[] = {
    {"OUTPUT", "set-scale", "Change the scale factor of output DP-1 to 200%", "DP-1 set-scale 200%"},
};
