#include "model.h"

#include "../backend.h"
#include "../changes.h"
#include "../mirroring.h"
#include "../naming.h"
#include "../reach.h"
#include "../settle.h"
#include "../wording.h"
#include "hardware.h"

#include <QCryptographicHash>
#include <QHash>
#include <QSet>
#include <QUuid>
#include <QtEndian>

#include <algorithm>
#include <cmath>

namespace Dispor::Gnome {

namespace {

using Data = Output::Data;
using Cap = Output::Capability;
using Caps = Output::Capabilities;
using Type = Output::Type;

constexpr int idRange = 32768;

// Ours, so that no other program's name-based uuids collide with these.
const QUuid uuidNamespace(QStringLiteral("5e0f3b7a-2c91-4d84-9a6e-d3b8f1c2a047"));

Type typeOf(const MonitorState &monitor)
{
    if (monitor.builtin)
        return Type::Panel;
    // Mutter names connectors as the kernel does, and numbers transforms as
    // wl_output does.
    return connectorTypeOfName(monitor.connector);
}

QString scaleText(double scale)
{
    return QString::number(scale);
}

QString mirrorRefusal(const QString &replica, const QString &source)
{
    return replica + " mirrors " + source + ": change " + source + ", or end the mirror first";
}

const MonitorState *monitorNamed(const State &state, const QString &connector)
{
    for (const MonitorState &monitor : state.monitors) {
        if (monitor.connector == connector)
            return &monitor;
    }
    return nullptr;
}

const LuminanceState *luminanceOf(const State &state, const QString &connector, uint32_t colorMode)
{
    for (const LuminanceState &l : *state.luminance) {
        if (l.connector == connector && l.colorMode == colorMode)
            return &l;
    }
    return nullptr;
}

bool hasLuminance(const State &state, const QString &connector)
{
    if (!state.luminance)
        return false;
    return std::any_of(state.luminance->begin(), state.luminance->end(),
                       [&](const LuminanceState &l) { return l.connector == connector; });
}

const BacklightState *backlightOf(const State &state, const QString &connector)
{
    if (!state.backlight)
        return nullptr;
    for (const BacklightState &b : *state.backlight) {
        if (b.connector == connector && b.settable())
            return &b;
    }
    return nullptr;
}

// A disabled monitor's shape from its record. A scale mutter no longer
// lists for the mode (the layout mode or its features changed since) gives
// way to the one mutter prefers.
bool restoreShape(Data &d, const MonitorState &monitor, const Remembered &r)
{
    if (!Dispor::restore(d, r))
        return false;
    const ModeState *mode = monitor.mode(d.currentModeId);
    const std::optional<double> listed = listedScale(d.scale, mode->scales);
    d.scale = listed ? *listed : mode->preferredScale;
    return true;
}

// The colour mode a monitor is to be in: HDR and WCG are both BT.2100, and
// a monitor whose HDR is left alone keeps whatever mode it has.
uint32_t colorModeAfter(const MonitorState &monitor, const Data &wanted, const Data &was)
{
    if (wanted.hdrEnabled == was.hdrEnabled)
        return monitor.colorMode.value_or(defaultColorMode);
    return wanted.hdrEnabled ? bt2100 : defaultColorMode;
}

// What ApplyMonitorsConfig carries: every change the merge took but the
// levels, which go by calls of their own.
bool layoutDiffers(const Data &a, const Data &b)
{
    using Changes::is;
    return !Changes::forEachProperty([&](auto member, const char *, Caps, Caps) {
        return is(member, &Data::brightness) || is(member, &Data::dimming) || a.*member == b.*member;
    });
}

// What mutter carries; any other change is refused.
class Merge : public Changes::Merge {
public:
    Merge(const Data &fetched, const Data &wanted, Data &base, QString *reason, const State &state)
        : Changes::Merge(fetched, wanted, base, reason), m_state(state)
    {}

