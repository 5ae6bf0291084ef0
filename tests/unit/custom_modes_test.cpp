#include "commands/custom-modes.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

using Dispor::ModeInfo;
using Dispor::ModeTimings;

QStringList words(const char *text)
{
    return QString::fromUtf8(text).split(u' ');
}

TEST(CustomModeFromTimings, TheHelpExample)
{
    const TimingsResult result =
        customModeFromTimings(words("712.75 3840 4160 4576 5312 2160 2163 2168 2237 -hsync +vsync"));
    ASSERT_TRUE(result.mode) << result.failedValue.toStdString();
    const ModeInfo &mode = *result.mode;
    EXPECT_EQ(mode.width, 3840);
    EXPECT_EQ(mode.height, 2160);
    EXPECT_EQ(mode.refreshRate, 59.981f);
    EXPECT_EQ(mode.flags, ModeInfo::UserDefined);
    ASSERT_TRUE(mode.timings);
    const ModeTimings expected{712750, 3840, 4160, 4576, 5312, 0, 2160, 2163, 2168, 2237, 1, 6};
    EXPECT_EQ(*mode.timings, expected);
}

TEST(CustomModeFromTimings, FlagsAndSixteenBitFields)
{
    // Values keep their low 16 bits; a flag given twice adds nothing more.
    const TimingsResult result = customModeFromTimings(
        words("148.5 67456 2008 2052 2200 1080 1084 1089 1125 interlace +hsync +hsync -vsync"));
    ASSERT_TRUE(result.mode) << result.failedValue.toStdString();
    EXPECT_EQ(result.mode->width, 1920);
    EXPECT_EQ(result.mode->timings->hdisplay, 1920);
    EXPECT_EQ(result.mode->timings->flags, 16u + 1u + 8u);
    // 148500 kHz over 2200 x 1125 is exactly 60 Hz, doubled for interlace.
    EXPECT_EQ(result.mode->refreshRate, 120.0f);
}

TEST(CustomModeFromTimings, ClockIsRoundedHalfAwayFromZeroToKiloHertz)
{
    const struct {
        const char *clock;
        uint32_t kiloHertz;
    } cases[] = {
        {"0.0005", 1},           {"0.0004", 0},      {"25.1754", 25175},
        {"1e3", 1000000},        {"4294967.296", 0}, // 2^32 kHz wraps to its low 32 bits
        {"-0.001", 4294967295u},                     // so does a negative clock
    };
    for (const auto &c : cases) {
        const TimingsResult result = customModeFromTimings(QStringList{QString::fromUtf8(c.clock)} +
                                                           words("640 656 752 800 480 490 492 525"));
        ASSERT_TRUE(result.mode) << c.clock;
        EXPECT_EQ(result.mode->timings->clock, c.kiloHertz) << c.clock;
    }
}

TEST(CustomModeFromTimings, NamesTheFirstValueThatFails)
{
    const struct {
        const char *values;
        const char *failed;
    } cases[] = {
        {"25.175 640 656 752 800 480 490 492 525 phsync", "phsync"},
        {"25.175 640 656 752 800 480 490 492 525 +HSYNC", "+HSYNC"},
        {"25.175 640 656 752 -800 480 490 492 525", "-800"},
        {"25.175 640 656 752 800 480 490 492 4294967296", "4294967296"},
        {"25.175 640 656 752 800 480 490 492 52.5", "52.5"},
        {"25.175 640 0x10 752 800 480 490 492 525", "0x10"},
        {"fast 640 656 752 x 480 490 492 525", "fast"},
        {"nan 640 656 752 800 480 490 492 525", "nan"},
        {"1e306 640 656 752 800 480 490 492 525", "1e306"},
        // Zero totals, also after truncation to 16 bits, would divide by zero.
        {"25.175 640 656 752 0 480 490 492 525", "0"},
        {"25.175 640 656 752 65536 480 490 492 0", "65536"},
        {"25.175 640 656 752 800 480 490 492 131072", "131072"},
    };
    for (const auto &c : cases) {
        const TimingsResult result = customModeFromTimings(words(c.values));
        EXPECT_FALSE(result.mode) << c.values;
        EXPECT_EQ(result.failedValue, QString::fromUtf8(c.failed)) << c.values;
    }
}

TEST(RefreshRateFromTimings, IntegerMillihertzAndInterlace)
{
    ModeTimings timings{712750, 3840, 4160, 4576, 5312, 0, 2160, 2163, 2168, 2237, 1, 0};
    EXPECT_EQ(refreshRateFromTimings(timings), 59.981f);
    timings.flags = ModeTimings::Interlace;
    EXPECT_EQ(refreshRateFromTimings(timings), 119.962f);

    // 25175 kHz over 800 x 525: 59940.476 mHz, rounded to the nearest line total.
    EXPECT_EQ(refreshRateFromTimings({25175, 640, 656, 752, 800, 0, 480, 490, 492, 525, 1, 0}), 59.94f);
    EXPECT_EQ(refreshRateFromTimings({UINT32_MAX, 1, 1, 1, 1, 0, 1, 1, 1, 1, 1, 0}),
              float(uint32_t(uint64_t(UINT32_MAX) * 1000000u)) / 1000.0f);

    EXPECT_EQ(refreshRateFromTimings({25175, 640, 656, 752, 0, 0, 480, 490, 492, 525, 1, 0}), std::nullopt);
    EXPECT_EQ(refreshRateFromTimings({25175, 640, 656, 752, 800, 0, 480, 490, 492, 0, 1, 0}), std::nullopt);
}

TEST(CustomModeFromResolution, AcceptsWidthHeightAndRate)
{
    const std::optional<ModeInfo> plain = customModeFromResolution(u"1920x1080@60.0Hz", false);
    ASSERT_TRUE(plain);
    EXPECT_EQ(*plain, (ModeInfo{1920, 1080, 60.0f, ModeInfo::UserDefined, std::nullopt}));
    EXPECT_EQ(customModeFromResolution(u"1920x1080@60", false), plain);

    const std::optional<ModeInfo> reduced = customModeFromResolution(u"1920x1080@60", true);
    ASSERT_TRUE(reduced);
    EXPECT_EQ(reduced->flags, ModeInfo::UserDefined | ModeInfo::ReducedBlanking);
    EXPECT_NE(*reduced, *plain);

    // No range check here: the service decides.
    EXPECT_EQ(customModeFromResolution(u"-1x0@0", false),
              (ModeInfo{-1, 0, 0.0f, ModeInfo::UserDefined, std::nullopt}));

    for (const char16_t *text : {u"1920x1080", u"1920x1080@60hz", u"1920X1080@60", u"1920x1080@", u"x1080@60",
                                 u"1920x1080@inf", u"1920x1080@1e39", u""})
        EXPECT_FALSE(customModeFromResolution(text, false)) << QString::fromUtf16(text).toStdString();
}

TEST(CustomModeEquality, TimingsAndResolutionFormsDiffer)
{
    const TimingsResult timed = customModeFromTimings(words("148.5 1920 2008 2052 2200 1080 1084 1089 1125"));
    ASSERT_TRUE(timed.mode);
    const std::optional<ModeInfo> resolution = customModeFromResolution(u"1920x1080@60", false);
    ASSERT_TRUE(resolution);
    EXPECT_EQ(timed.mode->refreshRate, resolution->refreshRate);
    EXPECT_NE(*timed.mode, *resolution);
}

} // namespace
