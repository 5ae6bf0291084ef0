#include "changes.h"

#include "wording.h"

namespace Dispor::Changes {

QString needsCapability(const char *key, Caps need, Caps orNeed)
{
    return Wording::cannotChange(key, Wording::lacking(need, orNeed));
}

QString notPossible(const char *key, const char *why)
{
    return Wording::cannotChange(key, QLatin1StringView(why));
}

bool Merge::takeEnabled()
{
    if (!differs(&Data::enabled))
        return true;
    m_changed = true;
    if (m_check && !m_wanted.enabled && !(m_base.capabilities & Output::Capability::Disable))
        return fail(needsCapability("enabled", Output::Capability::Disable));
    m_base.enabled = m_wanted.enabled;
    return true;
}

bool Merge::fail(const QString &why)
{
    *m_reason = m_base.name + ": " + why;
    return false;
}

bool sameState(const Data &a, const Data &b)
{
    if (a.priority != b.priority || a.connected != b.connected || a.modes.size() != b.modes.size())
        return false;
    for (auto i = a.modes.cbegin(), j = b.modes.cbegin(); i != a.modes.cend(); ++i, ++j) {
        if (i.key() != j.key() || (*i)->size() != (*j)->size() || (*i)->refreshRate() != (*j)->refreshRate())
            return false;
    }
    return forEachProperty([&](auto member, const char *, Caps, Caps) { return a.*member == b.*member; });
}

} // namespace Dispor::Changes
