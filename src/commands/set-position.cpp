#include "commands/parsers.h"
#include "commands/unit.h"

#include <cmath>
#include <limits>

namespace {

QStringList values;

// The number truncated toward zero; none when it is no number or the
// truncation does not fit a coordinate.
std::optional<int> coordinate(const QString &text)
{
    const std::optional<double> value = parseDouble(text);
    if (!value)
        return std::nullopt;
    const double truncated = std::trunc(*value);
    if (truncated < std::numeric_limits<int>::min() || truncated > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(truncated);
}

int setPosition(OutputPtr output, ConfigPtr config)
{
    const QString xText = values.value(0);
    const QString yText = values.value(1);
    const std::optional<int> x = coordinate(xText);
    if (!x)
        return invalidArgument(xText);
    const std::optional<int> y = coordinate(yText);
    if (!y)
        return invalidArgument(yText);
    // Applied as given: no normalising, so gaps and negative places stay.
    output->setPos(QPoint(*x, *y));
    return applyConfig(config);
}

} // namespace

COMMAND_RECORD const Command setPositionCommand[] = {
    {"OUTPUT", "set-position", "Set the position", nullptr, "Positioning", nullptr, runOn<setPosition>,
     "pos"},
};

COMMAND_OPTION_RECORD const CommandOption setPositionOptions[] = {
    {"OUTPUT", "set-position", nullptr, "X Y", nullptr, &values, OptionKind::Positional},
};
