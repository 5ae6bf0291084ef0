#include "changes.h"

#include "virtual/document.h"

namespace Dispor::Changes {

namespace {

QString quotedWord(Caps capability)
{
    return u'"' + Virtual::capabilityWord(Output::Capability(capability.toInt())) + u'"';
}

} // namespace

QString needsCapability(const char *key, Caps need, Caps orNeed)
{
    QString words = quotedWord(need);
    if (orNeed)
        words += " or " + quotedWord(orNeed);
    return u"changing \""_qs + QLatin1StringView(key) + "\" needs the capability " + words;
}

QString notPossible(const char *key, const char *why)
{
    return u"changing \""_qs + QLatin1StringView(key) + "\" is not possible: " + QLatin1StringView(why);
}

bool Merge::takeEnabled()
{
    if (!differs(&Data::enabled))
        return true;
    m_changed = true;
    if (m_check && !m_wanted.enabled && !(m_base.capabilities & Output::Capability::Disable))
        return fail(QStringLiteral("disabling the output needs the capability \"disable\""));
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