    bool all()
    {
        if (!(takeEnabled() && takeMode() && take(&Data::pos) && takeRotation() && takeScale() &&
              take(&Data::replicationSource)))
            return false;
        using Changes::is;
        return Changes::forEachProperty([this](auto member, const char *key, Caps need, Caps orNeed) {
            if (is(member, &Data::enabled) || is(member, &Data::pos) || is(member, &Data::currentModeId) ||
                is(member, &Data::rotation) || is(member, &Data::scale) ||
                is(member, &Data::replicationSource))
                return true; // taken above
            // The sizes follow from the mode and the scale; power goes
            // through setDpms alone.
            if (is(member, &Data::size) || is(member, &Data::explicitLogicalSize) || is(member, &Data::dpms))
                return true;
            if (is(member, &Data::colorPowerPreference))
                return refuse(member, key, Reach::why(Reach::Family::Mutter, key));
            if constexpr (std::is_same_v<decltype(member), bool Data::*>) {
                if (is(member, &Data::hdrEnabled) || is(member, &Data::wcgEnabled))
                    return takeColorMode(member, key, need, orNeed);
            }
            if constexpr (std::is_same_v<decltype(member), Output::VrrPolicy Data::*>)
                return takeVrr(member, key, need, orNeed);
            if constexpr (std::is_same_v<decltype(member), uint32_t Data::*>) {
                if (is(member, &Data::overscan))
                    return takeOverscan(member, key, need, orNeed);
            }
            if constexpr (std::is_same_v<decltype(member), double Data::*>) {
                if (is(member, &Data::brightness))
                    return takeLevel(member, key, need, backlightOf(m_state, m_base.name) != nullptr,
                                     "mutter has no backlight for the output");
                if (is(member, &Data::dimming))
                    return takeLevel(member, key, need, hasLuminance(m_state, m_base.name),
                                     "mutter has no luminance for the output");
            }
            // HDR's other settings have no place in mutter: its colour mode
            // is the whole of it.
            if (const char *why = Reach::why(Reach::Family::Mutter, key))
                return take(member, key, need, orNeed) && refuse(member, key, why);
            return take(member, key, need, orNeed);
        });
    }

private:
    // HDR and WCG are one colour mode in mutter, BT.2100: a change of
    // either switches it, and both follow.
    bool takeColorMode(bool Data::*member, const char *key, Caps need, Caps orNeed)
    {
        if (!differs(member))
            return true;
        const MonitorState *monitor = monitorNamed(m_state, m_base.name);
        if (!monitor || !monitor->colorMode)
            return take(member, key, need, orNeed); // mutter without colour modes
        if (!monitor->colorModes.contains(bt2100)) {
            QStringList offered;
            for (const uint32_t mode : monitor->colorModes)
                offered.append(colorModeName(mode));
            return fail(Wording::cannotChange(key, u"mutter offers the colour modes "_qs +
                                                       offered.join(u", ") + " for the output, not " +
                                                       colorModeName(bt2100)));
        }
        if (!m_base.enabled)
            return fail(
                Wording::cannotChange(key, u"mutter sets the colour mode of enabled outputs only"_qs));
        take(member, key, need, orNeed);
        m_base.hdrEnabled = m_base.wcgEnabled = m_wanted.*member;
        return true;
    }

    // Mutter's VRR is the mode's: the twin of the mode the output is to have.
    template <typename Member> bool takeVrr(Member member, const char *key, Caps need, Caps orNeed)
    {
        if (!differs(member))
            return true;
        if (!take(member, key, need, orNeed))
            return false;
        const MonitorState *monitor = monitorNamed(m_state, m_base.name);
        QString why;
        const QString mode =
            monitor ? modeForPolicy(*monitor, m_base.currentModeId, m_wanted.*member, &why) : QString();
        if (mode.isEmpty())
            return fail(Wording::cannotChange(key, why));
        m_base.currentModeId = mode;
        return true;
    }

    bool takeOverscan(uint32_t Data::*member, const char *key, Caps need, Caps orNeed)
    {
        QString why;
        return !differs(member) ||
               (take(member, key, need, orNeed) &&
                (underscanningFor(m_wanted.*member, &why) || fail(Wording::cannotChange(key, why))));
    }

    // A fraction mutter holds where the output has what it takes.
    bool takeLevel(double Data::*member, const char *key, Caps need, bool held, const char *lacking)
    {
        if (!differs(member))
            return true;
        if (!take(member, key, need))
            return false;
        const double value = m_wanted.*member;
        if (!(value >= 0 && value <= 1))
            return fail(Wording::outsideRange(key, QString::number(value), 0, 1));
        return held || fail(Changes::notPossible(key, lacking));
    }

