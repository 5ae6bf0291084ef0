#include "commands/modes.h"

#include "commands/parsers.h"

#include <cmath>

QString formatModeLine(const Dispor::Output &output, const Dispor::ModePtr &mode)
{
    QString line =
        QStringLiteral("%1:%2x%3@%4")
            .arg(mode->id(), QString::number(mode->size().width()), QString::number(mode->size().height()),
                 QString::number(double(mode->refreshRate()), 'f', 2));
    // The marks compare objects: the library hands out the same mode object
    // for the current and preferred mode as in the mode list.
    if (mode == output.currentMode())
        line += u'*';
    if (mode == output.preferredMode())
        line += u'!';
    return line;
}

std::optional<ModeText> parseModeText(QStringView text)
{
    const qsizetype x = text.indexOf(u'x');
    if (x < 0)
        return std::nullopt;
    const qsizetype at = text.indexOf(u'@', x);

    const QStringView widthText = text.left(x);
    const QStringView heightText = at < 0 ? text.mid(x + 1) : text.mid(x + 1, at - x - 1);
    const std::optional<int> width = parseInteger(widthText);
    const std::optional<int> height = parseInteger(heightText);
    if (!width || !height)
        return std::nullopt;

    ModeText result{*width, *height, std::nullopt};
    if (at >= 0) {
        QStringView rateText = text.mid(at + 1);
        if (rateText.endsWith(u"Hz"))
            rateText.chop(2);
        result.refreshRate = parseDouble(rateText);
        if (!result.refreshRate)
            return std::nullopt;
    }
    return result;
}

Dispor::ModePtr findMode(const Dispor::Output &output, const QString &text)
{
    const Dispor::ModeList modes = output.modes();

    for (const Dispor::ModePtr &mode : modes) {
        if (mode->id() == text)
            return mode;
    }
    for (const Dispor::ModePtr &mode : modes) {
        if (formatModeLine(output, mode) == text)
            return mode;
    }

    const std::optional<ModeText> wanted = parseModeText(text);
    if (!wanted)
        return {};
    const QSize size(wanted->width, wanted->height);

    Dispor::ModePtr found;
    for (const Dispor::ModePtr &mode : modes) {
        if (mode->size() != size)
            continue;
        if (wanted->refreshRate) {
            if (std::abs(double(mode->refreshRate()) - *wanted->refreshRate) < 0.01)
                found = mode;
        } else if (!found || mode->refreshRate() > found->refreshRate()) {
            found = mode;
        }
    }
    return found;
}
