#include "report/text.h"

#include "core/print.h"

#include <dispor/words.h>

#include <fmt/compile.h>

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using Output = Dispor::Output;
using Capability = Output::Capability;

// Set before the entry point runs, empty under NO_COLOR.
const std::string_view green = styled("\x1b[01;32m");
const std::string_view red = styled("\x1b[01;31m");
const std::string_view yellow = styled("\x1b[01;33m");
const std::string_view blue = styled("\x1b[01;34m");
const std::string_view reset = styled("\x1b[0;0m");

// This report's own words where they differ from the library's
// (dispor/words.h), which it takes for the rest.
using O = Output;
constexpr Dispor::words::Word<O::VrrPolicy> vrrWords[] = {
    {"Never", O::VrrPolicy::Never}, {"Always", O::VrrPolicy::Always}, {"Automatic", O::VrrPolicy::Automatic}};
constexpr Dispor::words::Word<O::RgbRange> rgbRangeWords[] = {
    {"Automatic", O::RgbRange::Automatic}, {"Full", O::RgbRange::Full}, {"Limited", O::RgbRange::Limited}};
constexpr Dispor::words::Word<O::AutoRotatePolicy> autoRotateWords[] = {
    {"never", O::AutoRotatePolicy::Never},
    {"inTabletMode", O::AutoRotatePolicy::InTabletMode},
    {"always", O::AutoRotatePolicy::Always}};
constexpr Dispor::words::Word<O::ColorPowerTradeoff> colorPowerWords[] = {
    {"prefer efficiency and performance", O::ColorPowerTradeoff::PreferEfficiency},
    {"prefer accuracy", O::ColorPowerTradeoff::PreferAccuracy}};

template <typename Table, typename Enum>
const char *labelOf(const Table &table, Enum value, const char *otherwise = "unknown")
{
    const char *word = Dispor::words::wordOf(table, value);
    return word ? word : otherwise;
}

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Up to six significant digits, no trailing zeros, like a default text
// stream; "-0" reads as "0" there too.
std::string number(double value)
{
    return fmt::format("{:.6g}", value + 0.0);
}

std::string percentage(double fraction)
{
    return number(std::round(fraction * 100)) + "%";
}

using Out = fmt::appender;

void overridePart(Out out, std::optional<double> value, double divisor = 1)
{
    if (value)
        fmt::format_to(out, "{}, overridden with: {}{} nits", yellow, reset, number(*value / divisor));
}

void modesLine(Out out, const Output &output)
{
    fmt::format_to(out, "\t{}Modes: {}", blue, reset);
    const Dispor::ModeList modes = output.modes();
    std::vector<std::pair<QString, Dispor::ModePtr>> sorted;
    sorted.reserve(modes.size());
    for (auto it = modes.cbegin(); it != modes.cend(); ++it)
        sorted.emplace_back(it.key(), it.value());
    std::sort(sorted.begin(), sorted.end(),
              [](const auto &a, const auto &b) { return modeIdLess(a.first, b.first); });
    const Dispor::ModePtr current = output.isPlacementKnown() ? output.currentMode() : nullptr;
    const Dispor::ModePtr preferred = output.preferredMode();
    for (const auto &[id, mode] : sorted) {
        const QSize size = mode->size();
        const double hertz = mode->refreshRate();
        const char *mark = mode == preferred ? "!" : "";
        if (mode == current) {
            fmt::format_to(out, FMT_COMPILE(" {}:{}{}x{}@{:.2f}*{}{} "), mode->id(), green, size.width(),
                           size.height(), hertz, reset, mark);
        } else {
            fmt::format_to(out, FMT_COMPILE(" {}:{}x{}@{:.2f}{} "), mode->id(), size.width(), size.height(),
                           hertz, mark);
        }
    }
    fmt::format_to(out, "\n");
}

void customModeLines(Out out, const Output &output)
{
    const QList<Dispor::ModeInfo> customModes = output.customModes();
    fmt::format_to(out, "{}\tCustom modes:{}{}\n", yellow, reset, customModes.isEmpty() ? " None" : "");
    for (qsizetype i = 0; i < customModes.size(); ++i) {
        const Dispor::ModeInfo &mode = customModes.at(i);
        fmt::format_to(out, FMT_COMPILE("\t\t{}: {}x{}@{:.2f}{}\n"), i, mode.width, mode.height,
                       static_cast<double>(mode.refreshRate),
                       (mode.flags & Dispor::ModeInfo::ReducedBlanking) ? " (reduced blanking)" : "");
    }
}

