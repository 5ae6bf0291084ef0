#include "help.h"

#include "verbs.h"

#include "core/print.h"

#include <string>

void printProfileHelp()
{
    using namespace profile;
    std::string text =
        fmt::format("Usage: {} VERB [ARGUMENTS]\n{}.\n\nVerbs:\n", programName, programSummary);
    for (const Verb &verb : verbs()) {
        const std::string usage = fmt::format("{} {}", verb.name, verb.synopsis);
        text += fmt::format("  {:<34} {}\n", usage, verb.summary);
        for (const VerbOption &option : verb.options)
            text += fmt::format("      {:<30} {}\n", option.name, option.description);
    }
    text += fmt::format("\n  {:<34} {}\n  {:<34} {}\n", "--help", "Show this help", "--version",
                        "Show the version");
    text += "\nProfiles are the files NAME.json in $XDG_CONFIG_HOME/dispctl/profiles (else\n"
            "~/.config/dispctl/profiles).\n";
    writeTo(stderr, text);
}
