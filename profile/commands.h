#pragma once

// The verbs that run once: each returns the exit status.

#include "verbs.h"

namespace profile {

int runSave(const Invocation &invocation);
int runApply(const Invocation &invocation);
int runList(const Invocation &invocation);
int runShow(const Invocation &invocation);
int runRemove(const Invocation &invocation);

} // namespace profile