    bool takeMode()
    {
        if (differs(&Data::currentModeId) && !m_base.modes.contains(m_wanted.currentModeId))
            return fail(u"the mode \""_qs + m_wanted.currentModeId + "\" is not one of the output's modes");
        return take(&Data::currentModeId);
    }

    // Mutter 43 takes any transform, 8 and beyond included.
    bool takeRotation()
    {
        if (differs(&Data::rotation) && transformOfRotation(m_wanted.rotation) < 0)
            return fail(u"the rotation "_qs + QString::number(uint32_t(m_wanted.rotation)) +
                        " is not a rotation");
        return take(&Data::rotation);
    }

    bool takeScale()
    {
        if (differs(&Data::scale) && !(m_wanted.scale > 0 && std::isfinite(m_wanted.scale)))
            return fail(u"a scale of "_qs + QString::number(m_wanted.scale) + " is out of range");
        return take(&Data::scale);
    }

    const State &m_state;
};

// Lays the outputs out as mutter will: replicas with their source, new
// places right of the others, the whole at the origin.
class Layout {
public:
    Layout(const State &state, QMap<int, Data> &bases, const QMap<int, Data> &was, QString *reason)
        : m_state(state), m_bases(bases), m_was(was), m_reason(reason)
    {}

    bool run(QList<LogicalSetting> *settings)
    {
        return enable() && mirror() && scales() && place() && build(settings);
    }

private:
    bool fail(const Data &d, const QString &why)
    {
        *m_reason = d.name + ": " + why;
        return false;
    }

    const MonitorState &monitor(const Data &d) const { return *monitorNamed(m_state, d.name); }

    // The extent mutter gives the output in the layout.
    QSize extent(const Data &d) const
    {
        const ModeState *mode = monitor(d).mode(d.currentModeId);
        QSize size(mode->width, mode->height);
        if (m_state.layoutMode == 1)
            size = QSize(int(std::lround(size.width() / d.scale)), int(std::lround(size.height() / d.scale)));
        if (transformOfRotation(d.rotation) % 2)
            size.transpose();
        return size;
    }

    bool enable()
    {
        const Data *disabled = nullptr;
        bool anyEnabled = false;
        for (Data &d : m_bases) {
            if (!d.enabled) {
                if (LayoutRules::switchedOff(m_was[d.id], d) && !disabled)
                    disabled = &d;
                continue;
            }
            anyEnabled = true;
            if (!d.modes.contains(d.currentModeId)) {
                // Switched on: its preferred mode, else its first.
                if (d.modes.isEmpty())
                    return fail(d, u"the output has no mode to be enabled with"_qs);
                d.currentModeId =
                    d.modes.contains(d.preferredModeId) ? d.preferredModeId : d.modes.firstKey();
            }
            // Switched on with a shape nobody knows: the scale mutter prefers.
            const Data &was = m_was[d.id];
            if (!was.enabled && !was.placementKnown && d.scale == was.scale)
                d.scale = monitor(d).mode(d.currentModeId)->preferredScale;
        }
        QList<const Data *> all;
        for (const Data &d : std::as_const(m_bases))
            all.append(&d);
        const QString noneLit = LayoutRules::noneLeftLit(all, disabled ? disabled->name : QString());
        if (!noneLit.isEmpty()) {
            *m_reason = noneLit;
            return false;
        }
        if (!anyEnabled)
            return fail(m_bases.first(), u"no output is enabled"_qs);
        return true;
    }

