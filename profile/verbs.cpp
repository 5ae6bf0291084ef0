#include "verbs.h"

#include "commands.h"
#include "watch.h"

namespace profile {

namespace {

constexpr VerbOption saveOptions[] = {
    {"--force", "Replace a profile of that name", &Invocation::force, false},
};

constexpr VerbOption applyOptions[] = {
    {"--dry-run", "Print what would change, and change nothing", &Invocation::dryRun, false},
    {"--auto", "Choose the profile that matches the connected outputs", &Invocation::automatic, true},
};

constexpr Verb table[] = {
    {"save", "NAME [--force]", "Save the current layout as profile NAME",
     "Saves every connected output, enabled or not, by its identity, with its mode, position, scale, "
     "rotation, priority, mirror source, and VRR policy and HDR where the output has them. An existing "
     "profile is replaced only with --force.",
     true, saveOptions, runSave},
    {"apply", "NAME|--auto [--dry-run]", "Apply profile NAME, or the best match with --auto",
     "Applies the whole profile at once. The profile's outputs must be exactly the connected ones, and "
     "each must take its settings; otherwise nothing is sent. With --auto, the profile that matches the "
     "connected outputs is chosen: one that names more outputs by make, model and serial number beats one "
     "that names them by connector, and two that match equally well are refused.",
     true, applyOptions, runApply},
    {"list",
     "",
     "List the profiles, marking those that match the connected outputs",
     "Prints each profile's name, one a line, followed by \" (matches)\" when its outputs are exactly the "
     "connected ones.",
     false,
     {},
     runList},
    {"show", "NAME", "Print profile NAME", "Prints the profile as JSON.", true, {}, runShow},
    {"remove", "NAME", "Remove profile NAME", "Removes the profile's file.", true, {}, runRemove},
    {"watch",
     "",
     "Apply the best-matching profile whenever the connected outputs change",
     "Runs until stopped by SIGTERM or SIGINT. At start, and whenever the set of connected outputs has "
     "changed and stayed unchanged for half a second, applies the profile that best matches it, and prints "
     "one line per action. Changes that keep the same outputs connected (another program's, or its own "
     "applies) are left alone. A failed apply is reported and the next change is still handled. When the "
     "display service goes away, it ends with status 1.",
     false,
     {},
     runWatch},
};

} // namespace

std::span<const Verb> verbs()
{
    return table;
}

} // namespace profile
