#pragma once

#include "dispor/output.h"

#include <span>

// What each kind of display server carries of the settings the commands
// change: the settings a backend refuses whatever the output (with the
// reason its refusals give), the capabilities it can grant an output and
// when, and the settings it carries only under a condition. The backends
// take their refusals' reasons from here, and the manual's table of
// commands against backends is generated from it, so the two say the same.
namespace Dispor::Reach {

// The backends as their servers differ; a backend's refusals are the same
// on every server it serves.
enum class Family { Virtual, X11, Wlroots, Mutter };

struct Refusal {
    const char *key; // a property key, or "primary" for the primary output
    const char *why;
    // Some values are carried (a priority of 1, for example).
    bool partly = false;
};

struct Offer {
    Output::Capability capability;
    const char *where; // null: on every output
};

struct Condition {
    const char *key;
    const char *where;
};

struct Server {
    const char *title; // the table's column, such as "wlroots 0.18"
    Family family;
    std::span<const Offer> offers;
    std::span<const Condition> conditions;
};

std::span<const Server> servers();
std::span<const Refusal> refusals(Family family);

// Every capability server can grant.
Output::Capabilities offered(const Server &server);

// The reason family gives when it refuses key; null when it carries it.
const char *why(Family family, const char *key);

// Whether key names a changeable property, or is one of the other words
// the tables use: "primary", "priority", "locator".
bool known(const char *key);

// How server carries a command that changes or needs keys (property keys
// separated by spaces, none for a command that changes nothing): "yes",
// "yes, where …", "partly: …" or "no: …".
QString cell(const Server &server, const char *keys);

} // namespace Dispor::Reach
