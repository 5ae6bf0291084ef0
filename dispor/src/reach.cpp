#include "reach.h"

#include "capabilities.h"
#include "properties.h"
#include "wording.h"

#include <QStringList>

#include <cstring>

namespace Dispor::Reach {

namespace {

// The words the tables use that name no property: what each family refuses
// of them, and under which condition each server carries them.
struct Other {
    const char *key;
    PerFamily refusals;
    PerServer conditions;
};

constexpr const char *mutterLocator =
    "the compositor's bus service runs or mutter's Wayland display is reached";
constexpr const char *wlrootsLocator =
    "the compositor's bus service runs or the compositor offers layer-shell or xdg-shell";

// The locator: without the compositor's service, dispctl draws the labels
// itself on X11; on wlroots the labels module draws them on a layer-shell
// surface, else in a fullscreen xdg-shell window; gnome-shell keeps its own
// labels for its settings, and label windows, which mutter (xdg-shell)
// always takes, stand in.
constexpr Other others[] = {
    {"primary", {.wlroots = "the compositor has no output priorities"}, {}},
    {"locator",
     {},
     {.virtualSet = "the compositor's bus service runs",
      .wlroots015 = wlrootsLocator,
      .wlroots018 = wlrootsLocator,
      .mutter43 = mutterLocator,
      .mutter48 = mutterLocator}},
};

constexpr Server table[] = {
    {"virtual", Family::Virtual, &PerServer::virtualSet},
    {"X11", Family::X11, &PerServer::x11},
    {"wlroots 0.15", Family::Wlroots, &PerServer::wlroots015},
    {"wlroots 0.18", Family::Wlroots, &PerServer::wlroots018},
    {"mutter 43", Family::Mutter, &PerServer::mutter43},
    {"mutter 48", Family::Mutter, &PerServer::mutter48},
};

// What key's row says of every family and server, whether a property's or
// another word's; nulls for a key with no row.
struct Row {
    const PerFamily *refusals = nullptr;
    const PerServer *conditions = nullptr;
};

Row rowOf(const char *key)
{
    for (const Other &o : others) {
        if (std::strcmp(o.key, key) == 0)
            return {&o.refusals, &o.conditions};
    }
    Row row;
    Properties::forEach([&](const auto &p) {
        if (std::strcmp(p.key, key) != 0)
            return true;
        row = {&p.refusals, &p.conditions};
        return false;
    });
    return row;
}

const Refusal *refusalOf(Family family, const Row &row)
{
    if (!row.refusals)
        return nullptr;
    const PerFamily &by = *row.refusals;
    const Refusal *r = family == Family::X11       ? &by.x11
                       : family == Family::Wlroots ? &by.wlroots
                       : family == Family::Mutter  ? &by.mutter
                                                   : nullptr; // the virtual set refuses nothing
    return r && r->why ? r : nullptr;
}

// Where server grants one of caps: "" on every output, null never.
const char *grantOf(const Server &server, Output::Capabilities caps)
{
    for (const Properties::Capability &c : Properties::capabilities()) {
        if (caps.testFlag(c.capability) && c.granted.*server.column)
            return c.granted.*server.column;
    }
    return nullptr;
}

} // namespace

std::span<const Server> servers()
{
    return table;
}

Output::Capabilities offered(const Server &server)
{
    Output::Capabilities caps;
    for (const Properties::Capability &c : Properties::capabilities()) {
        if (c.granted.*server.column)
            caps |= c.capability;
    }
    return caps;
}

const char *why(Family family, const char *key)
{
    const Refusal *r = refusalOf(family, rowOf(key));
    return r ? r->why : nullptr;
}

bool known(const char *key)
{
    for (const char *word : {"primary", "priority", "locator"}) {
        if (std::strcmp(word, key) == 0)
            return true;
    }
    bool found = false;
    Properties::forEach([&](const auto &p) {
        found = p.changeable && std::strcmp(p.key, key) == 0;
        return !found;
    });
    return found;
}

QString cell(const Server &server, const char *keys)
{
    QStringList wheres;
    QString partly;
    for (const QString &key : QString::fromLatin1(keys ? keys : "").split(u' ', Qt::SkipEmptyParts)) {
        const QByteArray name = key.toLatin1();
        Output::Capabilities need, orNeed;
        Properties::forEach([&](const auto &p) {
            if (!p.changeable || name != p.key)
                return true;
            need = p.need;
            orNeed = p.orNeed;
            return false;
        });
        if (need) {
            const char *granted = grantOf(server, need);
            if (!granted && orNeed)
                granted = grantOf(server, orNeed);
            if (!granted)
                return u"no: "_qs + Wording::lacking(need, orNeed);
            if (*granted && !wheres.contains(QLatin1StringView(granted)))
                wheres.append(QLatin1StringView(granted));
        }
        const Row row = rowOf(name.constData());
        // After the capability, as the backends check them.
        if (const Refusal *r = refusalOf(server.family, row)) {
            if (!r->partly)
                return u"no: "_qs + QLatin1StringView(r->why);
            partly = QLatin1StringView(r->why);
        }
        const char *where = row.conditions ? row.conditions->*server.column : nullptr;
        if (where && !wheres.contains(QLatin1StringView(where)))
            wheres.append(QLatin1StringView(where));
    }
    if (!partly.isEmpty())
        return u"partly: "_qs + partly;
    return wheres.isEmpty() ? u"yes"_qs : u"yes, where "_qs + wheres.join(u" and "_qs);
}

} // namespace Dispor::Reach