    bool mirror()
    {
        for (Data &d : m_bases) {
            if (!d.enabled || !d.replicationSource)
                continue;
            const Data &was = m_was[d.id];
            const auto source = m_bases.constFind(d.replicationSource);
            if (d.replicationSource == was.replicationSource && source != m_bases.constEnd()) {
                // Its source switched off, or moved away from it on its own:
                // no longer a mirror.
                if (!source->enabled || (d.pos != was.pos && d.pos != source->pos)) {
                    d.replicationSource = 0;
                    continue;
                }
                // Mutter gives a mirror one scale and one rotation, and its
                // monitors one mode size: a change to the replica alone
                // would be taken back by its source's.
                const auto sizeOf = [](const Data &o) {
                    const ModePtr mode = o.modes.value(o.currentModeId);
                    return mode ? mode->size() : QSize();
                };
                if ((d.scale != was.scale && d.scale != source->scale) ||
                    (d.rotation != was.rotation && d.rotation != source->rotation) ||
                    (d.currentModeId != was.currentModeId && sizeOf(d) != sizeOf(*source))) {
                    *m_reason = mirrorRefusal(d.name, source->name);
                    return false;
                }
            }
            const QString refusal = Mirroring::refusal(d, m_bases, Mirroring::Chain::Unnamed);
            if (!refusal.isEmpty())
                return fail(d, refusal);
            // Mutter mirrors only monitors of one mode size.
            const ModePtr wanted = source->modes.value(source->currentModeId);
            const ModePtr own = d.modes.value(d.currentModeId);
            if (!own || own->size() != wanted->size()) {
                QList<Mirroring::Candidate> candidates;
                for (const ModePtr &mode : std::as_const(d.modes))
                    candidates.append({mode->id(), mode->size(), mode->refreshRate()});
                const QString best = Mirroring::modeFor(candidates, wanted->size(), wanted->refreshRate());
                if (best.isEmpty())
                    return fail(d, Mirroring::noModeRefusal(source->name, wanted->size()));
                d.currentModeId = best;
            }
            d.pos = source->pos;
            d.scale = source->scale;
            d.rotation = source->rotation;
        }
        return true;
    }

    // Mutter takes only the scales it lists for a mode, to the last digit.
    bool scales()
    {
        for (Data &d : m_bases) {
            if (!d.enabled)
                continue;
            const ModeState *mode = monitor(d).mode(d.currentModeId);
            if (const std::optional<double> listed = listedScale(d.scale, mode->scales)) {
                const QSize asked = extent(d);
                d.scale = *listed;
                if (!d.replicationSource)
                    follow(d, asked, extent(d));
                continue;
            }
            QStringList offered;
            bool whole = true;
            for (const double scale : mode->scales) {
                offered.append(scaleText(scale));
                whole = whole && scale == std::round(scale);
            }
            QString why = u"mutter offers the scales "_qs + offered.join(u", ") + " for " + mode->id +
                          ", not " + scaleText(d.scale);
            // Mutter 43 lists fractional scales, and can change the layout
            // mode, only with this feature on.
            if (whole && d.scale != std::round(d.scale) && m_state.layoutMode != 1 &&
                !m_state.canChangeLayoutMode)
                why +=
                    "; fractional scales need mutter's experimental feature \"scale-monitor-framebuffer\", "
                    "which is off";
            return fail(d, why);
        }
        return true;
    }

    // The others were laid out for the scale asked for; where mutter's
    // listed one gives another size (1712 rather than 1707 for 150 % of
    // 2560), those beyond the right or bottom edge follow the difference.
    void follow(const Data &d, QSize asked, QSize held)
    {
        const QPoint shift(held.width() - asked.width(), held.height() - asked.height());
        if (shift.isNull())
            return;
        for (Data &other : m_bases) {
            if (!other.enabled || other.id == d.id || other.replicationSource == d.id)
                continue;
            if (other.pos.x() >= d.pos.x() + asked.width())
                other.pos.rx() += shift.x();
            if (other.pos.y() >= d.pos.y() + asked.height())
                other.pos.ry() += shift.y();
        }
    }

    bool place()
    {
        // Switched on or no longer mirroring, without a place of its own:
        // where the layout rules put an output that joins.
        QSet<int> joining;
        QList<Data *> all;
        for (Data &d : m_bases) {
            const Data &was = m_was[d.id];
            if (LayoutRules::joins(was, d, d.pos != was.pos))
                joining.insert(d.id);
            all.append(&d);
        }
        LayoutRules::placeJoining(all, joining, [this](const Data &d) { return extent(d); });
        // Mutter's layout begins at 0,0: one left of or above it moves in whole.
        if (!LayoutRules::toOrigin(m_bases)) {
            *m_reason = u"the layout would not fit the coordinate range"_qs;
            return false;
        }
        return true;
    }

