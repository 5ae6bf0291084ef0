#include "commands/parsers.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

using Source = Dispor::Output::ColorProfileSource;

TEST(ParseInteger, AcceptsSignedDecimalsThatFit32Bits)
{
    const struct {
        const char16_t *text;
        std::optional<int> expected;
    } cases[] = {
        {u"100", 100},
        {u"12", 12},
        {u"-3", -3},
        {u"+5", 5},
        {u"0012", 12},
        {u"-0", 0},
        {u"2147483647", 2147483647},
        {u"-2147483648", -2147483647 - 1},
        {u"2147483648", std::nullopt},
        {u"-2147483649", std::nullopt},
        {u"99999999999", std::nullopt},
        {u"9999999999999999999999", std::nullopt},
        {u"", std::nullopt},
        {u"1.5", std::nullopt},
        {u"0x10", std::nullopt},
        {u"12%", std::nullopt},
        {u"1,000", std::nullopt},
        {u"- 1", std::nullopt},
        {u"high", std::nullopt},
    };
    for (const auto &c : cases)
        EXPECT_EQ(parseInteger(c.text), c.expected) << QString::fromUtf16(c.text).toStdString();
}

TEST(ParseDouble, AcceptsFiniteCLocaleNumbersOnly)
{
    const struct {
        const char16_t *text;
        std::optional<double> expected;
    } cases[] = {
        {u"100.9", 100.9},
        {u"-0.5", -0.5},
        {u"1e3", 1000.0},
        {u".5", 0.5},
        {u"+1", 1.0},
        {u"1,5", std::nullopt},
        {u"1,000", std::nullopt},
        {u"10px", std::nullopt},
        {u"0x10", std::nullopt},
        {u"", std::nullopt},
        {u"nan", std::nullopt},
        {u"NaN", std::nullopt},
        {u"inf", std::nullopt},
        {u"-inf", std::nullopt},
        {u"+inf", std::nullopt},
        {u"1e309", std::nullopt},
        {u"-1e309", std::nullopt},
    };
    for (const auto &c : cases)
        EXPECT_EQ(parseDouble(c.text), c.expected) << QString::fromUtf16(c.text).toStdString();
}

TEST(ParsePercentage, DropsOneTrailingPercentAndDividesBy100)
{
    const struct {
        const char16_t *text;
        std::optional<double> expected;
    } cases[] = {
        {u"50%", 0.5},
        {u"50", 0.5},
        {u"200%", 2.0},
        {u"200", 2.0},
        {u"2", 0.02},
        {u"150.5%", 1.505},
        {u"50%%", std::nullopt},
        {u"5%0", std::nullopt},
        {u"%50", std::nullopt},
        {u"%", std::nullopt},
        {u"", std::nullopt},
        {u"nan%", std::nullopt},
        {u"inf", std::nullopt},
        {u"1e309%", std::nullopt},
    };
    for (const auto &c : cases)
        EXPECT_EQ(parsePercentage(c.text), c.expected) << QString::fromUtf16(c.text).toStdString();
}

TEST(ParseBool, KnowsFourLowerCaseWords)
{
    const struct {
        const char16_t *text;
        std::optional<bool> expected;
    } cases[] = {
        {u"true", true},         {u"on", true},         {u"false", false},        {u"off", false},
        {u"True", std::nullopt}, {u"On", std::nullopt}, {u"TRUE", std::nullopt},  {u"1", std::nullopt},
        {u"yes", std::nullopt},  {u"", std::nullopt},   {u"true ", std::nullopt},
    };
    for (const auto &c : cases)
        EXPECT_EQ(parseBool(c.text), c.expected) << QString::fromUtf16(c.text).toStdString();
}

TEST(ParseColorProfileSource, MatchesTheThreeWordsExactly)
{
    EXPECT_EQ(parseColorProfileSource(u"sRGB"), Source::sRGB);
    EXPECT_EQ(parseColorProfileSource(u"ICC"), Source::ICC);
    EXPECT_EQ(parseColorProfileSource(u"EDID"), Source::EDID);
    for (const char16_t *text : {u"srgb", u"icc", u"Edid", u"edid", u"", u"EDID "})
        EXPECT_EQ(parseColorProfileSource(text), std::nullopt) << QString::fromUtf16(text).toStdString();
}

} // namespace
