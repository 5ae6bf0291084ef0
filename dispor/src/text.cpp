#include "text.h"

#include <QFile>

#include <algorithm>

namespace Dispor {

namespace {

bool isControl(QChar c)
{
    return c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() <= 0x9f);
}

} // namespace

QString escaped(const QString &text)
{
    if (std::none_of(text.cbegin(), text.cend(), isControl))
        return text;
    QString result;
    for (const QChar c : text) {
        if (isControl(c))
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

QString shownPath(const QByteArray &path)
{
    const QString text = QFile::decodeName(path);
    return std::any_of(text.cbegin(), text.cend(), isControl) ? quoted(text) : text;
}

} // namespace Dispor