void hdrLines(Out out, const Output &output)
{
    fmt::format_to(out, "{}\tHDR: {}", yellow, reset);
    if (!output.capabilities().testFlag(Capability::HighDynamicRange)) {
        fmt::format_to(out, "incapable\n");
        return;
    }
    if (!output.isHdrEnabled()) {
        fmt::format_to(out, "disabled\n");
        return;
    }
    fmt::format_to(out, "enabled\n");
    fmt::format_to(out, "{}\t\tSDR brightness: {}{} nits\n", yellow, reset, output.sdrBrightness());
    fmt::format_to(out, "{}\t\tSDR gamut wideness: {}{}\n", yellow, reset,
                   percentage(output.sdrGamutWideness()));

    fmt::format_to(out, "{}\t\tPeak brightness: {}", yellow, reset);
    if (output.maxPeakBrightness() == 0)
        fmt::format_to(out, "unknown");
    else
        fmt::format_to(out, "{} nits", number(output.maxPeakBrightness()));
    overridePart(out, output.maxPeakBrightnessOverride());
    fmt::format_to(out, "\n");

    fmt::format_to(out, "{}\t\tMax average brightness: {}", yellow, reset);
    if (output.maxAverageBrightness() == 0)
        fmt::format_to(out, "unknown");
    else
        fmt::format_to(out, "{} nits", number(output.maxAverageBrightness()));
    overridePart(out, output.maxAverageBrightnessOverride());
    fmt::format_to(out, "\n");

    // The override is kept in 1/10000 nit.
    fmt::format_to(out, "{}\t\tMin brightness: {}{} nits", yellow, reset, number(output.minBrightness()));
    overridePart(out, output.minBrightnessOverride(), 10000);
    fmt::format_to(out, "\n");

    const bool hdrIcc = output.capabilities().testFlag(Capability::HdrIccProfile);
    fmt::format_to(out, "{}\t\tHDR color profile source: {}{}\n", yellow, reset,
                   hdrIcc ? labelOf(Dispor::words::colorProfileSource, output.hdrColorProfileSource())
                          : "incapable");
    if (hdrIcc) {
        const QString path = output.hdrIccProfilePath();
        fmt::format_to(out, "{}\t\tHDR ICC profile: {}{}\n", yellow, reset,
                       path.isEmpty() ? QStringLiteral("none") : path);
    }
}

void colorResolutionLine(Out out, const Output &output)
{
    fmt::format_to(out, "{}\tColor resolution: ", yellow);
    if (!output.capabilities().testFlag(Capability::MaxBitsPerColor)) {
        fmt::format_to(out, "unknown\n");
        return;
    }
    fmt::format_to(out, "{}", reset);
    if (output.maxBitsPerColor() != 0) {
        fmt::format_to(out, "{} bits per color", output.maxBitsPerColor());
    } else {
        uint32_t depth =
            output.colorPowerPreference() == Output::ColorPowerTradeoff::PreferEfficiency ? 10 : 16;
        const uint32_t limit = output.automaticMaxBitsPerColorLimit();
        if (limit != 0 && limit < depth)
            depth = limit;
        fmt::format_to(out, "automatic ({})", depth);
    }
    const Output::BpcRange range = output.bitsPerColorRange();
    fmt::format_to(out, ", range: [{}; {}] bits per color\n", range.min, range.max);
}

} // namespace

bool modeIdLess(QStringView a, QStringView b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (!isAsciiDigit(a[i]) || !isAsciiDigit(b[j])) {
            if (a[i] != b[j])
                return a[i] < b[j];
            ++i;
            ++j;
            continue;
        }
        // Two digit runs: without leading zeros, the longer is the larger;
        // of equal length, the first differing digit decides.
        while (i < a.size() && a[i] == u'0')
            ++i;
        while (j < b.size() && b[j] == u'0')
            ++j;
        qsizetype endA = i;
        while (endA < a.size() && isAsciiDigit(a[endA]))
            ++endA;
        qsizetype endB = j;
        while (endB < b.size() && isAsciiDigit(b[endB]))
            ++endB;
        if (endA - i != endB - j)
            return endA - i < endB - j;
        for (; i < endA; ++i, ++j) {
            if (a[i] != b[j])
                return a[i] < b[j];
        }
        j = endB;
    }
    const bool aEnded = i == a.size();
    const bool bEnded = j == b.size();
    if (aEnded != bEnded)
        return aEnded;
    // Equal by value ("01" and "1"): plain order keeps the sort stable.
    return a < b;
}

