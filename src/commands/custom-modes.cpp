#include "commands/custom-modes.h"

#include "commands/modes.h"
#include "commands/parsers.h"

#include <cmath>
#include <cstdint>

std::optional<Dispor::ModeInfo> customModeFromResolution(QStringView text, bool reducedBlanking)
{
    const std::optional<ModeText> parsed = parseModeText(text);
    if (!parsed || !parsed->refreshRate)
        return std::nullopt;
    // A rate beyond the float range would reach the service as infinity.
    const float rate = static_cast<float>(*parsed->refreshRate);
    if (!std::isfinite(rate))
        return std::nullopt;

    Dispor::ModeInfo mode;
    mode.width = parsed->width;
    mode.height = parsed->height;
    mode.refreshRate = rate;
    mode.flags = Dispor::ModeInfo::UserDefined;
    if (reducedBlanking)
        mode.flags |= Dispor::ModeInfo::ReducedBlanking;
    return mode;
}

std::optional<float> refreshRateFromTimings(const Dispor::ModeTimings &timings)
{
    if (timings.htotal == 0 || timings.vtotal == 0)
        return std::nullopt;
    const uint64_t lines = uint64_t(timings.clock) * 1000000u / timings.htotal;
    uint32_t millihertz = static_cast<uint32_t>((lines + timings.vtotal / 2u) / timings.vtotal);
    if (timings.flags & Dispor::ModeTimings::Interlace)
        millihertz *= 2;
    return static_cast<float>(millihertz) / 1000.0f;
}

namespace {

// The low 32 bits of the clock in kHz, rounded half away from zero (fmod
// is exact); none when the clock in kHz is beyond the double range.
std::optional<uint32_t> clockKiloHertz(double megaHertz)
{
    constexpr double wrap = 4294967296.0;
    const double kiloHertz = std::round(megaHertz * 1000.0);
    if (!std::isfinite(kiloHertz))
        return std::nullopt;
    double low = std::fmod(kiloHertz, wrap);
    if (low < 0)
        low += wrap;
    return static_cast<uint32_t>(low);
}

std::optional<uint16_t> timingValue(const QString &text)
{
    bool ok = false;
    const uint value = QStringView(text).toUInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return static_cast<uint16_t>(value);
}

struct FlagWord {
    const char16_t *word;
    uint32_t bit;
};

constexpr FlagWord flagWords[] = {
    {u"+hsync", Dispor::ModeTimings::PositiveHSync}, {u"-hsync", Dispor::ModeTimings::NegativeHSync},
    {u"+vsync", Dispor::ModeTimings::PositiveVSync}, {u"-vsync", Dispor::ModeTimings::NegativeVSync},
    {u"interlace", Dispor::ModeTimings::Interlace},
};

} // namespace

TimingsResult customModeFromTimings(const QStringList &values)
{
    const auto failed = [](const QString &text) { return TimingsResult{std::nullopt, text}; };
    if (values.size() < 9)
        return failed({});

    Dispor::ModeTimings timings;
    const std::optional<double> megaHertz = parseDouble(values[0]);
    const std::optional<uint32_t> clock = megaHertz ? clockKiloHertz(*megaHertz) : std::nullopt;
    if (!clock)
        return failed(values[0]);
    timings.clock = *clock;

    uint16_t *const fields[] = {&timings.hdisplay, &timings.hsyncStart, &timings.hsyncEnd, &timings.htotal,
                                &timings.vdisplay, &timings.vsyncStart, &timings.vsyncEnd, &timings.vtotal};
    for (int i = 0; i < 8; ++i) {
        const QString &text = values[i + 1];
        const std::optional<uint16_t> value = timingValue(text);
        // A zero total would leave the refresh rate undefined.
        const bool isTotal = fields[i] == &timings.htotal || fields[i] == &timings.vtotal;
        if (!value || (isTotal && *value == 0))
            return failed(text);
        *fields[i] = *value;
    }

    for (qsizetype i = 9; i < values.size(); ++i) {
        const FlagWord *match = nullptr;
        for (const FlagWord &flag : flagWords) {
            if (values[i] == QStringView(flag.word))
                match = &flag;
        }
        if (!match)
            return failed(values[i]);
        timings.flags |= match->bit;
    }
    timings.hskew = 0;
    timings.vscan = 1;

    Dispor::ModeInfo mode;
    mode.width = timings.hdisplay;
    mode.height = timings.vdisplay;
    mode.refreshRate = *refreshRateFromTimings(timings);
    mode.flags = Dispor::ModeInfo::UserDefined;
    mode.timings = timings;
    return TimingsResult{mode, {}};
}
