#pragma once

#include "dispor/output.h"

#include <span>

// What each kind of display server carries of the settings the commands
// change: the settings a backend refuses whatever the output (with the
// reason its refusals give), the capabilities it can grant an output and
// when, and the settings it carries only under a condition. Each property's
// row (properties.h) and each capability's row (capabilities.h) say it in
// the columns below. The backends take their refusals' reasons from here,
// and the manual's table of commands against backends is generated from
// it, so the two say the same.
namespace Dispor::Reach {

// The backends as their servers differ; a backend's refusals are the same
// on every server it serves.
enum class Family { Virtual, X11, Wlroots, Mutter };

struct Refusal {
    constexpr Refusal(const char *reason = nullptr, bool some = false) : why(reason), partly(some) {}
    const char *why; // null: carried
    // Some values are carried (a priority of 1, for example).
    bool partly;
};

constexpr Refusal partly(const char *why)
{
    return {why, true};
}

// What each family refuses of a setting; the virtual set refuses nothing.
struct PerFamily {
    Refusal x11 = {};
    Refusal wlroots = {};
    Refusal mutter = {};
};

// A text for each column of the table: the condition under which a server
// carries a setting or grants a capability. Null: no condition (for a
// capability: never granted).
struct PerServer {
    const char *virtualSet = nullptr;
    const char *x11 = nullptr;
    const char *wlroots015 = nullptr;
    const char *wlroots018 = nullptr;
    const char *mutter43 = nullptr;
    const char *mutter48 = nullptr;
};

// A capability a server grants on every output.
inline constexpr char everywhere[] = "";

struct Server {
    const char *title; // the table's column, such as "wlroots 0.18"
    Family family;
    const char *PerServer::*column;
};

std::span<const Server> servers();

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
