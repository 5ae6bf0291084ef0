#pragma once

// The program's verbs as constant records: dispatch parses by them, and
// the help, the manual page and the completions are made from them.

#include <QString>

#include <span>

namespace profile {

// What one command line asks for, once parsed.
struct Invocation {
    QString name;
    bool force = false;
    bool dryRun = false;
    bool automatic = false;
};

struct VerbOption {
    const char *name; // "--force"
    const char *description;
    bool Invocation::*flag;
    bool replacesName; // given, the verb takes no NAME
};

struct Verb {
    const char *name;
    const char *synopsis; // what follows the verb in the usage line
    const char *summary;  // one line, for the help
    const char *description;
    bool takesName;
    std::span<const VerbOption> options;
    int (*run)(const Invocation &invocation);
};

std::span<const Verb> verbs();

inline constexpr const char *programName = "dispctl-profile";
inline constexpr const char *programSummary =
    "Save display layouts as profiles and apply them, on demand or as monitors come and go";

} // namespace profile
