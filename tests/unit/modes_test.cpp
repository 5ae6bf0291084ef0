#include "commands/modes.h"
#include "output_data.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <tuple>

namespace {

using Dispor::Mode;
using Dispor::ModePtr;
using Dispor::Output;

Output makeOutput(std::initializer_list<std::tuple<const char *, int, int, float>> modes,
                  const char *current = "", const char *preferred = "")
{
    Output::Data data;
    data.id = 1;
    data.name = QStringLiteral("DP-1");
    for (const auto &[id, width, height, rate] : modes)
        data.modes.insert(ModePtr::create(QString::fromUtf8(id), QSize(width, height), rate));
    data.currentModeId = QString::fromUtf8(current);
    data.preferredModeId = QString::fromUtf8(preferred);
    return Output(data);
}

QString found(const Output &output, const char *text)
{
    const ModePtr mode = findMode(output, QString::fromUtf8(text));
    return mode ? mode->id() : QStringLiteral("(none)");
}

TEST(FormatModeLine, MarksCurrentThenPreferred)
{
    const Output output =
        makeOutput({{"1", 1920, 1080, 60.0f}, {"2", 1280, 720, 59.94f}, {"3", 800, 600, 75.0f}}, "1", "1");
    const Dispor::ModeList modes = output.modes();
    EXPECT_EQ(formatModeLine(output, modes["1"]), QStringLiteral("1:1920x1080@60.00*!"));
    EXPECT_EQ(formatModeLine(output, modes["2"]), QStringLiteral("2:1280x720@59.94"));

    const Output other = makeOutput({{"1", 1920, 1080, 60.0f}, {"2", 1280, 720, 59.94f}}, "2", "1");
    EXPECT_EQ(formatModeLine(other, other.modes()["1"]), QStringLiteral("1:1920x1080@60.00!"));
    EXPECT_EQ(formatModeLine(other, other.modes()["2"]), QStringLiteral("2:1280x720@59.94*"));
}

TEST(FormatModeLine, DoesNotSubstituteInsideTheId)
{
    const Output output = makeOutput({{"%2", 640, 480, 59.94f}});
    EXPECT_EQ(formatModeLine(output, output.modes()["%2"]), QStringLiteral("%2:640x480@59.94"));
}

TEST(FindMode, ByIdLineSizeAndRate)
{
    // Ids walk as strings: "10" before "2".
    const Output output = makeOutput(
        {
            {"1", 1920, 1080, 60.0f},
            {"2", 1920, 1080, 59.94f},
            {"3", 1280, 720, 60.0f},
            {"10", 1280, 720, 75.0f},
            {"4", 1280, 720, 75.0f},
            {"1280x720", 640, 480, 60.0f},
            {"5", 2560, 1440, 60.001f},
            {"6", 2560, 1440, 60.004f},
        },
        "1", "1");
    const struct {
        const char *text;
        const char *expected;
    } cases[] = {
        {"2", "2"},
        {"1280x720", "1280x720"}, // an id wins over the size it looks like
        {"1:1920x1080@60.00*!", "1"},
        {"1:1920x1080@60.00", "(none)"}, // marks no longer match
        {"2:1920x1080@59.94", "2"},
        {"1920x1080@60", "1"},
        {"1920x1080@60Hz", "1"},
        {"1920x1080@60.0Hz", "1"},
        {"1920x1080@59.94", "2"},
        {"1920x1080@59.94Hz", "2"},
        {"1920x1080@59.9", "(none)"}, // 0.04 away
        {"1920x1080@59.945", "2"},    // within 0.01
        {"1920x1080@60hz", "(none)"}, // only "Hz" is dropped
        {"1920x1080@", "(none)"},
        {"1920x1080@Hz", "(none)"},
        {"1920x1080@nan", "(none)"},
        {"1920x1080", "1"},    // the highest rate
        {"1280x720@75", "4"},  // last match in id order: "10", then "4"
        {"2560x1440@60", "6"}, // both within 0.01, the later one
        {"2560x1440", "6"},
        {"1920X1080", "(none)"},
        {"1920x1080x", "(none)"},
        {"x1080", "(none)"},
        {"1920x", "(none)"},
        {"3840x2160", "(none)"},
        {"", "(none)"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(found(output, c.text), QString::fromUtf8(c.expected)) << c.text;
}

TEST(FindMode, AmongEqualRatesTheFirstInIdOrderWins)
{
    const Output output =
        makeOutput({{"b", 1280, 720, 75.0f}, {"a", 1280, 720, 75.0f}, {"c", 1280, 720, 60.0f}});
    EXPECT_EQ(found(output, "1280x720"), QStringLiteral("a"));
    EXPECT_EQ(found(output, "1280x720@75"), QStringLiteral("b"));
}

TEST(ParseModeText, SplitsAtTheFirstXAndTheFirstAtAfterIt)
{
    const std::optional<ModeText> withRate = parseModeText(u"1920x1080@59.94Hz");
    ASSERT_TRUE(withRate);
    EXPECT_EQ(withRate->width, 1920);
    EXPECT_EQ(withRate->height, 1080);
    EXPECT_EQ(withRate->refreshRate, 59.94);

    const std::optional<ModeText> sizeOnly = parseModeText(u"800x600");
    ASSERT_TRUE(sizeOnly);
    EXPECT_EQ(sizeOnly->height, 600);
    EXPECT_FALSE(sizeOnly->refreshRate);

    EXPECT_FALSE(parseModeText(u"19@20x1080"));    // the "@" before the "x" is part of the width
    EXPECT_FALSE(parseModeText(u"1920x1080@60@")); // the rate is everything after the first "@"
    EXPECT_FALSE(parseModeText(u"1920x1080@60HzHz"));
    EXPECT_FALSE(parseModeText(u"99999999999x1080@60"));
}

} // namespace
