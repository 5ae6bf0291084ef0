#include "commands/values.h"

#include "core/print.h"

int applySwitches(const OutputPtr &output, const ConfigPtr &config, bool value,
                  std::initializer_list<BoolSetter> setters)
{
    for (const BoolSetter setter : setters)
        ((*output).*setter)(value);
    return applyConfig(config);
}

int applyBoolText(const QString &text, const OutputPtr &output, const ConfigPtr &config,
                  std::initializer_list<BoolSetter> setters)
{
    const std::optional<bool> value = parseBool(text);
    if (!value)
        return invalidArgument(text);
    return applySwitches(output, config, *value, setters);
}

int applyToggle(const OutputPtr &output, const ConfigPtr &config, BoolGetter getter, BoolSetter setter)
{
    return applySwitches(output, config, !((*output).*getter)(), {setter});
}

std::optional<int> parseInRange(const QString &text, const IntRange &range)
{
    const std::optional<int> value = parseInteger(text);
    if (!value) {
        invalidArgument(text);
        return std::nullopt;
    }
    if (*value < range.min || *value > range.max) {
        printLineTo(stderr, "{}", range.message);
        return std::nullopt;
    }
    return value;
}

int applyCount(const QString &text, const OutputPtr &output, const ConfigPtr &config, const IntRange &range,
               void (Dispor::Output::*setter)(uint32_t))
{
    const std::optional<int> value = parseInRange(text, range);
    if (!value)
        return 1;
    return applyValue(output, config, setter, static_cast<uint32_t>(*value));
}

int applyHundredths(const QString &text, const OutputPtr &output, const ConfigPtr &config,
                    const IntRange &range, void (Dispor::Output::*setter)(double))
{
    const std::optional<int> value = parseInRange(text, range);
    if (!value)
        return 1;
    return applyValue(output, config, setter, *value / 100.0);
}

int applyFraction(const QString &text, const OutputPtr &output, const ConfigPtr &config,
                  const char *rangeMessage, void (Dispor::Output::*setter)(double))
{
    const std::optional<double> value = parsePercentage(text);
    if (!value)
        return invalidArgument(text);
    if (*value < 0.0 || *value > 1.0) {
        printLineTo(stderr, "{}", rangeMessage);
        return 1;
    }
    return applyValue(output, config, setter, *value);
}

int applyOverride(const QString &text, const OutputPtr &output, const ConfigPtr &config,
                  const char *rangeMessage, void (Dispor::Output::*setter)(std::optional<double>))
{
    if (text == u"none")
        return applyValue(output, config, setter, std::optional<double>());
    const std::optional<int> value = parseInRange(text, {0, 10000, rangeMessage});
    if (!value)
        return 1;
    return applyValue(output, config, setter, std::optional<double>(*value));
}
