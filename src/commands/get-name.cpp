#include "core/command.h"
#include "core/print.h"
#include "output/frame.h"

#include <iostream>

namespace {

int getName(const QString &spec)
{
    const OutputPtr output = fetchOutput(spec);
    if (!output)
        return 1;
    printLineTo(std::cout, "{}", output->name());
    return 0;
}

} // namespace

COMMAND_RECORD const Command getNameCommand[] = {
    {"OUTPUT", "get-name", "Get connector name", nullptr, "Basic", nullptr, getName},
};

COMMAND_EXAMPLE_RECORD const CommandExample getNameExamples[] = {
    {"OUTPUT", "get-name", "Get the connector name of the active output", "active-output get-name"},
};
