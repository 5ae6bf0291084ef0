#include "commands/layout.h"
#include "commands/parsers.h"
#include "commands/unit.h"
#include "core/words.h"

namespace {

QStringList values;

int setRotation(OutputPtr output, ConfigPtr config)
{
    const std::optional<Dispor::Output::Rotation> rotation = valueOfWord(words::rotation, values.value(0));
    if (!rotation)
        return invalidArgument(values.value(0));
    // The old size must be read before the rotation changes it.
    const QSize oldSize = output->explicitLogicalSizeInt();
    output->setRotation(*rotation);
    return finishResize(output, oldSize, config);
}

} // namespace

COMMAND_RECORD const Command setRotationCommand[] = {
    {"OUTPUT", "set-rotation",
     "Set the output transform. Outputs are rotated counter-clockwise (possible values: none, normal, 0, 90, "
     "180, "
     "270, flipped, flipped90, flipped180, or flipped270)",
     nullptr, "Basic", nullptr, runOn<setRotation>, "rotation"},
};

COMMAND_OPTION_RECORD const CommandOption setRotationOptions[] = {
    {"OUTPUT", "set-rotation", nullptr, "ROTATION", nullptr, &values, OptionKind::Positional},
};
