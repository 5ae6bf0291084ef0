#pragma once

// One apply of a profile: fetch, match, plan, then apply the whole
// snapshot at once, or print what would change.

#include "match.h"
#include "schema.h"

#include <dispor/config.h>

#include <optional>

namespace profile {

// A fresh snapshot; null after a failure, which the library has reported.
Dispor::ConfigPtr fetchConfig();

// Applies the profile to the outputs connected now; a snapshot that the
// outputs changed under is fetched and planned again, a few times. With
// dryRun, prints the changes on standard output and sends nothing. Every
// refusal is one line naming the profile and the output; 0 or 1.
int applyProfile(const QString &name, const Profile &profile, bool dryRun);

// Every stored profile; none after a failure (an unreadable or malformed
// profile among them, reported).
std::optional<QList<Candidate>> loadAll();

} // namespace profile
