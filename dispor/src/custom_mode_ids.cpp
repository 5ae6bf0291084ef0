#include "custom_mode_ids.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string_view>

namespace Dispor {

namespace {

// A custom mode's rate as its id holds it, into buffer (64 bytes, enough
// for any float), returning the text's end: two decimals ("60.00") where
// they give the rate exactly, else the shortest exact form. std::to_chars
// and from_chars round exactly, as Qt's conversions do, at a fraction of
// their cost: a large set has a rate per custom mode.
char *writeRate(char *buffer, float rate)
{
    // The usual rate: below a million the hundredfold is exact in a double,
    // so its rounding is the two-decimal text's, and hundredths divided
    // read back as the text would.
    if (rate >= 0 && rate < 1e6f) {
        const double hundredths = std::round(double(rate) * 100);
        if (static_cast<float>(hundredths / 100) == rate) {
            const auto whole = static_cast<uint32_t>(hundredths) / 100;
            const auto part = static_cast<uint32_t>(hundredths) % 100;
            char *at = std::to_chars(buffer, buffer + 64, whole).ptr;
            *at++ = '.';
            *at++ = char('0' + part / 10);
            *at++ = char('0' + part % 10);
            return at;
        }
    }
    auto result = std::to_chars(buffer, buffer + 64, double(rate), std::chars_format::fixed, 2);
    double back = 0;
    std::from_chars(buffer, result.ptr, back);
    if (static_cast<float>(back) != rate)
        result = std::to_chars(buffer, buffer + 64, rate);
    return result.ptr;
}

char *append(char *at, std::string_view text)
{
    return std::copy(text.begin(), text.end(), at);
}

// A 32-bit number's digits, at most 11.
template <typename T> char *appendNumber(char *at, T value, int base = 10)
{
    static_assert(sizeof(T) <= 4);
    char digits[16];
    const char *end = std::to_chars(digits, digits + sizeof digits, value, base).ptr;
    return std::copy(static_cast<const char *>(digits), end, at);
}

// FNV-1a over the timing fields, so that different timings of one size and
// rate get different ids.
uint32_t timingsHash(const ModeTimings &t)
{
    uint32_t hash = 2166136261u;
    for (const uint32_t v :
         {t.clock, uint32_t(t.hdisplay), uint32_t(t.hsyncStart), uint32_t(t.hsyncEnd), uint32_t(t.htotal),
          uint32_t(t.hskew), uint32_t(t.vdisplay), uint32_t(t.vsyncStart), uint32_t(t.vsyncEnd),
          uint32_t(t.vtotal), uint32_t(t.vscan), t.flags}) {
        for (int shift = 0; shift < 32; shift += 8) {
            hash ^= (v >> shift) & 0xff;
            hash *= 16777619u;
        }
    }
    return hash;
}

// The id a custom mode would have alone: what its size, rate, flags and
// timings say.
QString baseId(const ModeInfo &mode)
{
    // At most 7 + 11 + 1 + 11 + 1 + 64 + 3 + 12 + 10 bytes.
    char text[160];
    char *at = append(text, "custom-");
    at = appendNumber(at, mode.width);
    at = append(at, "x");
    at = appendNumber(at, mode.height);
    at = append(at, "@");
    at = writeRate(at, mode.refreshRate);
    if (mode.flags & ModeInfo::ReducedBlanking)
        at = append(at, "-rb");
    if (mode.flags != ModeInfo::UserDefined &&
        mode.flags != (ModeInfo::UserDefined | ModeInfo::ReducedBlanking)) {
        at = append(at, "-f");
        at = appendNumber(at, mode.flags);
    }
    if (mode.timings) {
        at = append(at, "-t");
        char hex[16];
        const char *end = appendNumber(hex, timingsHash(*mode.timings), 16);
        at = std::fill_n(at, 8 - (end - hex), '0');
        at = std::copy(static_cast<const char *>(hex), end, at);
    }
    return QString::fromLatin1(text, at - text);
}

} // namespace

QStringList customModeIds(const ModeList &documentModes, const QList<ModeInfo> &customModes)
{
    QStringList ids;
    ids.reserve(customModes.size());
    for (const ModeInfo &mode : customModes)
        ids.append(baseId(mode));
    // The usual list, no two alike and none of the document's own ids: each
    // is its base, found without the tables below (a large set has a list
    // per output).
    QStringList sorted = ids;
    std::sort(sorted.begin(), sorted.end());
    if (std::adjacent_find(sorted.cbegin(), sorted.cend()) == sorted.cend() &&
        std::none_of(ids.cbegin(), ids.cend(), [&](const QString &id) { return documentModes.contains(id); }))
        return ids;

    QSet<QString> taken;
    taken.reserve(customModes.size());
    // The number each base goes on from: the ids a base had are all taken,
    // so equal bases cost one step each, not one per id before them.
    QHash<QString, int> next;
    for (QString &id : ids) {
        const QString base = id;
        int &n = next[base];
        const auto candidate = [&] { return n < 2 ? base : base + u'-' + QString::number(n); };
        id = candidate();
        while (taken.contains(id) || documentModes.contains(id)) {
            n = std::max(n, 1) + 1;
            id = candidate();
        }
        n = std::max(n, 1) + 1;
        taken.insert(id);
    }
    return ids;
}

void offerCustomModes(Output::Data &data)
{
    if (data.customModes.isEmpty())
        return;
    const QStringList ids = customModeIds(data.modes, data.customModes);
    // Room for them at once, not by the list's doubling.
    data.modes.reserve(data.modes.size() + ids.size());
    for (qsizetype i = 0; i < ids.size(); ++i) {
        const ModeInfo &mode = data.customModes[i];
        data.modes.insert(ModePtr::create(ids[i], QSize(mode.width, mode.height), mode.refreshRate));
    }
}

} // namespace Dispor
