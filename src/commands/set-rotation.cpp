#include "commands/layout.h"
#include "commands/parsers.h"
#include "core/command.h"
#include "core/words.h"
#include "output/frame.h"

namespace {

QStringList setRotationArgs;

int setRotationAction(OutputPtr output, ConfigPtr config)
{
    const std::optional<Dispor::Output::Rotation> rotation = valueOfWord(words::rotation, setRotationArgs.value(0));
    if (!rotation)
        return invalidArgument(setRotationArgs.value(0));
    // The old size must be read before the rotation changes it.
    const QSize oldSize = output->explicitLogicalSizeInt();
    output->setRotation(*rotation);
    return finishResize(output, oldSize, config);
}

int setRotation(const QString &spec)
{
    return withOutput(spec, setRotationAction);
}

} // namespace

COMMAND_RECORD const Command setRotationCommand[] = {
    {"OUTPUT", "set-rotation",
     "Set the output transform. Outputs are rotated counter-clockwise (possible values: none, normal, 0, 90, 180, "
     "270, flipped, flipped90, flipped180, or flipped270)",
     nullptr, "Basic", nullptr, setRotation},
};

COMMAND_OPTION_RECORD const CommandOption setRotationOptions[] = {
    {"OUTPUT", "set-rotation", nullptr, "ROTATION", nullptr, &setRotationArgs, OptionKind::Positional},
};
