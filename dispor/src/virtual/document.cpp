#include "document_parts.h"

#include <QLocale>

#include <cmath>

namespace Dispor::Virtual {

QString number(double value)
{
    if (value == std::trunc(value) && std::fabs(value) < 1e15)
        return QString::number(static_cast<qint64>(value));
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

QString Path::text() const
{
    QString t = parent ? parent->text() : QString();
    if (index >= 0) {
        t += u'[' + QString::number(index) + u']';
    } else {
        if (!t.isEmpty())
            t += u'.';
        t += member.toString();
    }
    return t;
}

} // namespace Dispor::Virtual