    bool build(QList<LogicalSetting> *settings)
    {
        // The primary is the output ranked first, or the mirror group it is in.
        int primary = 0;
        uint32_t best = 0;
        for (const Data &d : std::as_const(m_bases)) {
            if (d.enabled && d.priority && (!best || d.priority < best)) {
                best = d.priority;
                primary = d.replicationSource ? d.replicationSource : d.id;
            }
        }
        for (const Data &d : std::as_const(m_bases)) {
            if (!d.enabled || d.replicationSource)
                continue;
            LogicalSetting logical;
            logical.x = d.pos.x();
            logical.y = d.pos.y();
            logical.scale = d.scale;
            logical.transform = uint32_t(transformOfRotation(d.rotation));
            logical.primary = primary ? d.id == primary : settings->isEmpty();
            for (const Data &shown : std::as_const(m_bases)) {
                if (shown.enabled && (shown.id == d.id || shown.replicationSource == d.id)) {
                    const MonitorState &m = monitor(shown);
                    const std::optional<uint32_t> colorMode =
                        m.colorMode ? std::optional(colorModeAfter(m, shown, m_was[shown.id])) : std::nullopt;
                    QString unkept;
                    const std::optional<bool> underscanning =
                        m.underscanning ? underscanningFor(shown.overscan, &unkept) : std::nullopt;
                    logical.monitors.append({shown.name, shown.currentModeId, underscanning, colorMode});
                }
            }
            // The source first: mutter reports the group in the order given.
            std::stable_partition(logical.monitors.begin(), logical.monitors.end(),
                                  [&](const MonitorSetting &m) { return m.connector == d.name; });
            settings->append(logical);
        }
        // Top to bottom, left to right: the order mutter takes is free.
        std::sort(settings->begin(), settings->end(), [](const LogicalSetting &a, const LogicalSetting &b) {
            return std::pair(a.y, a.x) < std::pair(b.y, b.x);
        });
        return true;
    }

    const State &m_state;
    QMap<int, Data> &m_bases;
    const QMap<int, Data> &m_was;
    QString *m_reason;
};

} // namespace

QString colorModeName(uint32_t mode)
{
    if (mode == defaultColorMode)
        return QStringLiteral("default");
    if (mode == bt2100)
        return QStringLiteral("BT.2100");
    return u"mode "_qs + QString::number(mode);
}

QMap<QString, int> assignIds(const QStringList &connectors)
{
    QStringList sorted = connectors;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    QMap<QString, int> ids;
    QSet<int> taken;
    for (const QString &name : std::as_const(sorted)) {
        const QByteArray digest = QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha1);
        int id = int(qFromBigEndian<uint32_t>(digest.constData()) % idRange) + 1;
        while (taken.contains(id))
            id = id % idRange + 1;
        taken.insert(id);
        ids.insert(name, id);
    }
    return ids;
}

std::optional<double> listedScale(double wanted, const QList<double> &listed)
{
    // A listed scale as reports and refusals print it (1.49533, 149.53 %).
    for (const double scale : listed) {
        if (std::abs(scale - wanted) <= printedScaleTolerance)
            return scale;
    }
    // For a quarter step mutter lists the scale near it that divides the
    // mode evenly (1.4953… for 150 % on 2560x1440, 2.3077… for 225 % on
    // 1920x1080): a step means that one; any other scale is refused rather
    // than rounded to one mutter has.
    const double step = std::round(wanted * 4) / 4;
    if (!(std::abs(wanted - step) <= 1e-9))
        return std::nullopt;
    std::optional<double> nearest;
    for (const double scale : listed) {
        if (!nearest || std::abs(scale - step) < std::abs(*nearest - step))
            nearest = scale;
    }
    if (nearest && std::abs(*nearest - step) < 0.125)
        return nearest;
    return std::nullopt;
}

