#include "commands/parsers.h"

#include "core/print.h"
#include "core/words.h"

#include <cmath>
#include <limits>

std::optional<int> parseInteger(QStringView text)
{
    // Converted at 64 bits so that an out-of-range value is refused rather
    // than wrapped.
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok, 10);
    if (!ok || value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(value);
}

std::optional<double> parseDouble(QStringView text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    // The toolkit reads "nan" and "inf" as numbers; no command wants them.
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<double> parsePercentage(QStringView text)
{
    if (text.endsWith(u'%'))
        text.chop(1);
    const std::optional<double> value = parseDouble(text);
    if (!value)
        return std::nullopt;
    return *value / 100.0;
}

std::optional<bool> parseBool(QStringView text)
{
    if (text == u"on" || text == u"true")
        return true;
    if (text == u"off" || text == u"false")
        return false;
    return std::nullopt;
}

std::optional<Dispor::Output::ColorProfileSource> parseColorProfileSource(QStringView text)
{
    return valueOfWord(words::colorProfileSource, text);
}

int invalidArgument(const QString &text)
{
    printLineTo(stderr, "Invalid argument: {}", text);
    return 1;
}
