#pragma once

// Planning an apply: the profile's settings set on a fetched snapshot,
// checked against what each output can take, and told as a list of
// changes for the dry run.

#include "match.h"
#include "schema.h"

#include <dispor/config.h>

#include <QString>
#include <QStringList>

namespace profile {

// Sets the settings of each profile output on the connected output the
// assignment gives it, in the snapshot only. *changes gets one line per
// output and setting that differs, such as "DP-1: position 0,0 -> 1920,0".
// False, with one line naming the output in *error, where an output
// cannot take a setting (no such mode, no VRR, no HDR); the snapshot is
// then half set and must not be applied.
bool plan(const Profile &profile, const Assignment &assignment, Dispor::Config &config, QStringList *changes,
          QString *error);

} // namespace profile
