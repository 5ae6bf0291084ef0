#include "document_parts.h"

#include "dispor/words.h"

#include <QHash>
#include <QLocale>
#include <QSet>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace Dispor::Virtual {

QString number(double value)
{
    if (value == std::trunc(value) && std::fabs(value) < 1e15)
        return QString::number(static_cast<qint64>(value));
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}


QString Path::text() const
{
    QString t = parent ? parent->text() : QString();
    if (index >= 0) {
        t += u'[' + QString::number(index) + u']';
    } else {
        if (!t.isEmpty())
            t += u'.';
        t += member.toString();
    }
    return t;
}

QString rateText(float rate)
{
    const QString fixed = QString::number(double(rate), 'f', 2);
    if (fixed.toFloat() == rate)
        return fixed;
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, rate);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

// FNV-1a over the timing fields, so that different timings of one size and
// rate get different ids.
uint32_t timingsHash(const ModeTimings &t)
{
    uint32_t hash = 2166136261u;
    for (const uint32_t v : {t.clock, uint32_t(t.hdisplay), uint32_t(t.hsyncStart), uint32_t(t.hsyncEnd),
                             uint32_t(t.htotal), uint32_t(t.hskew), uint32_t(t.vdisplay), uint32_t(t.vsyncStart),
                             uint32_t(t.vsyncEnd), uint32_t(t.vtotal), uint32_t(t.vscan), t.flags}) {
        for (int shift = 0; shift < 32; shift += 8) {
            hash ^= (v >> shift) & 0xff;
            hash *= 16777619u;
        }
    }
    return hash;
}

QStringList customModeIds(const ModeList &documentModes, const QList<ModeInfo> &customModes)
{
    QStringList ids;
    ids.reserve(customModes.size());
    QSet<QString> taken;
    taken.reserve(customModes.size());
    // The number each base goes on from: the ids a base had are all taken,
    // so equal bases cost one step each, not one per id before them.
    QHash<QString, int> next;
    for (const ModeInfo &mode : customModes) {
        QString base = u"custom-"_qs + QString::number(mode.width) + u'x' + QString::number(mode.height) + u'@'
            + rateText(mode.refreshRate);
        if (mode.flags & ModeInfo::ReducedBlanking)
            base += "-rb";
        if (mode.flags != ModeInfo::UserDefined && mode.flags != (ModeInfo::UserDefined | ModeInfo::ReducedBlanking))
            base += "-f" + QString::number(mode.flags);
        if (mode.timings)
            base += "-t" + QString::number(timingsHash(*mode.timings), 16).rightJustified(8, u'0');
        int &n = next[base];
        const auto candidate = [&] { return n < 2 ? base : base + u'-' + QString::number(n); };
        QString id = candidate();
        while (taken.contains(id) || documentModes.contains(id)) {
            n = std::max(n, 1) + 1;
            id = candidate();
        }
        n = std::max(n, 1) + 1;
        taken.insert(id);
        ids.append(id);
    }
    return ids;
}

void offerCustomModes(Output::Data &data)
{
    if (data.customModes.isEmpty())
        return;
    const QStringList ids = customModeIds(data.modes, data.customModes);
    for (qsizetype i = 0; i < ids.size(); ++i) {
        const ModeInfo &mode = data.customModes[i];
        data.modes.insert(ids[i], ModePtr::create(ids[i], QSize(mode.width, mode.height), mode.refreshRate));
    }
}

QString capabilityWord(Output::Capability capability)
{
    const char *word = words::wordOf(words::capability, capability);
    return word ? QString::fromLatin1(word) : QString();
}

} // namespace Dispor::Virtual
