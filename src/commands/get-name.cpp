#include "commands/unit.h"
#include "core/print.h"

namespace {

int getName(OutputPtr output, ConfigPtr)
{
    printLineTo(stdout, "{}", output->name());
    return 0;
}

} // namespace

COMMAND_RECORD const Command getNameCommand[] = {
    {"OUTPUT", "get-name", "Get connector name", nullptr, "Basic", nullptr, runOn<getName>},
};

COMMAND_EXAMPLE_RECORD const CommandExample getNameExamples[] = {
    {"OUTPUT", "get-name", "Get the connector name of the active output", "active-output get-name"},
};