QMap<int, Output::Data> describe(const State &state, int power, const RememberedOutputs &remembered)
{
    QStringList names;
    for (const MonitorState &monitor : state.monitors)
        names.append(monitor.connector);
    const QMap<QString, int> ids = assignIds(names);

    // Identical monitors (same vendor, product and serial) are told apart
    // by their connectors.
    const auto identity = [](const MonitorState &m) {
        return QByteArray("monitor:" + m.vendor.toUtf8() + '\n' + m.product.toUtf8() + '\n' +
                          m.serial.toUtf8());
    };
    QHash<QByteArray, int> uses;
    for (const MonitorState &monitor : state.monitors)
        ++uses[identity(monitor)];

    QHash<QString, std::pair<const LogicalState *, qsizetype>> placed;
    for (const LogicalState &logical : state.logical) {
        for (qsizetype i = 0; i < logical.connectors.size(); ++i)
            placed.insert(logical.connectors[i], {&logical, i});
    }

    QMap<int, Data> outputs;
    int primary = 0;
    QSet<QString> seen;
    for (const MonitorState &monitor : state.monitors) {
        // A connector listed twice is described once, as the first, which
        // is the one the plan looks up by name.
        if (seen.contains(monitor.connector))
            continue;
        seen.insert(monitor.connector);
        Data d;
        d.id = ids.value(monitor.connector);
        d.name = monitor.connector;
        QByteArray key = identity(monitor);
        if (uses.value(key) > 1)
            key += "\nconnector:" + monitor.connector.toUtf8();
        d.uuid = QUuid::createUuidV5(uuidNamespace, key).toString(QUuid::WithoutBraces);
        d.make = monitor.vendor;
        d.model = monitor.product;
        d.serialNumber = monitor.serial;
        d.type = typeOf(monitor);
        d.connected = true;
        for (const ModeState &mode : monitor.modes) {
            d.modes.insert(ModePtr::create(mode.id, QSize(mode.width, mode.height), float(mode.refresh)));
            if (mode.current)
                d.currentModeId = mode.id;
            if (mode.preferred && d.preferredModeId.isEmpty())
                d.preferredModeId = mode.id;
        }
        const auto at = placed.constFind(monitor.connector);
        d.enabled = at != placed.constEnd();
        if (d.enabled) {
            const LogicalState &logical = *at->first;
            d.pos = QPoint(logical.x, logical.y);
            d.scale = logical.scale;
            d.rotation = rotationOfTransform(logical.transform);
            if (at->second > 0)
                d.replicationSource = ids.value(logical.connectors.first());
            else if (logical.primary)
                primary = d.id;
        } else {
            d.currentModeId.clear();
            const auto record = remembered.constFind(monitor.connector);
            d.placementKnown = record != remembered.constEnd() && restoreShape(d, monitor, *record);
        }
        d.sizing = state.layoutMode == 1 ? Data::Sizing::Rounded : Data::Sizing::Unscaled;
        d.capabilities = Cap::Disable;
        if (monitor.colorModes.contains(bt2100))
            d.capabilities |= Cap::HighDynamicRange | Cap::WideColorGamut;
        d.hdrEnabled = d.wcgEnabled = monitor.colorMode == bt2100;
        // The backlight is the brightness; the luminance mutter scales the
        // picture by, in percent of its default, is the dimming.
        if (const BacklightState *b = backlightOf(state, monitor.connector)) {
            d.capabilities |= Cap::BrightnessControl;
            // In 64 bits: mutter's levels are 32-bit, their range may not be.
            d.brightness = double(int64_t(*b->value) - *b->min) / double(int64_t(*b->max) - *b->min);
        }
        if (hasLuminance(state, monitor.connector)) {
            d.capabilities |= Cap::BrightnessControl;
            const LuminanceState *l = luminanceOf(state, monitor.connector, monitor.colorMode.value_or(0));
            // A luminance that is no number would read as a change on every
            // comparison: the output keeps the default then.
            if (l && l->standard > 0 && std::isfinite(l->luminance / l->standard))
                d.dimming = l->luminance / l->standard;
        }
        describeHardware(d, monitor);
        d.dpms = power >= 0 && power <= 3 ? Output::DpmsMode(power) : Output::DpmsMode::On;
        outputs.insert(d.id, std::move(d));
    }
    // Mutter keeps only a primary: the others follow it by id.
    uint32_t rank = 1;
    if (primary)
        outputs[primary].priority = rank++;
    for (Data &d : outputs) {
        if (d.enabled && d.id != primary)
            d.priority = rank++;
    }
    return outputs;
}

