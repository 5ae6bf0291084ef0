#include "text.h"

#include <algorithm>

namespace Dispor {

QString escaped(const QString &text)
{
    const auto control = [](QChar c) { return c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() <= 0x9f); };
    if (std::none_of(text.cbegin(), text.cend(), control))
        return text;
    QString result;
    for (const QChar c : text) {
        if (control(c))
            result += u"\\u%1"_qs.arg(uint(c.unicode()), 4, 16, QChar(u'0'));
        else
            result += c;
    }
    return result;
}

QString quoted(const QString &text)
{
    return u'"' + escaped(text) + u'"';
}

} // namespace Dispor
