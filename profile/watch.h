#pragma once

#include "verbs.h"

namespace profile {

// Runs until SIGTERM or SIGINT (status 0) or until the display service
// goes away (status 1), applying the best-matching profile whenever the
// set of connected outputs has changed and settled.
int runWatch(const Invocation &invocation);

} // namespace profile
