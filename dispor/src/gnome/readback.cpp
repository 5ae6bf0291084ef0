#include "readback.h"

#include "../wording.h"

#include <QMap>

#include <cmath>

namespace Dispor::Gnome {

namespace {

constexpr const char *server = "mutter";

// One monitor's place as sent or held; none where it is disabled.
struct Place {
    const MonitorSetting *setting = nullptr; // sent
    QString mode;                            // held: the current mode's id
    int x = 0;
    int y = 0;
    double scale = 1;
    uint32_t transform = 0;
    bool primary = false;
    QString source;     // the monitor it mirrors, empty when none
    bool first = false; // the first of its logical monitor: the one whose place it is
};

template <typename Logical, typename Connectors>
void place(QMap<QString, Place> &places, const Logical &logical, const Connectors &connectors)
{
    for (qsizetype i = 0; i < connectors.size(); ++i) {
        Place &p = places[connectors[i]];
        p.x = logical.x;
        p.y = logical.y;
        p.scale = logical.scale;
        p.transform = logical.transform;
        p.primary = logical.primary;
        p.first = i == 0;
        p.source = i == 0 ? QString() : connectors[0];
    }
}

QString point(const Place &p)
{
    return QString::number(p.x) + u',' + QString::number(p.y);
}

QString sourceText(const QString &source)
{
    return source.isEmpty() ? u"none"_qs : source;
}

QString percent(double value)
{
    return QString::number(value) + u'%';
}

// The luminances and backlight levels sent for the monitor that it does not hold.
void levels(const Plan &sent, const State &held, const QString &name, QStringList &kept)
{
    for (const LuminanceSetting &setting : sent.luminance) {
        if (setting.connector != name)
            continue;
        const LuminanceState *now = nullptr;
        // Pointed into below: the held list itself, not a copy.
        static const QList<LuminanceState> none;
        for (const LuminanceState &l : held.luminance ? *held.luminance : none) {
            if (l.connector == name && l.colorMode == setting.colorMode)
                now = &l;
        }
        const bool same =
            now && (setting.luminance ? std::abs(now->luminance - *setting.luminance) <= 1e-6 : now->unset);
        if (!same) {
            kept.append(Wording::notHeld(server, "dimming",
                                         setting.luminance ? percent(*setting.luminance) : u"default"_qs,
                                         now ? percent(now->luminance) : u"none"_qs));
        }
    }
    for (const BacklightSetting &setting : sent.backlight) {
        if (setting.connector != name)
            continue;
        std::optional<int> now;
        for (const BacklightState &b : held.backlight.value_or(QList<BacklightState>())) {
            if (b.connector == name)
                now = b.value;
        }
        if (now != setting.value)
            kept.append(Wording::notHeld(server, "brightness", QString::number(setting.value),
                                         now ? QString::number(*now) : u"none"_qs));
    }
}

} // namespace

QStringList notHeld(const Plan &plan, const State &held)
{
    QMap<QString, Place> asked, now;
    const QList<LogicalSetting> &sent = plan.logical;
    for (const LogicalSetting &logical : sent) {
        QStringList connectors;
        for (const MonitorSetting &monitor : logical.monitors)
            connectors.append(monitor.connector);
        place(asked, logical, connectors);
        for (const MonitorSetting &monitor : logical.monitors)
            asked[monitor.connector].setting = &monitor;
    }
    for (const LogicalState &logical : held.logical)
        place(now, logical, logical.connectors);

    QStringList lines;
    for (const MonitorState &monitor : held.monitors) {
        const QString &name = monitor.connector;
        const auto wanted = asked.constFind(name);
        const auto has = now.constFind(name);
        QStringList kept;
        const bool on = wanted != asked.constEnd(), lit = has != now.constEnd();
        if (!plan.layout) {
            // Nothing sent to compare with.
        } else if (on != lit) {
            kept.append(
                Wording::notHeld(server, "enabled", on ? u"on"_qs : u"off"_qs, lit ? u"on"_qs : u"off"_qs));
        } else if (on) {
            for (const ModeState &mode : monitor.modes) {
                if (mode.current && mode.id != wanted->setting->mode)
                    kept.append(Wording::notHeld(server, "currentModeId", wanted->setting->mode, mode.id));
            }
            const std::optional<bool> &underscanning = wanted->setting->underscanning;
            if (underscanning && monitor.underscanning != underscanning)
                kept.append(Wording::notHeld(server, "overscan", *underscanning ? u"on"_qs : u"off"_qs,
                                             !monitor.underscanning   ? u"none"_qs
                                             : *monitor.underscanning ? u"on"_qs
                                                                      : u"off"_qs));
            const std::optional<uint32_t> &colorMode = wanted->setting->colorMode;
            if (colorMode && monitor.colorMode != colorMode)
                kept.append(
                    Wording::notHeld(server, "hdrEnabled", colorModeName(*colorMode),
                                     monitor.colorMode ? colorModeName(*monitor.colorMode) : u"none"_qs));
            if (wanted->source != has->source)
                kept.append(Wording::notHeld(server, "replicationSource", sourceText(wanted->source),
                                             sourceText(has->source)));
            else if (wanted->first) {
                // The logical monitor's own settings, told once, at its first monitor.
                if (wanted->x != has->x || wanted->y != has->y)
                    kept.append(Wording::notHeld(server, "pos", point(*wanted), point(*has)));
                if (std::abs(wanted->scale - has->scale) > 1e-6)
                    kept.append(Wording::notHeld(server, "scale", QString::number(wanted->scale),
                                                 QString::number(has->scale)));
                if (wanted->transform != has->transform)
                    kept.append(Wording::notHeld(server, "rotation",
                                                 Wording::transformWord(int(wanted->transform)),
                                                 Wording::transformWord(int(has->transform))));
                if (wanted->primary != has->primary)
                    kept.append(Wording::notHeld(server, "priority",
                                                 wanted->primary ? u"primary"_qs : u"secondary"_qs,
                                                 has->primary ? u"primary"_qs : u"secondary"_qs));
            }
        }
        levels(plan, held, name, kept);
        if (!kept.isEmpty())
            lines.append(name + ": " + kept.join(u"; "));
    }
    return lines;
}

QString holding(const State &held)
{
    QMap<QString, Place> places;
    for (const LogicalState &logical : held.logical)
        place(places, logical, logical.connectors);
    QStringList monitors;
    for (const MonitorState &monitor : held.monitors) {
        const auto at = places.constFind(monitor.connector);
        QString text = monitor.connector;
        if (at == places.constEnd()) {
            text += u" off"_qs;
        } else if (!at->source.isEmpty()) {
            text += u" mirroring "_qs + at->source;
        } else {
            for (const ModeState &mode : monitor.modes) {
                if (mode.current)
                    text += u" in "_qs + mode.id;
            }
            text += u" at "_qs + point(*at) + ", scale " + QString::number(at->scale) + ", rotation " +
                    Wording::transformWord(int(at->transform)) + (at->primary ? u", primary"_qs : QString());
        }
        monitors.append(text);
    }
    return monitors.join(u"; "_qs);
}

} // namespace Dispor::Gnome