std::string outputText(const Output &output)
{
    fmt::memory_buffer buffer;
    const Out out(buffer);
    const Output::Capabilities caps = output.capabilities();
    const bool enabled = output.isEnabled();

    fmt::format_to(out, "{}Output: {}{} {} {}\n", green, reset, output.id(), output.name(), output.uuid());
    fmt::format_to(out, "\t{}{}{}\n", enabled ? green : red, enabled ? "enabled" : "disabled", reset);
    const bool connected = output.isConnected();
    fmt::format_to(out, "\t{}{}{}\n", connected ? green : red, connected ? "connected" : "disconnected",
                   reset);
    fmt::format_to(out, "\t{}priority {}{}\n", enabled ? green : red, output.priority(), reset);
    fmt::format_to(out, "\t{}{}{}\n", yellow,
                   labelOf(Dispor::words::type, output.type(), "UnmappedOutputType"), reset);
    fmt::format_to(out, "\t{}replication source:{}{}\n", yellow, reset, output.replicationSource());
    modesLine(out, output);
    customModeLines(out, output);

    // A disabled output whose place nobody remembers has none to show.
    if (output.isPlacementKnown()) {
        const QRect geometry = output.geometry();
        fmt::format_to(out, "{}\tGeometry: {}{},{} {}x{}\n", yellow, reset, geometry.left(), geometry.top(),
                       geometry.width(), geometry.height());
        fmt::format_to(out, "{}\tScale: {}{}\n", yellow, reset, number(output.scale()));
        fmt::format_to(out, "{}\tRotation: {}{}\n", yellow, reset, static_cast<uint32_t>(output.rotation()));
    } else {
        fmt::format_to(out, "{0}\tGeometry: {1}unknown\n{0}\tScale: {1}unknown\n{0}\tRotation: {1}unknown\n",
                       yellow, reset);
    }
    fmt::format_to(out, "{}\tOverscan: {}{}\n", yellow, reset, output.overscan());
    fmt::format_to(out, "{}\tVrr: {}{}\n", yellow, reset,
                   caps.testFlag(Capability::Vrr) ? labelOf(vrrWords, output.vrrPolicy()) : "incapable");
    fmt::format_to(out, "{}\tRgbRange: {}{}\n", yellow, reset,
                   caps.testFlag(Capability::RgbRange) ? labelOf(rgbRangeWords, output.rgbRange())
                                                       : "unknown");
    hdrLines(out, output);

    fmt::format_to(out, "{}\tWide Color Gamut: {}{}\n", yellow, reset,
                   !caps.testFlag(Capability::WideColorGamut) ? "incapable"
                   : output.isWcgEnabled()                    ? "enabled"
                                                              : "disabled");
    fmt::format_to(out, "{}\tICC profile: {}", yellow, reset);
    if (!caps.testFlag(Capability::IccProfile))
        fmt::format_to(out, "incapable\n");
    else if (output.iccProfilePath().isEmpty())
        fmt::format_to(out, "none\n");
    else
        fmt::format_to(out, "{}\n", output.iccProfilePath());

    const bool profiles =
        caps.testFlag(Capability::IccProfile) || caps.testFlag(Capability::BuiltInColorProfile);
    fmt::format_to(out, "{}\tColor profile source: {}{}\n", yellow, reset,
                   profiles ? labelOf(Dispor::words::colorProfileSource, output.colorProfileSource())
                            : "incapable");
    if (profiles) {
        fmt::format_to(out, "{}\tColor power preference: {}{}\n", yellow, reset,
                       labelOf(colorPowerWords, output.colorPowerPreference()));
    }

    fmt::format_to(out, "{}\tBrightness control: {}", yellow, reset);
    if (caps.testFlag(Capability::BrightnessControl)) {
        fmt::format_to(out, "supported, set to {} and dimming to {}\n", percentage(output.brightness()),
                       percentage(output.dimming()));
    } else {
        fmt::format_to(out, "unsupported\n");
    }
    if (caps.testFlag(Capability::DdcCi)) {
        fmt::format_to(out, "{}\tDDC/CI: {}{}\n", yellow, reset,
                       output.ddcCiAllowed() ? "allowed" : "disallowed");
    }
    colorResolutionLine(out, output);
    fmt::format_to(out, "{}\tAllow EDR: {}{}\n", yellow, reset,
                   caps.testFlag(Capability::Edr) ? labelOf(Dispor::words::edrPolicy, output.edrPolicy())
                                                  : "unsupported");
    fmt::format_to(out, "{}\tSharpness control: {}", yellow, reset);
    if (caps.testFlag(Capability::SharpnessControl))
        fmt::format_to(out, "supported, set to {}\n", percentage(output.sharpness()));
    else
        fmt::format_to(out, "unsupported\n");
    fmt::format_to(out, "{}\tAutomatic brightness: {}", yellow, reset);
    if (caps.testFlag(Capability::AutomaticBrightness))
        fmt::format_to(out, "supported, {}\n", output.automaticBrightness() ? "enabled" : "disabled");
    else
        fmt::format_to(out, "unsupported\n");
    fmt::format_to(out, "{}\tAuto Rotate Policy: {}{}\n", yellow, reset,
                   caps.testFlag(Capability::AutoRotation)
                       ? labelOf(autoRotateWords, output.autoRotatePolicy())
                       : "incapable");
    fmt::format_to(out, "{}\tDisabling: {}{}\n", yellow, reset,
                   caps.testFlag(Capability::Disable) ? "supported" : "unsupported");
    fmt::format_to(out, "{}\tAdaptive backlight modulation: {}", yellow, reset);
    if (caps.testFlag(Capability::Abm))
        fmt::format_to(out, "supported, set to {}\n", output.abmLevel());
    else
        fmt::format_to(out, "unsupported\n");

    return std::string(buffer.data(), buffer.size());
}

void printOutputText(const Output &output)
{
    printTo(stdout, "{}", outputText(output));
}