bool plan(const Config &config, const State &state, Plan *out, QString *reason,
          const RememberedOutputs &remembered)
{
    *out = Plan{};
    QList<LogicalSetting> *settings = &out->logical;
    const ConfigOrigin &origin = originOf(config);
    const QMap<int, Data> now = describe(state, 0, remembered);
    QHash<QString, int> idOf;
    for (const Data &d : now)
        idOf.insert(d.name, d.id);
    QMap<int, Data> bases = now;
    bool ranked = false;

    for (const OutputPtr &output : config.outputs()) {
        const auto fetched = origin.fetched.constFind(output->id());
        if (fetched == origin.fetched.constEnd())
            continue; // not from mutter: nothing to compare with
        ranked = ranked || fetched->priority != output->priority();
        if (!idOf.contains(fetched->name)) {
            Data scratch = *fetched;
            QString ignored;
            Merge probe(*fetched, output->data(), scratch, &ignored, state);
            probe.all();
            if (probe.changed() || !ignored.isEmpty()) {
                *reason = output->name() + ": the output no longer exists";
                return false;
            }
            continue;
        }
        Data &base = bases[idOf.value(fetched->name)];
        Merge merge(*fetched, output->data(), base, reason, state);
        if (!merge.all())
            return false;
        base.priority = output->priority();
    }
    for (const Data &d : std::as_const(bases)) {
        const Data &was = now[d.id];
        const MonitorState &monitor = *monitorNamed(state, d.name);
        if (d.dimming != was.dimming) {
            // The luminance of the colour mode the monitor will be in.
            const uint32_t mode = colorModeAfter(monitor, d, was);
            LuminanceSetting setting{d.name, mode, std::nullopt};
            if (d.dimming != 1) {
                const LuminanceState *l = luminanceOf(state, d.name, mode);
                setting.luminance = d.dimming * (l && l->standard > 0 ? l->standard : 100);
            }
            out->luminance.append(setting);
        }
        if (d.brightness != was.brightness) {
            const BacklightState &b = *backlightOf(state, d.name);
            const double range = double(int64_t(*b.max) - *b.min);
            out->backlight.append({d.name, int(*b.min + std::llround(d.brightness * range))});
        }
        out->layout = out->layout || layoutDiffers(d, was);
    }
    out->layout = out->layout || ranked;
    if (!out->layout)
        return true;

    if (!Layout(state, bases, now, reason).run(settings))
        return false;

    // A priority request must hold once mutter has it: only the primary is
    // mutter's, the others rank by id.
    QMap<int, Data> after = bases;
    for (Data &d : after)
        d.priority = 0;
    uint32_t rank = 1;
    for (const LogicalSetting &logical : std::as_const(*settings)) {
        if (logical.primary)
            after[idOf.value(logical.monitors.first().connector)].priority = rank++;
    }
    for (Data &d : after) {
        if (d.enabled && !d.priority)
            d.priority = rank++;
    }
    for (const auto &[id, priority] : origin.priorityRequests) {
        const OutputPtr output = config.output(id);
        const auto fetched = origin.fetched.constFind(id);
        if (!output || fetched == origin.fetched.constEnd() || !idOf.contains(fetched->name))
            continue;
        if (after.value(idOf.value(fetched->name)).priority != output->priority()) {
            // Mutter's primary is a logical monitor: a mirror's is its source.
            const Data &asked = bases.value(idOf.value(fetched->name));
            if (asked.enabled && asked.replicationSource)
                *reason = mirrorRefusal(output->name(), bases.value(asked.replicationSource).name);
            else
                *reason = output->name() + ": " +
                          Changes::notPossible("priority", Reach::why(Reach::Family::Mutter, "priority"));
            return false;
        }
    }
    return true;
}

Plan setBack(const State &before, const Plan &sent)
{
    Plan back;
    back.layout = sent.layout;
    for (const LogicalState &logical : before.logical) {
        if (!sent.layout)
            break;
        LogicalSetting setting{logical.x, logical.y, logical.scale, logical.transform, logical.primary, {}};
        for (const QString &connector : logical.connectors) {
            const MonitorState *monitor = monitorNamed(before, connector);
            for (const ModeState &mode : monitor ? monitor->modes : QList<ModeState>()) {
                if (mode.current)
                    setting.monitors.append({connector, mode.id, monitor->underscanning, monitor->colorMode});
            }
        }
        back.logical.append(setting);
    }
    for (const LuminanceSetting &sentLevel : sent.luminance) {
        const LuminanceState *was =
            before.luminance ? luminanceOf(before, sentLevel.connector, sentLevel.colorMode) : nullptr;
        back.luminance.append({sentLevel.connector, sentLevel.colorMode,
                               was && !was->unset ? std::optional(was->luminance) : std::nullopt});
    }
    for (const BacklightSetting &sentLevel : sent.backlight) {
        if (const BacklightState *was = backlightOf(before, sentLevel.connector))
            back.backlight.append({sentLevel.connector, *was->value});
    }
    return back;
}

} // namespace Dispor::Gnome
