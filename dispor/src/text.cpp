#include "text.h"

namespace Dispor {

QString quoted(const QString &text)
{
    QString result = u"\""_qs;
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            result += u"\\u%1"_qs.arg(uint(c.unicode()), 4, 16, QChar(u'0'));
        else
            result += c;
    }
    return result + u'"';
}

} // namespace Dispor
