// The five value parsers on any text, with the properties their rules give.

#include "fuzz.h"

#include "commands/parsers.h"

#include <cmath>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::silenceStreams();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(fuzz::bytes(data, size));

    if (const std::optional<int> value = parseInteger(text)) {
        FUZZ_CHECK(!text.isEmpty());
        FUZZ_CHECK(parseInteger(QString::number(*value)) == value);
    }

    const std::optional<double> number = parseDouble(text);
    if (number) {
        FUZZ_CHECK(std::isfinite(*number));
        FUZZ_CHECK(parseDouble(QString::number(*number, 'g', 17)) == number);
    }

    // One trailing "%" may go; the number is divided by 100 either way.
    QString withoutPercent = text;
    if (withoutPercent.endsWith(u'%'))
        withoutPercent.chop(1);
    const std::optional<double> percentage = parsePercentage(text);
    const std::optional<double> plain = parseDouble(withoutPercent);
    FUZZ_CHECK(percentage.has_value() == plain.has_value());
    if (percentage)
        FUZZ_CHECK(*percentage == *plain / 100.0);

    if (const std::optional<bool> value = parseBool(text)) {
        FUZZ_CHECK(text == u"on" || text == u"true" || text == u"off" || text == u"false");
        FUZZ_CHECK(*value == (text == u"on" || text == u"true"));
    }

    if (const auto source = parseColorProfileSource(text)) {
        FUZZ_CHECK(text == u"sRGB" || text == u"ICC" || text == u"EDID");
        FUZZ_CHECK(int(*source) == (text == u"sRGB" ? 0 : text == u"ICC" ? 1 : 2));
    }
    return 0;
}
