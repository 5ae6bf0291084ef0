#include "wording.h"

#include "capabilities.h"
#include "properties.h"
#include "text.h"

#include <cstring>

namespace Dispor::Wording {

namespace {

QString lack(Caps capability)
{
    for (const Properties::Capability &c : Properties::capabilities()) {
        if (capability.testFlag(c.capability))
            return QLatin1StringView(c.lack);
    }
    return u"lacks the capability 0x"_qs + QString::number(capability.toInt(), 16);
}

QString named(const char *key)
{
    const char *words = setting(key);
    return words ? QLatin1StringView(words) : u'"' + QLatin1StringView(key) + u'"';
}

} // namespace

const char *setting(const char *key)
{
    const char *words = nullptr;
    Properties::forEach([&](const auto &p) {
        if (std::strcmp(p.key, key) != 0)
            return true;
        words = p.words;
        return false;
    });
    return words;
}

QString lacking(Caps need, Caps orNeed)
{
    QString text = u"the output "_qs + lack(need);
    if (orNeed)
        text += u" and "_qs + lack(orNeed);
    return text;
}

QString cannotChange(const char *key, const QString &why)
{
    if (std::strcmp(key, "enabled") == 0)
        return u"cannot disable the output: "_qs + why;
    return u"cannot change "_qs + named(key) + ": " + why;
}

QString outsideRange(const char *key, const QString &value, qint64 least, qint64 most)
{
    return named(key) + " cannot be " + value + ": the output allows " + QString::number(least) + " to " +
           QString::number(most);
}

QString notHeld(const char *server, const char *key, const QString &sent, const QString &held)
{
    if (std::strcmp(key, "enabled") == 0)
        return QLatin1StringView(server) + u" accepted "_qs +
               (sent == u"on" ? u"enabling"_qs : u"disabling"_qs) + " the output but keeps it " +
               (held == u"on" ? u"enabled"_qs : u"disabled"_qs);
    return QLatin1StringView(server) + u" accepted "_qs + named(key) + u' ' + quoted(sent) + " but keeps " +
           quoted(held);
}

QString transformWord(int transform)
{
    static const char *const words[] = {"normal",  "90",        "180",        "270",
                                        "flipped", "flipped90", "flipped180", "flipped270"};
    return transform >= 0 && transform < 8 ? QLatin1StringView(words[transform]) : QString::number(transform);
}

} // namespace Dispor::Wording
