#include "commands/values.h"

#include "core/print.h"

namespace {

QStringList values;

int setMaxbpc(OutputPtr output, ConfigPtr config)
{
    uint32_t bits = 0; // automatic
    if (values[0] != u"automatic") {
        const std::optional<int> number = parseInteger(values[0]);
        if (!number)
            return invalidArgument(values[0]);
        if (*number < 6 || *number > 16 || *number % 2 != 0) {
            printLineTo(stderr, "Only whole numbers between 6 and 16 are allowed");
            return 1;
        }
        bits = static_cast<uint32_t>(*number);
    }
    return applyValue(output, config, &Dispor::Output::setMaxBitsPerColor, bits);
}

} // namespace

COMMAND_RECORD const Command setMaxbpcCommand[] = {
    {"OUTPUT", "set-maxbpc", "Set the maximum bits per color (possible values: 6, 8, 10, 12, 14, and 16)",
     nullptr, "Misc", nullptr, runOn<setMaxbpc>, "maxBitsPerColor"},
};

COMMAND_OPTION_RECORD const CommandOption setMaxbpcOptions[] = {
    {"OUTPUT", "set-maxbpc", nullptr, "BPC", nullptr, &values, OptionKind::Positional},
};
