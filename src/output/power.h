#pragma once

#include <dispor/dpms.h>

// Switches every connected output to mode through the library's DPMS part and runs
// the event loop until nothing is pending; the exit status.
int switchDisplayPower(Dispor::Dpms::Mode mode);
