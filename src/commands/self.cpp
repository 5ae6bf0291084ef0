#include "commands/unit.h"
#include "report/json.h"
#include "report/text.h"

namespace {

bool asJson = false;

int self(OutputPtr output, ConfigPtr)
{
    if (asJson)
        printOutputJson(*output);
    else
        printOutputText(*output);
    return 0;
}

} // namespace

COMMAND_RECORD const Command selfCommand[] = {
    {"OUTPUT", "self", "Query or change output settings",
     "The OUTPUT specifies the connector name, e.g. DP-1, or one of the special identifiers - "
     "\"active-output\" "
     "or \"primary-output\".",
     "Basic", nullptr, runOn<self>},
};

COMMAND_OPTION_RECORD const CommandOption selfOptions[] = {
    {"OUTPUT", "self", "json", nullptr, "Show output information as JSON", &asJson, OptionKind::Option},
};

COMMAND_EXAMPLE_RECORD const CommandExample selfExamples[] = {
    {"OUTPUT", "self", "Show information about the current output", "active-output"},
    {"OUTPUT", "self", "Show information about the current output as JSON", "active-output --json"},
};
