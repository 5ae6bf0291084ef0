#include "document_parts.h"

#include "../sizes.h"
#include "../text.h"

#include "dispor/words.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <bit>
#include <cmath>
#include <optional>
#include <type_traits>
#include <unordered_map>
#include <vector>

namespace Dispor::Virtual {

namespace {

// Equal custom modes (as ModeInfo's == has it) hash alike; the rate is
// checked finite and above 0 first, so its bits tell equal rates apart.
struct CustomModeHash {
    size_t operator()(const ModeInfo &mode) const
    {
        size_t hash = qHashMulti(0, mode.width, mode.height, std::bit_cast<uint32_t>(mode.refreshRate),
                                 mode.flags, mode.timings.has_value());
        if (const std::optional<ModeTimings> &t = mode.timings)
            hash = qHashMulti(hash, t->clock, t->hdisplay, t->hsyncStart, t->hsyncEnd, t->htotal, t->hskew,
                              t->vdisplay, t->vsyncStart, t->vsyncEnd, t->vtotal, t->vscan, t->flags);
        return hash;
    }
};

QString sizeText(double width, double height)
{
    return number(width) + u'x' + number(height);
}

// Reports and layouts work in int: the logical size, the explicit one and the
// edges they give must fit it, whatever the scale makes of the pixel size.
bool checkExtent(const Data &d, QSize pixels, QString *fault)
{
    Data sized = d;
    sized.size = pixels;
    const Output output(std::move(sized));
    const QSizeF logical = exactLogicalSize(output);
    if (!fitsInt(logical.width()) || !fitsInt(logical.height())) {
        *fault = u"the logical size "_qs + sizeText(logical.width(), logical.height()) + " (the size " +
                 sizeText(pixels.width(), pixels.height()) + " at the scale " + number(d.scale) +
                 ") does not fit 32-bit integers";
        return false;
    }
    const QSizeF extent = exactExplicitLogicalSize(output);
    if (!fitsInt(extent.width()) || !fitsInt(extent.height())) {
        *fault = u"\"explicitLogicalSize\" "_qs + sizeText(extent.width(), extent.height()) +
                 " does not fit 32-bit integers";
        return false;
    }
    // A rectangle keeps its last column and row too: x + width - 1 as well.
    const auto fits = [](int at, double length) {
        const qint64 end = qint64(at) + qint64(length);
        return fitsInt(double(end)) && fitsInt(double(end - 1));
    };
    if (!fits(d.pos.x(), extent.width()) || !fits(d.pos.y(), extent.height())) {
        *fault = u"\"pos\" "_qs + QString::number(d.pos.x()) + u',' + QString::number(d.pos.y()) +
                 " with the logical size " + sizeText(extent.width(), extent.height()) +
                 " puts an edge outside 32-bit integers";
        return false;
    }
    return true;
}

// What a number must be, or null when value is in range.
const char *outOfRange(Properties::Range range, double value)
{
    switch (range) {
    case Properties::Range::Any:
        break;
    case Properties::Range::Positive:
        if (!(value > 0) || !std::isfinite(value))
            return "greater than 0";
        break;
    case Properties::Range::Fraction:
        if (!(value >= 0 && value <= 1))
            return "from 0 to 1";
        break;
    case Properties::Range::AtLeastZero:
        if (!(value >= 0) || !std::isfinite(value))
            return "at least 0";
        break;
    }
    return nullptr;
}

// The ranges of the numbers, in document order.
bool checkRanges(const Data &d, QString *fault)
{
    return Properties::forEach([&](const auto &p) {
        using T = std::remove_cvref_t<decltype(d.*p.member)>;
        std::optional<double> value;
        if constexpr (std::is_same_v<T, double> || std::is_same_v<T, std::optional<double>>)
            value = d.*p.member;
        const char *what = value ? outOfRange(p.range, *value) : nullptr;
        if (what)
            *fault = quoted(QLatin1StringView(p.key)) + " must be " + what + ", not " + number(*value);
        return !what;
    });
}

// Values of enumerations that have a word, in document order.
bool checkWords(const Data &d, QString *fault)
{
    return Properties::forEach([&](const auto &p) {
        using T = std::remove_cvref_t<decltype(d.*p.member)>;
        if constexpr (std::is_enum_v<T>) {
            if (!words::wordOf(words::of<T>(), d.*p.member)) {
                *fault = quoted(QLatin1StringView(p.key)) + " must be one of " + wordList(words::of<T>()) +
                         ", not " + QString::number(static_cast<uint32_t>(d.*p.member));
                return false;
            }
        }
        return true;
    });
}

bool checkOutput(const Data &d, const QSet<int> &ids, QString *fault)
{
    const auto range = [fault](const QString &key, const QString &what, double value) {
        *fault = quoted(key) + " must be " + what + ", not " + number(value);
        return false;
    };
    if (!checkRanges(d, fault))
        return false;
    if (d.size && (d.size->width() < 1 || d.size->height() < 1))
        return range(d.size->width() < 1 ? u"size.width"_qs : u"size.height"_qs, u"at least 1"_qs,
                     d.size->width() < 1 ? d.size->width() : d.size->height());
    if (d.explicitLogicalSize) {
        const QSizeF &s = *d.explicitLogicalSize;
        if (!(s.width() > 0) || !std::isfinite(s.width()))
            return range(u"explicitLogicalSize.width"_qs, u"greater than 0"_qs, s.width());
        if (!(s.height() > 0) || !std::isfinite(s.height()))
            return range(u"explicitLogicalSize.height"_qs, u"greater than 0"_qs, s.height());
    }
    for (const ModePtr &mode : d.modes) {
        const auto modeRange = [&](const char *key, const QString &what, double value) {
            range(QLatin1StringView(key), what, value);
            fault->prepend(u"mode "_qs + quoted(mode->id()) + ": ");
            return false;
        };
        if (mode->size().width() < 1)
            return modeRange("width", u"at least 1"_qs, mode->size().width());
        if (mode->size().height() < 1)
            return modeRange("height", u"at least 1"_qs, mode->size().height());
        if (!(mode->refreshRate() > 0) || !std::isfinite(mode->refreshRate()))
            return modeRange("refreshRate", u"greater than 0"_qs, mode->refreshRate());
    }
    // A service holds a custom mode once; a hash keeps the check linear in
    // a list of any length.
    std::unordered_map<ModeInfo, qsizetype, CustomModeHash> seen;
    seen.reserve(size_t(d.customModes.size()));
    const Path customModes{nullptr, u"customModes", -1};
    for (qsizetype i = 0; i < d.customModes.size(); ++i) {
        const ModeInfo &mode = d.customModes[i];
        const Path at = indexed(customModes, i);
        if (mode.width < 1)
            return range(sub(at, "width").text(), u"at least 1"_qs, mode.width);
        if (mode.height < 1)
            return range(sub(at, "height").text(), u"at least 1"_qs, mode.height);
        if (!(mode.refreshRate > 0) || !std::isfinite(mode.refreshRate))
            return range(sub(at, "refreshRate").text(), u"greater than 0"_qs, mode.refreshRate);
        if (const auto [first, added] = seen.emplace(mode, i); !added) {
            *fault =
                quoted(at.text()) + " is the same as " + quoted(indexed(customModes, first->second).text());
            return false;
        }
    }
    if (!checkWords(d, fault))
        return false;
    Output::Capabilities known;
    for (const auto &w : words::capability)
        known |= w.value;
    if (d.capabilities & ~known) {
        *fault = u"\"capabilities\" holds unknown bits 0x"_qs +
                 QString::number(uint32_t(d.capabilities & ~known), 16);
        return false;
    }
    QSize current(0, 0);
    if (!d.currentModeId.isEmpty()) {
        if (const ModePtr mode = d.modes.value(d.currentModeId)) {
            current = mode->size();
        } else {
            const qsizetype custom = customModeIds(d.modes, d.customModes).indexOf(d.currentModeId);
            if (custom < 0) {
                *fault =
                    u"\"currentModeId\" "_qs + quoted(d.currentModeId) + " is not one of the output's modes";
                return false;
            }
            current = QSize(d.customModes[custom].width, d.customModes[custom].height);
        }
    }
    if (!d.preferredModeId.isEmpty() && !d.modes.contains(d.preferredModeId)) {
        *fault = u"\"preferredModeId\" "_qs + quoted(d.preferredModeId) + " is not one of the output's modes";
        return false;
    }
    if (d.replicationSource == d.id) {
        *fault = QStringLiteral("\"replicationSource\" names the output itself");
        return false;
    }
    if (d.replicationSource != 0 && !ids.contains(d.replicationSource)) {
        *fault =
            u"\"replicationSource\" "_qs + QString::number(d.replicationSource) + " is no existing output";
        return false;
    }
    return checkExtent(d, d.size.value_or(current), fault);
}

// An output that mirrors, through a chain, an output that mirrors it: no
// service can show such a set. Each output names one source at most, so one
// walk along the chains finds every cycle; the sources are known to exist.
bool checkMirroringCycles(const Outputs &outputs, qsizetype *faulty, QString *fault)
{
    QHash<int, qsizetype> index;
    index.reserve(outputs.size());
    for (qsizetype i = 0; i < outputs.size(); ++i)
        index.insert(outputs[i].id, i);
    // The walk an output was first reached in, 0 before any.
    std::vector<qsizetype> walk(size_t(outputs.size()), 0);
    for (qsizetype start = 0; start < outputs.size(); ++start) {
        qsizetype at = start;
        while (walk[size_t(at)] == 0) {
            walk[size_t(at)] = start + 1;
            const int source = outputs[at].replicationSource;
            if (source == 0)
                break;
            at = index.value(source);
        }
        if (walk[size_t(at)] != start + 1 || outputs[at].replicationSource == 0)
            continue;
        // at lies on a cycle reached in this walk: named by its first output.
        qsizetype first = at, length = 0;
        qsizetype member = at;
        do {
            first = std::min(first, member);
            ++length;
            member = index.value(outputs[member].replicationSource);
        } while (member != at);
        *faulty = first;
        *fault = u"\"replicationSource\" "_qs + QString::number(outputs[first].replicationSource) +
                 " makes a cycle of " + QString::number(length) + " outputs that mirror one another";
        return false;
    }
    return true;
}

} // namespace

bool checkOutputs(const Outputs &outputs, qsizetype *faulty, QString *fault)
{
    QSet<int> ids;
    ids.reserve(outputs.size());
    for (const Data &d : outputs)
        ids.insert(d.id);
    for (qsizetype i = 0; i < outputs.size(); ++i) {
        if (!checkOutput(outputs[i], ids, fault)) {
            *faulty = i;
            return false;
        }
    }
    return checkMirroringCycles(outputs, faulty, fault);
}

} // namespace Dispor::Virtual
