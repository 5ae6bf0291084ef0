#pragma once

#include "output_data.h"

#include "properties.h"

#include <type_traits>

// What a snapshot can change on an output, and how a backend takes such a
// change into the output as it is now.
namespace Dispor::Changes {

using Data = Output::Data;
using Caps = Output::Capabilities;

// Every changeable property with its document key and the capability a
// change of it needs (or else orNeed, where that is given), in the order
// applies take them: the first refused one is the one reported.
// visit(member, key, need, orNeed) returns false to stop the walk.
template <typename Visitor> bool forEachProperty(Visitor &&visit)
{
    return Properties::forEach(
        [&](const auto &p) { return !p.changeable || visit(p.member, p.key, p.need, p.orNeed); });
}

// Whether two descriptions of one output hold the same state: every
// changeable property, the rank, the connection and the modes.
bool sameState(const Data &a, const Data &b);

// Whether member is that one; one of another type never is.
template <typename T, typename U> constexpr bool is(T Data::*member, U Data::*that)
{
    if constexpr (std::is_same_v<T, U>)
        return member == that;
    else
        return false;
}

// "cannot change the VRR policy: the output has no VRR support", in the
// commands' words (wording.h).
QString needsCapability(const char *key, Caps need, Caps orNeed = {});
// "cannot change the priority: why", for what a backend has no place for.
QString notPossible(const char *key, const char *why);

// Takes into base what the snapshot (wanted) changed since it was fetched,
// refusing what the output cannot carry out. A refusal sets reason to one
// line that starts with the output's name.
class Merge {
public:
    // Without check, refuses nothing and only notes whether anything changed.
    Merge(const Data &fetched, const Data &wanted, Data &base, QString *reason, bool check = true)
        : m_fetched(fetched), m_wanted(wanted), m_base(base), m_reason(reason), m_check(check)
    {}

    bool changed() const { return m_changed; }

protected:
    template <typename T> bool differs(T Data::*member) const
    {
        return !(m_wanted.*member == m_fetched.*member);
    }

    // Whatever the output.
    template <typename T> bool take(T Data::*member)
    {
        if (differs(member)) {
            m_changed = true;
            m_base.*member = m_wanted.*member;
        }
        return true;
    }

    // Where the output has the capability the change needs.
    template <typename T> bool take(T Data::*member, const char *key, Caps need, Caps orNeed = {})
    {
        if (!differs(member))
            return true;
        m_changed = true;
        if (m_check && !capable(need, orNeed))
            return fail(needsCapability(key, need, orNeed));
        m_base.*member = m_wanted.*member;
        return true;
    }

    // A change the backend has no place for, whatever the output.
    template <typename T> bool refuse(T Data::*member, const char *key, const char *why)
    {
        if (!differs(member))
            return true;
        m_changed = true;
        return !m_check || fail(notPossible(key, why));
    }

    // Switching on always; switching off needs "disable".
    bool takeEnabled();

    bool capable(Caps need, Caps orNeed = {}) const
    {
        return !need || (m_base.capabilities & need) || (orNeed && (m_base.capabilities & orNeed));
    }

    bool fail(const QString &why);

    const Data &m_fetched;
    const Data &m_wanted;
    Data &m_base;
    QString *m_reason;
    bool m_check;
    bool m_changed = false;
};

} // namespace Dispor::Changes
