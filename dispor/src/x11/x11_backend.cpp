#include "x11_backend.h"

#include "../changes.h"
#include "../ranking.h"

#include <xcb/dpms.h>

#include <QRect>
#include <QSet>

#include <algorithm>
#include <cmath>

namespace Dispor::X11 {

namespace {

using Data = Output::Data;
using Cap = Output::Capability;
using Caps = Output::Capabilities;

constexpr uint16_t reflectX = XCB_RANDR_ROTATION_REFLECT_X;
constexpr uint16_t reflectY = XCB_RANDR_ROTATION_REFLECT_Y;

QString quoted(const QString &text)
{
    return u'"' + text + u'"';
}

const char *rotationWord(Output::Rotation rotation)
{
    switch (rotation) {
    case Output::Rotation::None:
        return "normal";
    case Output::Rotation::Left:
        return "90";
    case Output::Rotation::Inverted:
        return "180";
    case Output::Rotation::Right:
        return "270";
    case Output::Rotation::Flipped:
        return "flipped";
    case Output::Rotation::Flipped90:
        return "flipped90";
    case Output::Rotation::Flipped180:
        return "flipped180";
    case Output::Rotation::Flipped270:
        return "flipped270";
    }
    return "unknown";
}

bool quarterTurn(uint16_t randr)
{
    return randr & (XCB_RANDR_ROTATION_ROTATE_90 | XCB_RANDR_ROTATION_ROTATE_270);
}

// The area a mode covers on the screen with a rotation.
QSize extent(const ModeLine &mode, uint16_t rotation)
{
    const QSize size(mode.timings.width, mode.timings.height);
    return quarterTurn(rotation) ? size.transposed() : size;
}

// The top of the straight ramp servers start with (i << 8 for 256 steps):
// full brightness, although it falls short of 65535.
double defaultRampTop(qsizetype n)
{
    return n > 1 ? double(n - 1) * 65536 / n : 65535;
}

// What the brightness of a gamma ramp is: its highest step over 65535, as
// clients write it, to four places, so that a value set reads back as given.
double rampBrightness(const CrtcState &crtc)
{
    if (crtc.red.isEmpty())
        return 1;
    const uint16_t top = std::max({crtc.red.last(), crtc.green.last(), crtc.blue.last()});
    if (top == defaultRampTop(crtc.red.size()))
        return 1;
    return std::min(1.0, std::round(top / 65535.0 * 10000) / 10000);
}

// The ramp at a new brightness, keeping each channel's curve.
QList<uint16_t> scaledRamp(const QList<uint16_t> &ramp, double brightness)
{
    QList<uint16_t> result(ramp.size());
    const uint16_t top = ramp.isEmpty() ? 0 : *std::max_element(ramp.begin(), ramp.end());
    const qsizetype last = std::max<qsizetype>(ramp.size() - 1, 1);
    for (qsizetype i = 0; i < ramp.size(); ++i) {
        // A ramp at zero has lost its curve: start again from a straight one.
        const double shape = top ? double(ramp[i]) / top : double(i) / last;
        result[i] = uint16_t(std::clamp(std::lround(shape * brightness * 65535), 0L, 65535L));
    }
    if (!result.isEmpty())
        result.last() = uint16_t(std::clamp(std::lround(brightness * 65535), 0L, 65535L));
    return result;
}

// The RGB range words of "Broadcast RGB".
Output::RgbRange rgbRangeOf(const QString &word)
{
    if (word == u"Full")
        return Output::RgbRange::Full;
    if (word.startsWith(u"Limited"))
        return Output::RgbRange::Limited;
    return Output::RgbRange::Automatic;
}

bool usable(const Property *property)
{
    return property && !property->immutable;
}

bool usableRange(const Property *property)
{
    return usable(property) && property->range && property->validValues.size() == 2 && property->format == 32;
}

const Property *find(const OutputState &output, xcb_atom_t atom)
{
    if (atom == XCB_NONE)
        return nullptr;
    const auto it = output.properties.constFind(atom);
    return it == output.properties.constEnd() ? nullptr : &*it;
}

// The output our mark on the output names, 0 when it has none.
int replicaMark(const OutputState &output, const Atoms &atoms)
{
    const Property *property = find(output, atoms.replicaOf);
    return property && property->format == 32 ? property->value().value_or(0) : 0;
}

QList<int> rankingOf(const QMap<int, Data> &outputs)
{
    QList<Ranking::Entry> entries;
    for (const Data &d : outputs)
        entries.append({d.id, d.priority, d.enabled && d.connected});
    return Ranking::order(entries);
}

// One CRTC as it is to be: off when mode is none.
struct CrtcTarget {
    xcb_randr_mode_t mode = XCB_NONE;
    int16_t x = 0;
    int16_t y = 0;
    uint16_t rotation = XCB_RANDR_ROTATION_ROTATE_0;
    QList<xcb_randr_output_t> outputs;

    bool operator==(const CrtcTarget &) const = default;
};

CrtcTarget targetOf(const CrtcState &crtc)
{
    if (crtc.mode == XCB_NONE)
        return {};
    QList<xcb_randr_output_t> outputs = crtc.outputs;
    std::sort(outputs.begin(), outputs.end());
    return {crtc.mode, crtc.x, crtc.y, crtc.rotation, outputs};
}

// The screen and every CRTC as they are to be.
struct Layout {
    uint16_t width = 0;
    uint16_t height = 0;
    QMap<xcb_randr_crtc_t, CrtcTarget> crtcs; // every CRTC of the server
};

Layout layoutOf(const ServerState &state)
{
    Layout layout;
    layout.width = state.width;
    layout.height = state.height;
    for (const CrtcState &crtc : state.crtcs)
        layout.crtcs.insert(crtc.id, targetOf(crtc));
    return layout;
}

struct PropertyWrite {
    xcb_randr_output_t output = XCB_NONE;
    xcb_atom_t property = XCB_NONE;
    xcb_atom_t type = XCB_NONE;
    uint8_t format = 32;
    QByteArray data;
};

PropertyWrite writeOf(xcb_randr_output_t output, xcb_atom_t atom, const Property &property, int32_t value)
{
    PropertyWrite write{output, atom, property.type, 32, QByteArray(reinterpret_cast<const char *>(&value), 4)};
    return write;
}

struct GammaWrite {
    xcb_randr_crtc_t crtc = XCB_NONE;
    QList<uint16_t> red, green, blue;
};

struct ModeAddition {
    xcb_randr_output_t output = XCB_NONE;
    QByteArray name;
    Timings timings;
};

struct ModeRemoval {
    xcb_randr_output_t output = XCB_NONE;
    xcb_randr_mode_t mode = XCB_NONE;
};

// Our mark on a replica, naming its source; none removes it.
struct ReplicaMark {
    xcb_randr_output_t output = XCB_NONE;
    xcb_randr_output_t source = XCB_NONE;
};

// Everything one apply does to the server.
struct Plan {
    Layout layout;
    std::optional<xcb_randr_output_t> primary;
    QList<PropertyWrite> properties;
    QList<ReplicaMark> marks;
    QList<GammaWrite> gamma;
    QList<ModeAddition> additions;
    QList<ModeRemoval> removals;
};

// Takes into base what the snapshot (wanted) changed since it was fetched,
// refusing what the output cannot carry out.
class Merge : public Changes::Merge {
public:
    using Changes::Merge::Merge;

    bool all()
    {
        using Changes::is;
        return Changes::forEachProperty([this](auto member, const char *key, Caps need, Caps orNeed) {
            if (is(member, &Data::enabled))
                return takeEnabled();
            // The pixel size and the logical size follow from the mode and the
            // rotation here; the tool sets them along with those. Power goes
            // through setDpms alone.
            if (is(member, &Data::size) || is(member, &Data::explicitLogicalSize) || is(member, &Data::dpms))
                return true;
            if (is(member, &Data::scale))
                return refuse(member, key, "RandR has no logical scale, every output has the scale 1");
            if (is(member, &Data::dimming))
                return take(member, key, need, orNeed)
                    && refuse(member, key, "the gamma ramp of an X11 output carries its brightness only");
            if (is(member, &Data::colorPowerPreference))
                return refuse(member, key, "X11 keeps no colour management of its own");
            return take(member, key, need, orNeed);
        });
    }
};

// Turns the merged outputs into what the server must do.
class Planner {
public:
    Planner(Connection &connection, const ServerState &now, const QMap<int, Data> &described, QMap<int, Data> &base,
            QString *reason)
        : m_connection(connection), m_now(now), m_described(described), m_base(base), m_reason(reason)
    {
    }

    bool plan(const QList<std::pair<int, uint32_t>> &priorityRequests, Plan *plan)
    {
        m_plan = plan;
        return checkOutputs() && place() && assignCrtcs() && screenSize() && primary(priorityRequests) && properties()
            && marks() && gamma() && customModes();
    }

private:
    const OutputState &server(const Data &d) const { return m_now.outputs.find(xcb_randr_output_t(d.id)).value(); }

    bool fail(const QString &reason)
    {
        *m_reason = reason;
        return false;
    }

    xcb_randr_mode_t modeOf(const Data &d) const { return xcb_randr_mode_t(d.currentModeId.toUInt()); }

    bool checkOutputs()
    {
        QString disabled;
        for (Data &d : m_base) {
            const Data &was = m_described[d.id];
            if (!d.enabled) {
                if (was.enabled && disabled.isEmpty())
                    disabled = d.name;
                // A disabled output has no CRTC to keep these in.
                if (d.pos != was.pos)
                    return fail(d.name + ": the output is disabled, so it has no position to set");
                if (d.currentModeId != was.currentModeId)
                    return fail(d.name + ": the output is disabled, so it has no mode to set");
                if (d.rotation != was.rotation)
                    return fail(d.name + ": the output is disabled, so it has no rotation to set");
                if (d.replicationSource && d.replicationSource != was.replicationSource)
                    return fail(d.name + ": the output is disabled, so it cannot mirror another output");
                continue;
            }
            if (d.currentModeId.isEmpty()) {
                // Switched on: its preferred mode, else its first.
                const OutputState &output = server(d);
                if (output.modes.isEmpty())
                    return fail(d.name + ": the output has no mode to be enabled with");
                d.currentModeId = QString::number(output.modes.first());
            }
            if (!d.modes.contains(d.currentModeId) || !m_now.modes.contains(modeOf(d)))
                return fail(d.name + ": the mode " + quoted(d.currentModeId) + " is not one of the output's modes");
            if (d.replicationSource) {
                if (d.replicationSource == d.id)
                    return fail(d.name + ": the output cannot mirror itself");
                const auto source = m_base.constFind(d.replicationSource);
                if (source == m_base.constEnd())
                    return fail(d.name + ": the replication source " + QString::number(d.replicationSource)
                                + " is no output");
                if (!source->enabled)
                    return fail(d.name + ": cannot mirror " + source->name + ", which is disabled");
                if (source->replicationSource)
                    return fail(d.name + ": cannot mirror " + source->name + ", which mirrors another output");
            }
        }
        if (!disabled.isEmpty()) {
            bool anyConnected = false, anyEnabled = false;
            for (const Data &d : std::as_const(m_base)) {
                anyConnected = anyConnected || d.connected;
                anyEnabled = anyEnabled || (d.enabled && d.connected);
            }
            if (anyConnected && !anyEnabled)
                return fail(disabled + ": disabling it leaves no connected output enabled");
        }
        return true;
    }

    QSize sizeOf(const Data &d) const
    {
        return extent(m_now.modes.value(modeOf(d)), rotationToRandr(d.rotation, 0xff));
    }

    // The right edge of the enabled outputs but one.
    int rightEdge(int except) const
    {
        int edge = 0;
        for (const Data &d : std::as_const(m_base)) {
            if (d.enabled && d.id != except)
                edge = std::max(edge, d.pos.x() + sizeOf(d).width());
        }
        return edge;
    }

    bool place()
    {
        // Asked for, not a replica moved away on its own.
        bool mirroring = false;
        for (const Data &d : std::as_const(m_base))
            mirroring = mirroring || (d.enabled && d.replicationSource != m_described[d.id].replicationSource);
        // Replicas take their source's place, mode and rotation.
        for (Data &d : m_base) {
            if (!d.enabled || !d.replicationSource)
                continue;
            const Data &source = m_base[d.replicationSource];
            const Data &was = m_described[d.id];
            if (d.replicationSource == was.replicationSource) {
                // Moved away from its source on its own: no longer a mirror.
                if (d.pos != was.pos && d.pos != source.pos) {
                    d.replicationSource = 0;
                    continue;
                }
                if ((d.currentModeId != was.currentModeId && d.currentModeId != source.currentModeId)
                    || (d.rotation != was.rotation && d.rotation != source.rotation))
                    return fail(d.name + ": the output mirrors " + source.name
                                + " and shows what it shows; stop mirroring first");
            }
            d.pos = source.pos;
            d.rotation = source.rotation;
            if (!d.modes.contains(source.currentModeId)) {
                const ModeLine &wanted = m_now.modes.value(modeOf(source));
                const float rate = refreshRate(wanted.timings);
                QString best;
                float bestDistance = 0;
                for (const xcb_randr_mode_t id : server(d).modes) {
                    const ModeLine &mode = m_now.modes.value(id);
                    if (mode.timings.width != wanted.timings.width || mode.timings.height != wanted.timings.height)
                        continue;
                    const float distance = std::abs(refreshRate(mode.timings) - rate);
                    if (best.isEmpty() || distance < bestDistance) {
                        best = QString::number(id);
                        bestDistance = distance;
                    }
                }
                if (best.isEmpty())
                    return fail(d.name + ": cannot mirror " + source.name + ": the output has no mode of "
                                + QString::number(wanted.timings.width) + u'x' + QString::number(wanted.timings.height));
                d.currentModeId = best;
            } else {
                d.currentModeId = source.currentModeId;
            }
        }
        // Switched on or no longer mirroring, without a place of its own:
        // right of the others, so that it does not cover them.
        for (Data &d : m_base) {
            const Data &was = m_described[d.id];
            const bool unmirrored = was.replicationSource && !d.replicationSource;
            if (d.enabled && (!was.enabled || unmirrored) && d.pos == was.pos && !d.replicationSource)
                d.pos = QPoint(rightEdge(d.id), 0);
        }
        // X screens begin at 0,0: a layout left of or above it moves in
        // whole. A mirror made or ended leaves the place its outputs had:
        // the layout then closes up, from the origin on.
        if (mirroring) {
            closeUp(&QPoint::rx, &QSize::width);
            closeUp(&QPoint::ry, &QSize::height);
        }
        int left = INT_MAX, top = INT_MAX;
        for (const Data &d : std::as_const(m_base)) {
            if (d.enabled) {
                left = std::min(left, d.pos.x());
                top = std::min(top, d.pos.y());
            }
        }
        const QPoint shift(left < 0 ? -left : 0, top < 0 ? -top : 0);
        for (Data &d : m_base) {
            if (d.enabled)
                d.pos += shift;
        }
        for (const Data &d : std::as_const(m_base)) {
            if (!d.enabled)
                continue;
            if (!supportsRotation(d))
                return fail(d.name + ": the output's CRTC cannot show the rotation "
                            + quoted(QLatin1StringView(rotationWord(d.rotation))));
            const QSize size = sizeOf(d);
            if (d.pos.x() + size.width() > INT16_MAX || d.pos.y() + size.height() > INT16_MAX)
                return fail(d.name + ": the position " + QString::number(d.pos.x()) + u',' + QString::number(d.pos.y())
                            + " lies beyond what an X screen can hold");
        }
        return true;
    }

    // Along one axis: the stretches no enabled output covers, before the
    // first and between them, are taken out.
    void closeUp(int &(QPoint::*coordinate)(), int (QSize::*length)() const)
    {
        QList<std::pair<int, int>> spans;
        for (Data &d : m_base) {
            if (d.enabled)
                spans.append({(d.pos.*coordinate)(), (d.pos.*coordinate)() + (sizeOf(d).*length)()});
        }
        if (spans.isEmpty())
            return;
        std::sort(spans.begin(), spans.end());
        QList<std::pair<int, int>> gaps; // where a gap ends, and how long it is
        int reached = 0;
        for (qsizetype i = 0; i < spans.size(); ++i) {
            const auto [begin, end] = spans[i];
            if (i == 0 || begin > reached)
                gaps.append({begin, begin - reached}); // the first from 0, whichever side
            reached = i == 0 ? end : std::max(reached, end);
        }
        for (Data &d : m_base) {
            if (!d.enabled)
                continue;
            int &at = (d.pos.*coordinate)();
            const int from = at;
            for (const auto &[end, length] : std::as_const(gaps)) {
                if (end <= from)
                    at -= length;
            }
        }
    }

    // Every CRTC the output could use must show it, since the one it gets
    // is chosen only later.
    bool supportsRotation(const Data &d) const
    {
        if (d.rotation == Output::Rotation::None)
            return true;
        const OutputState &output = server(d);
        QList<xcb_randr_crtc_t> candidates = output.crtc ? QList<xcb_randr_crtc_t>{output.crtc} : output.crtcs;
        for (const xcb_randr_crtc_t id : candidates) {
            if (!rotationToRandr(d.rotation, m_now.crtcs.value(id).rotations))
                return false;
        }
        return !candidates.isEmpty();
    }

    CrtcTarget targetFor(const Data &d, xcb_randr_crtc_t crtc) const
    {
        return {modeOf(d), int16_t(d.pos.x()), int16_t(d.pos.y()),
                rotationToRandr(d.rotation, m_now.crtcs.value(crtc).rotations | XCB_RANDR_ROTATION_ROTATE_0),
                {xcb_randr_output_t(d.id)}};
    }

    bool assignCrtcs()
    {
        Layout &layout = m_plan->layout;
        QList<const Data *> homeless;
        // Outputs keep their CRTC where they can; outputs that shared one
        // share it still while they show the same.
        for (const Data &d : std::as_const(m_base)) {
            if (!d.enabled)
                continue;
            const xcb_randr_crtc_t crtc = server(d).crtc;
            if (!crtc) {
                homeless.append(&d);
                continue;
            }
            CrtcTarget target = targetFor(d, crtc);
            const auto taken = layout.crtcs.find(crtc);
            if (taken == layout.crtcs.end()) {
                layout.crtcs.insert(crtc, target);
                continue;
            }
            CrtcTarget &other = *taken;
            if (other.mode == target.mode && other.x == target.x && other.y == target.y
                && other.rotation == target.rotation) {
                other.outputs.append(target.outputs);
                std::sort(other.outputs.begin(), other.outputs.end());
            } else {
                homeless.append(&d);
            }
        }
        for (const Data *d : std::as_const(homeless)) {
            const OutputState &output = server(*d);
            xcb_randr_crtc_t chosen = XCB_NONE;
            for (const xcb_randr_crtc_t crtc : output.crtcs) {
                if (layout.crtcs.contains(crtc) || !m_now.crtcs.contains(crtc))
                    continue;
                // An idle one first: it needs nothing switched off.
                if (!chosen || m_now.crtcs.value(crtc).outputs.isEmpty())
                    chosen = crtc;
                if (m_now.crtcs.value(crtc).outputs.isEmpty())
                    break;
            }
            if (!chosen)
                return fail(d->name + ": no CRTC is free to drive the output");
            if (!rotationToRandr(d->rotation, m_now.crtcs.value(chosen).rotations))
                return fail(d->name + ": the output's CRTC cannot show the rotation "
                            + quoted(QLatin1StringView(rotationWord(d->rotation))));
            layout.crtcs.insert(chosen, targetFor(*d, chosen));
        }
        for (const CrtcState &crtc : m_now.crtcs) {
            if (!layout.crtcs.contains(crtc.id))
                layout.crtcs.insert(crtc.id, {});
        }
        return true;
    }

    bool screenSize()
    {
        int width = 0, height = 0;
        for (const Data &d : std::as_const(m_base)) {
            if (!d.enabled)
                continue;
            const QSize size = sizeOf(d);
            width = std::max(width, d.pos.x() + size.width());
            height = std::max(height, d.pos.y() + size.height());
        }
        width = std::max<int>(width, m_now.minWidth);
        height = std::max<int>(height, m_now.minHeight);
        if (width > m_now.maxWidth || height > m_now.maxHeight)
            return fail(u"the layout needs a screen of %1x%2, larger than the %3x%4 the X server allows"_qs.arg(width)
                            .arg(height)
                            .arg(m_now.maxWidth)
                            .arg(m_now.maxHeight));
        m_plan->layout.width = uint16_t(width);
        m_plan->layout.height = uint16_t(height);
        return true;
    }

    bool primary(const QList<std::pair<int, uint32_t>> &requests)
    {
        if (requests.isEmpty())
            return true;
        // As the virtual set keeps it: those that left drop out, those that
        // joined come last, then the requests in the order made.
        QList<int> ranks = rankingOf(m_described);
        ranks.removeIf([this](int id) {
            const Data &d = m_base[id];
            return !(d.enabled && d.connected);
        });
        for (const Data &d : std::as_const(m_base)) {
            if (d.enabled && d.connected && !ranks.contains(d.id))
                ranks.append(d.id);
        }
        // X keeps one primary output and no order behind it: a request
        // changes the primary only where it names it. An output given rank
        // 1 becomes primary; the primary moved down leaves it to the output
        // that takes its rank; other requests leave the server as it is.
        xcb_randr_output_t primary = m_now.primary;
        for (const auto &[id, priority] : requests) {
            Ranking::move(ranks, id, priority);
            if (priority == 1 && ranks.contains(id))
                primary = xcb_randr_output_t(id);
            else if (xcb_randr_output_t(id) == primary && !ranks.isEmpty() && ranks.first() != id)
                primary = xcb_randr_output_t(ranks.first());
        }
        if (primary != m_now.primary)
            m_plan->primary = primary;
        return true;
    }

    bool properties()
    {
        const Atoms &atoms = m_connection.atoms();
        for (const Data &d : std::as_const(m_base)) {
            const Data &was = m_described[d.id];
            const OutputState &output = server(d);
            const xcb_randr_output_t id = output.id;
            if (d.rgbRange != was.rgbRange) {
                const Property &property = *find(output, atoms.broadcastRgb);
                std::optional<int32_t> value;
                for (const int32_t valid : property.validValues) {
                    if (rgbRangeOf(m_connection.atomName(xcb_atom_t(valid))) == d.rgbRange
                        && (d.rgbRange != Output::RgbRange::Automatic
                            || m_connection.atomName(xcb_atom_t(valid)) == u"Automatic")) {
                        value = valid;
                        break;
                    }
                }
                if (!value)
                    return fail(d.name + ": \"Broadcast RGB\" offers no value for the RGB range "
                                + quoted(QString::number(uint32_t(d.rgbRange))));
                m_plan->properties.append(writeOf(id, atoms.broadcastRgb, property, *value));
            }
            if (d.maxBitsPerColor != was.maxBitsPerColor) {
                const Property &property = *find(output, atoms.maxBpc);
                const int32_t min = property.validValues[0], max = property.validValues[1];
                // Automatic is 0 where the range holds it, else the most the
                // output allows: the driver then picks the depth.
                const int64_t value = d.maxBitsPerColor ? int64_t(d.maxBitsPerColor) : min <= 0 ? 0 : max;
                if (value < min || value > max)
                    return fail(u"%1: \"maxBitsPerColor\" %2 is outside the range %3 to %4 that the output allows"_qs
                                    .arg(d.name)
                                    .arg(d.maxBitsPerColor)
                                    .arg(min)
                                    .arg(max));
                m_plan->properties.append(writeOf(id, atoms.maxBpc, property, int32_t(value)));
            }
            if (d.overscan != was.overscan) {
                const Property &underscan = *find(output, atoms.underscan);
                const QString word = d.overscan ? u"on"_qs : u"off"_qs;
                std::optional<int32_t> value;
                for (const int32_t valid : underscan.validValues) {
                    if (m_connection.atomName(xcb_atom_t(valid)) == word)
                        value = valid;
                }
                if (!value)
                    return fail(d.name + ": \"underscan\" offers no value " + quoted(word));
                for (const xcb_atom_t atom : {atoms.underscanHBorder, atoms.underscanVBorder}) {
                    const Property *border = find(output, atom);
                    if (!usable(border) || !d.overscan)
                        continue;
                    if (border->range && border->validValues.size() == 2
                        && (int64_t(d.overscan) < border->validValues[0] || int64_t(d.overscan) > border->validValues[1]))
                        return fail(u"%1: \"overscan\" %2 is outside the range %3 to %4 that the output allows"_qs
                                        .arg(d.name)
                                        .arg(d.overscan)
                                        .arg(border->validValues[0])
                                        .arg(border->validValues[1]));
                    m_plan->properties.append(writeOf(id, atom, *border, int32_t(d.overscan)));
                }
                m_plan->properties.append(writeOf(id, atoms.underscan, underscan, *value));
            }
        }
        return true;
    }

    // A mirror made or ended here names its source, or none; marks that
    // name what no longer is go too.
    bool marks()
    {
        for (const Data &d : std::as_const(m_base)) {
            const int want = d.enabled ? d.replicationSource : 0;
            const int have = replicaMark(server(d), m_connection.atoms());
            if (want != have && (d.replicationSource != m_described[d.id].replicationSource || have))
                m_plan->marks.append({xcb_randr_output_t(d.id), xcb_randr_output_t(want)});
        }
        return true;
    }

    bool gamma()
    {
        for (const Data &d : std::as_const(m_base)) {
            if (d.brightness == m_described[d.id].brightness)
                continue;
            if (!(d.brightness >= 0 && d.brightness <= 1))
                return fail(d.name + ": \"brightness\" must lie between 0 and 1");
            const CrtcState &crtc = m_now.crtcs.value(server(d).crtc);
            if (crtc.red.isEmpty())
                return fail(d.name + ": changing \"brightness\" needs the capability \"brightness\"");
            m_plan->gamma.append({crtc.id, scaledRamp(crtc.red, d.brightness), scaledRamp(crtc.green, d.brightness),
                                  scaledRamp(crtc.blue, d.brightness)});
        }
        return true;
    }

    bool customModes()
    {
        for (const Data &d : std::as_const(m_base)) {
            const Data &was = m_described[d.id];
            if (d.customModes == was.customModes)
                continue;
            const OutputState &output = server(d);
            for (const ModeInfo &mode : d.customModes) {
                if (was.customModes.contains(mode))
                    continue;
                QString why;
                const std::optional<Timings> timings = customModeTimings(mode, &why);
                if (!timings)
                    return fail(d.name + ": " + why);
                m_plan->additions.append({output.id, customModeName(mode), *timings});
            }
            for (const ModeInfo &mode : was.customModes) {
                if (d.customModes.contains(mode))
                    continue;
                for (const xcb_randr_mode_t id : output.modes) {
                    const std::optional<ModeInfo> info = parseCustomModeName(m_now.modes.value(id).name);
                    if (!info || !(*info == mode))
                        continue;
                    for (const CrtcTarget &target : std::as_const(m_plan->layout.crtcs)) {
                        if (target.mode == id && target.outputs.contains(output.id))
                            return fail(d.name + ": the custom mode " + describeCustomMode(mode)
                                        + " is the output's current mode; set another mode first");
                    }
                    m_plan->removals.append({output.id, id});
                }
            }
        }
        return true;
    }

    Connection &m_connection;
    const ServerState &m_now;
    const QMap<int, Data> &m_described;
    QMap<int, Data> &m_base;
    QString *m_reason;
    Plan *m_plan = nullptr;
};

std::function<bool(const char *)> &stepHook()
{
    static std::function<bool(const char *)> hook;
    return hook;
}

// Whether the test hook lets a step run.
bool stepAllowed(const char *step, QString *reason)
{
    if (!stepHook() || stepHook()(step))
        return true;
    *reason = u"the step \""_qs + QLatin1StringView(step) + "\" failed";
    return false;
}

// Carries out a plan on the server, undoing what it did when a step fails.
class Executor {
public:
    Executor(Connection &connection, const ServerState &before) : m_connection(connection), m_before(before) {}

    bool run(const Plan &plan, QString *reason)
    {
        if (stepAllowed("modes", reason) && addModes(plan, reason) && stepAllowed("layout", reason)
            && setLayout(m_before, plan.layout, reason) && stepAllowed("primary", reason) && setPrimary(plan, reason)
            && stepAllowed("properties", reason) && writeProperties(plan, reason) && writeMarks(plan, reason)
            && stepAllowed("gamma", reason)
            && writeGamma(plan, reason) && stepAllowed("removals", reason) && removeModes(plan, reason))
            return true;
        rollBack();
        return false;
    }

private:
    xcb_connection_t *c() const { return m_connection.get(); }

    bool addModes(const Plan &plan, QString *reason)
    {
        for (const ModeAddition &addition : plan.additions) {
            xcb_randr_mode_t mode = XCB_NONE;
            for (const ModeLine &line : m_before.modes) {
                if (line.name == addition.name)
                    mode = line.id;
            }
            for (const auto &[name, id] : std::as_const(m_created)) {
                if (name == addition.name)
                    mode = id;
            }
            if (!mode) {
                const Timings &t = addition.timings;
                xcb_randr_mode_info_t info = {};
                info.width = t.width;
                info.height = t.height;
                info.dot_clock = t.dotClock;
                info.hsync_start = t.hsyncStart;
                info.hsync_end = t.hsyncEnd;
                info.htotal = t.htotal;
                info.hskew = t.hskew;
                info.vsync_start = t.vsyncStart;
                info.vsync_end = t.vsyncEnd;
                info.vtotal = t.vtotal;
                info.name_len = uint16_t(addition.name.size());
                info.mode_flags = t.flags;
                xcb_generic_error_t *error = nullptr;
                auto created = reply(xcb_randr_create_mode_reply(
                    c(), xcb_randr_create_mode(c(), m_connection.root(), info, uint32_t(addition.name.size()),
                                               addition.name.constData()),
                    &error));
                if (!created) {
                    *reason = m_connection.errorText("to create the custom mode", error);
                    std::free(error);
                    return false;
                }
                mode = created->mode;
                m_created.append({addition.name, mode});
            }
            const OutputState &output = m_before.outputs.value(addition.output);
            if (output.modes.contains(mode))
                continue;
            if (!m_connection.check(xcb_randr_add_output_mode_checked(c(), addition.output, mode),
                                    "to add the custom mode to the output", reason))
                return false;
            m_added.append({addition.output, mode});
        }
        return true;
    }

    // From the state the server is in to layout: CRTCs that go off or no
    // longer fit first, then the screen's size, then every changed CRTC.
    bool setLayout(const ServerState &from, const Layout &layout, QString *reason, bool undoing = false)
    {
        if (!undoing)
            m_layoutTouched = true;
        bool ok = true;
        const auto failed = [&](const QString &why) {
            if (ok)
                *reason = why;
            ok = false;
            return !undoing; // stop, unless undoing: then do as much as can be done
        };
        QList<xcb_randr_crtc_t> changed;
        for (const CrtcState &crtc : from.crtcs) {
            if (layout.crtcs.value(crtc.id) != targetOf(crtc))
                changed.append(crtc.id);
        }
        for (const xcb_randr_crtc_t id : std::as_const(changed)) {
            const CrtcState &crtc = from.crtcs[id];
            const CrtcTarget &target = layout.crtcs[id];
            if (crtc.mode == XCB_NONE)
                continue;
            const bool fits = crtc.x + crtc.width <= layout.width && crtc.y + crtc.height <= layout.height;
            bool keepsOutputs = true;
            for (const xcb_randr_output_t output : crtc.outputs)
                keepsOutputs = keepsOutputs && target.outputs.contains(output);
            if (target.mode != XCB_NONE && fits && keepsOutputs)
                continue;
            if (!setCrtc(id, {}, from.configTimestamp, reason) && failed(*reason))
                return false;
        }
        if (layout.width != from.width || layout.height != from.height) {
            // The physical size keeps the screen's DPI (96 when it has none).
            const double mmPerPixelX = from.mmWidth && from.width ? double(from.mmWidth) / from.width : 25.4 / 96;
            const double mmPerPixelY = from.mmHeight && from.height ? double(from.mmHeight) / from.height : 25.4 / 96;
            QString why;
            if (!m_connection.check(xcb_randr_set_screen_size_checked(c(), m_connection.root(), layout.width,
                                                                       layout.height,
                                                                       uint32_t(std::lround(layout.width * mmPerPixelX)),
                                                                       uint32_t(std::lround(layout.height * mmPerPixelY))),
                                    "to resize the screen", &why)
                && failed(why))
                return false;
        }
        for (const xcb_randr_crtc_t id : std::as_const(changed)) {
            const CrtcTarget &target = layout.crtcs[id];
            if (target.mode == XCB_NONE)
                continue;
            QString why;
            if (!setCrtc(id, target, from.configTimestamp, &why) && failed(why))
                return false;
        }
        return ok;
    }

    bool setCrtc(xcb_randr_crtc_t crtc, const CrtcTarget &target, xcb_timestamp_t configTimestamp, QString *reason)
    {
        xcb_generic_error_t *error = nullptr;
        auto r = reply(xcb_randr_set_crtc_config_reply(
            c(),
            xcb_randr_set_crtc_config(c(), crtc, XCB_CURRENT_TIME, configTimestamp, target.x, target.y, target.mode,
                                      target.mode ? target.rotation : uint16_t(XCB_RANDR_ROTATION_ROTATE_0),
                                      uint32_t(target.outputs.size()), target.outputs.constData()),
            &error));
        if (!r) {
            *reason = m_connection.errorText(target.mode ? "to set up a CRTC" : "to switch a CRTC off", error);
            std::free(error);
            return false;
        }
        if (r->status != XCB_RANDR_SET_CONFIG_SUCCESS) {
            static const char *const statuses[] = {"success", "an invalid configuration time", "an invalid time",
                                                   "a failure"};
            *reason = u"the X server answered the CRTC change with "_qs
                + QLatin1StringView(r->status < std::size(statuses) ? statuses[r->status] : "an unknown status");
            return false;
        }
        return true;
    }

    bool setPrimary(const Plan &plan, QString *reason)
    {
        if (!plan.primary)
            return true;
        m_primaryTouched = true;
        return m_connection.check(xcb_randr_set_output_primary_checked(c(), m_connection.root(), *plan.primary),
                                  "to set the primary output", reason);
    }

    bool writeProperty(const PropertyWrite &write, const char *request, QString *reason)
    {
        const uint32_t units = uint32_t(write.data.size() / (write.format / 8));
        return m_connection.check(xcb_randr_change_output_property_checked(c(), write.output, write.property, write.type,
                                                                            write.format, XCB_PROP_MODE_REPLACE, units,
                                                                            write.data.constData()),
                                  request, reason);
    }

    bool writeProperties(const Plan &plan, QString *reason)
    {
        for (const PropertyWrite &write : plan.properties) {
            const Property &old = m_before.outputs.value(write.output).properties.value(write.property);
            m_oldProperties.append({write.output, write.property, old.type, old.format, old.data});
            if (!writeProperty(write, "to change an output property", reason))
                return false;
        }
        return true;
    }

    bool setMark(const ReplicaMark &mark, QString *reason)
    {
        const xcb_atom_t atom = m_connection.atom(replicaOfName, true);
        if (!mark.source)
            return m_connection.check(xcb_randr_delete_output_property_checked(c(), mark.output, atom),
                                      "to remove the mark of a mirror", reason);
        const uint32_t source = mark.source;
        return m_connection.check(xcb_randr_configure_output_property_checked(c(), mark.output, atom, 0, 0, 0, nullptr),
                                  "to mark a mirror", reason)
            && m_connection.check(xcb_randr_change_output_property_checked(c(), mark.output, atom, XCB_ATOM_INTEGER, 32,
                                                                            XCB_PROP_MODE_REPLACE, 1, &source),
                                  "to mark a mirror", reason);
    }

    bool writeMarks(const Plan &plan, QString *reason)
    {
        for (const ReplicaMark &mark : plan.marks) {
            m_oldMarks.append({mark.output, xcb_randr_output_t(replicaMark(m_before.outputs.value(mark.output),
                                                                            m_connection.atoms()))});
            if (!setMark(mark, reason))
                return false;
        }
        return true;
    }

    bool setGamma(const GammaWrite &write, QString *reason)
    {
        return m_connection.check(xcb_randr_set_crtc_gamma_checked(c(), write.crtc, uint16_t(write.red.size()),
                                                                    write.red.constData(), write.green.constData(),
                                                                    write.blue.constData()),
                                  "to set a gamma ramp", reason);
    }

    bool writeGamma(const Plan &plan, QString *reason)
    {
        for (const GammaWrite &write : plan.gamma) {
            const CrtcState &old = m_before.crtcs.value(write.crtc);
            m_oldGamma.append({write.crtc, old.red, old.green, old.blue});
            if (!setGamma(write, reason))
                return false;
        }
        return true;
    }

    bool removeModes(const Plan &plan, QString *reason)
    {
        for (const ModeRemoval &removal : plan.removals) {
            if (!m_connection.check(xcb_randr_delete_output_mode_checked(c(), removal.output, removal.mode),
                                    "to remove the custom mode from the output", reason))
                return false;
            m_deleted.append({removal.output, removal.mode});
        }
        // A mode no output lists any more is gone for good.
        QSet<xcb_randr_mode_t> destroy;
        for (const ModeRemoval &removal : plan.removals)
            destroy.insert(removal.mode);
        for (const OutputState &output : m_before.outputs) {
            for (const xcb_randr_mode_t mode : output.modes) {
                if (!destroy.contains(mode))
                    continue;
                const bool removedHere = std::any_of(plan.removals.begin(), plan.removals.end(), [&](const ModeRemoval &r) {
                    return r.output == output.id && r.mode == mode;
                });
                if (!removedHere)
                    destroy.remove(mode);
            }
        }
        for (const xcb_randr_mode_t mode : std::as_const(destroy)) {
            // Still used elsewhere (a CRTC of another client's making): the
            // output no longer lists it, which is what was asked.
            QString ignored;
            m_connection.check(xcb_randr_destroy_mode_checked(c(), mode), "to destroy the custom mode", &ignored);
        }
        return true;
    }

    void rollBack()
    {
        QString ignored;
        for (const auto &[output, mode] : std::as_const(m_deleted))
            m_connection.check(xcb_randr_add_output_mode_checked(c(), output, mode), "", &ignored);
        for (const GammaWrite &write : std::as_const(m_oldGamma))
            setGamma(write, &ignored);
        for (const PropertyWrite &write : std::as_const(m_oldProperties))
            writeProperty(write, "", &ignored);
        for (const ReplicaMark &mark : std::as_const(m_oldMarks))
            setMark(mark, &ignored);
        if (m_primaryTouched)
            m_connection.check(xcb_randr_set_output_primary_checked(c(), m_connection.root(), m_before.primary), "",
                               &ignored);
        if (m_layoutTouched) {
            ServerState now;
            if (m_connection.read(&now, false, &ignored))
                setLayout(now, layoutOf(m_before), &ignored, true);
        }
        for (const auto &[output, mode] : std::as_const(m_added))
            m_connection.check(xcb_randr_delete_output_mode_checked(c(), output, mode), "", &ignored);
        for (const auto &[name, mode] : std::as_const(m_created))
            m_connection.check(xcb_randr_destroy_mode_checked(c(), mode), "", &ignored);
    }

    Connection &m_connection;
    const ServerState &m_before;
    QList<std::pair<QByteArray, xcb_randr_mode_t>> m_created;
    QList<std::pair<xcb_randr_output_t, xcb_randr_mode_t>> m_added;
    QList<std::pair<xcb_randr_output_t, xcb_randr_mode_t>> m_deleted;
    QList<PropertyWrite> m_oldProperties;
    QList<ReplicaMark> m_oldMarks;
    QList<GammaWrite> m_oldGamma;
    bool m_primaryTouched = false;
    bool m_layoutTouched = false;
};

// Whether the snapshot asks anything of an output, refused or not.
bool changesAnything(const Data &fetched, const Data &wanted)
{
    Data scratch = fetched;
    scratch.capabilities = Output::Capabilities::fromInt(0x3ffff);
    QString refusal;
    Merge(fetched, wanted, scratch, &refusal).all();
    return !refusal.isEmpty() || scratch.enabled != fetched.enabled || scratch.pos != fetched.pos
        || scratch.currentModeId != fetched.currentModeId || scratch.rotation != fetched.rotation
        || scratch.replicationSource != fetched.replicationSource || scratch.customModes != fetched.customModes
        || scratch.brightness != fetched.brightness || scratch.rgbRange != fetched.rgbRange
        || scratch.overscan != fetched.overscan || scratch.maxBitsPerColor != fetched.maxBitsPerColor;
}

// Holds the server for one apply, so that nobody sees it half changed.
class ServerGrab {
public:
    explicit ServerGrab(xcb_connection_t *c) : m_c(c) { xcb_grab_server(m_c); }
    ~ServerGrab()
    {
        xcb_ungrab_server(m_c);
        xcb_flush(m_c);
    }
    ServerGrab(const ServerGrab &) = delete;
    ServerGrab &operator=(const ServerGrab &) = delete;

private:
    xcb_connection_t *m_c;
};

} // namespace

void setStepHook(std::function<bool(const char *step)> hook)
{
    stepHook() = std::move(hook);
}

Output::Rotation rotationFromRandr(uint16_t randr)
{
    int turn = 0;
    for (int k = 0; k < 4; ++k) {
        if (randr & (1 << k))
            turn = k;
    }
    bool flipped = false;
    if ((randr & reflectX) && (randr & reflectY)) {
        turn = (turn + 2) % 4;
    } else if (randr & reflectY) {
        turn = (turn + 2) % 4;
        flipped = true;
    } else if (randr & reflectX) {
        flipped = true;
    }
    return Output::Rotation((flipped ? 16u : 1u) << turn);
}

uint16_t rotationToRandr(Output::Rotation rotation, uint16_t supported)
{
    const uint32_t value = uint32_t(rotation);
    int turn = 0;
    bool flipped = false;
    for (int k = 0; k < 8; ++k) {
        if (value == (1u << k)) {
            turn = k % 4;
            flipped = k >= 4;
        }
    }
    const uint16_t straight = uint16_t(1 << turn);
    const uint16_t opposite = uint16_t(1 << ((turn + 2) % 4));
    const uint16_t candidates[2] = {uint16_t(flipped ? reflectX | straight : straight),
                                    uint16_t(flipped ? reflectY | opposite : reflectX | reflectY | opposite)};
    for (const uint16_t bits : candidates) {
        if ((bits & supported) == bits)
            return bits;
    }
    return 0;
}

QMap<int, Data> describe(Connection &connection, const ServerState &state)
{
    const Atoms &atoms = connection.atoms();
    const auto edidOf = [&atoms](const OutputState &output) -> std::optional<EdidIdentity> {
        if (const Property *property = find(output, atoms.edid); property && property->format == 8)
            return edidIdentity(property->data);
        return std::nullopt;
    };
    QMap<int, Data> outputs;
    for (const OutputState &output : state.outputs) {
        Data d;
        d.id = int(output.id);
        d.name = output.name;
        QString connector;
        if (const Property *property = find(output, atoms.connectorType); property && property->format == 32)
            connector = connection.atomName(xcb_atom_t(property->value().value_or(0)));
        d.type = connectorType(connector, output.name);
        d.uuid = outputUuid(edidOf(output), output.name);
        d.connected = output.connected;

        const auto crtc = state.crtcs.constFind(output.crtc);
        const bool hasCrtc = crtc != state.crtcs.constEnd() && crtc->mode != XCB_NONE;
        d.enabled = hasCrtc;
        QList<xcb_randr_mode_t> modes = output.modes;
        if (hasCrtc && !modes.contains(crtc->mode))
            modes.append(crtc->mode);
        for (const xcb_randr_mode_t id : std::as_const(modes)) {
            const ModeLine &mode = state.modes.value(id);
            const QString key = QString::number(id);
            const std::optional<ModeInfo> custom = parseCustomModeName(mode.name);
            // A custom mode asked for by size and rate has the rate asked
            // for: CVT only comes near it (59.95 Hz for 1600x900@60), and the
            // mode is found again by what it was made from.
            const float rate = custom && !custom->timings ? custom->refreshRate : refreshRate(mode.timings);
            d.modes.insert(key, ModePtr::create(key, QSize(mode.timings.width, mode.timings.height), rate));
            if (custom && output.modes.contains(id))
                d.customModes.append(*custom);
        }
        if (output.preferred > 0 && !output.modes.isEmpty())
            d.preferredModeId = QString::number(output.modes.first());

        d.capabilities = Cap::Disable | Cap::CustomModes;
        if (!hasCrtc)
            d.size = QSize(0, 0); // no mode, no area
        if (hasCrtc) {
            d.currentModeId = QString::number(crtc->mode);
            d.pos = QPoint(crtc->x, crtc->y);
            d.rotation = rotationFromRandr(crtc->rotation);
            if (!crtc->red.isEmpty()) {
                d.capabilities |= Cap::BrightnessControl;
                d.brightness = rampBrightness(*crtc);
            }
        }
        if (const Property *property = find(output, atoms.broadcastRgb);
            usable(property) && property->format == 32 && !property->validValues.isEmpty()) {
            d.capabilities |= Cap::RgbRange;
            d.rgbRange = rgbRangeOf(connection.atomName(xcb_atom_t(property->value().value_or(0))));
        }
        if (const Property *property = find(output, atoms.maxBpc); usableRange(property)) {
            d.capabilities |= Cap::MaxBitsPerColor;
            const int32_t min = property->validValues[0], max = property->validValues[1];
            d.bitsPerColorRange = {uint32_t(std::max(min, 0)), uint32_t(std::max(max, 0))};
            // RandR's "max bpc" is a limit, never "automatic": the value held
            // is the limit, and 0 the automatic value where the range has it.
            d.maxBitsPerColor = uint32_t(std::max(property->value().value_or(max), 0));
        }
        if (const Property *property = find(output, atoms.underscan);
            usable(property) && property->format == 32 && usable(find(output, atoms.underscanHBorder))) {
            d.capabilities |= Cap::Overscan;
            const bool on = connection.atomName(xcb_atom_t(property->value().value_or(0))) == u"on";
            d.overscan = on ? uint32_t(std::max(find(output, atoms.underscanHBorder)->value().value_or(0), 0)) : 0;
        }
        d.dpms = d.connected ? state.dpms : Output::DpmsMode::On;
        outputs.insert(d.id, d);
    }

    // Twin monitors that tell no serial apart: each uuid still names one output.
    QHash<QString, int> uuids;
    for (const Data &d : std::as_const(outputs))
        ++uuids[d.uuid];
    for (Data &d : outputs) {
        if (uuids.value(d.uuid) > 1)
            d.uuid = outputUuid(edidOf(state.outputs.value(xcb_randr_output_t(d.id))), d.name, true);
    }

    // Priority 1 is the server's primary output alone, when it has one that
    // shows something; the other enabled, connected outputs follow by id.
    int rank = 1;
    if (outputs.contains(int(state.primary))) {
        Data &primary = outputs[int(state.primary)];
        if (primary.enabled && primary.connected)
            primary.priority = 1;
    }
    for (Data &d : outputs) {
        if (d.enabled && d.connected && !d.priority)
            d.priority = uint32_t(++rank);
    }

    // Outputs that show the same area mirror one of them. RandR keeps no
    // direction, so a replica we made names its source in our mark; among
    // outputs mirrored by others, the primary is the source, else the lowest id.
    const auto areaOf = [&state](const Data &d) {
        const CrtcState &crtc = state.crtcs.value(state.outputs.value(xcb_randr_output_t(d.id)).crtc);
        return QRect(crtc.x, crtc.y, crtc.width, crtc.height);
    };
    for (Data &d : outputs) {
        if (!d.enabled)
            continue;
        QList<const Data *> group;
        for (const Data &other : std::as_const(outputs)) {
            if (other.enabled && areaOf(other) == areaOf(d))
                group.append(&other);
        }
        if (group.size() < 2)
            continue;
        const auto named = [&](const Data *member) -> const Data * {
            const int source = replicaMark(state.outputs.value(xcb_randr_output_t(member->id)), atoms);
            for (const Data *candidate : std::as_const(group)) {
                if (candidate != member && candidate->id == source)
                    return candidate;
            }
            return nullptr;
        };
        const Data *source = nullptr;
        for (const Data *member : std::as_const(group)) {
            if (const Data *candidate = named(member); candidate && !named(candidate)) {
                source = candidate;
                break;
            }
        }
        for (const Data *member : std::as_const(group)) {
            if (!source && member->priority == 1)
                source = member;
        }
        if (!source)
            source = group.first();
        if (source->id != d.id)
            d.replicationSource = source->id;
    }
    return outputs;
}

bool X11Backend::fetch(ConfigPtr *config, QString *reason)
{
    ServerState state;
    // Asks the hardware again, as xrandr does: what the server last saw may
    // be older than a monitor plugged in since.
    if (!m_connection->read(&state, true, reason))
        return false;
    OutputList list;
    Config::Origin origin;
    for (Data &d : describe(*m_connection, state)) {
        origin.fetched.insert(d.id, d);
        list.insert(d.id, OutputPtr::create(std::move(d)));
    }
    *config = ConfigPtr::create(std::move(list));
    (*config)->origin() = std::move(origin);
    return true;
}

bool X11Backend::refuseEmulated(QString *reason) const
{
    *reason = u"the outputs of the X server "_qs + Dispor::quoted(m_connection->display())
        + " are Xwayland's emulation of the Wayland compositor's outputs; changes would not reach the screens";
    return false;
}

Applied X11Backend::apply(const Config &config, QByteArray *, QString *reason)
{
    const Config::Origin &origin = config.origin();
    if (m_connection->emulated()) {
        // Decided from the snapshot alone: nothing goes to the server.
        bool changed = !origin.priorityRequests.isEmpty();
        for (const OutputPtr &output : config.outputs()) {
            const auto fetched = origin.fetched.constFind(output->id());
            changed = changed || (fetched != origin.fetched.constEnd() && changesAnything(*fetched, output->data()));
        }
        return changed && !refuseEmulated(reason) ? Applied::Refused : Applied::Done;
    }
    ServerGrab grab(m_connection->get());
    ServerState now;
    if (!m_connection->read(&now, false, reason))
        return Applied::Refused;
    const QMap<int, Data> described = describe(*m_connection, now);
    // Held by the grab, the server must still be as the snapshot found it:
    // a change made since by another client would otherwise be overwritten
    // with values worked out from the old state.
    bool same = described.size() == origin.fetched.size();
    for (auto at = described.cbegin(); same && at != described.cend(); ++at) {
        const auto fetched = origin.fetched.constFind(at.key());
        same = fetched != origin.fetched.constEnd() && Changes::sameState(*fetched, *at);
    }
    if (!same) {
        *reason = QStringLiteral("the outputs changed since they were read");
        return Applied::Conflict;
    }
    return applyChanges(config, now, described, reason) ? Applied::Done : Applied::Refused;
}

bool X11Backend::applyChanges(const Config &config, const ServerState &now, const QMap<int, Data> &described,
                              QString *reason)
{
    QMap<int, Data> base = described;
    const Config::Origin &origin = config.origin();
    bool changed = !origin.priorityRequests.isEmpty();
    for (const OutputPtr &output : config.outputs()) {
        const auto fetched = origin.fetched.constFind(output->id());
        if (fetched == origin.fetched.constEnd())
            continue; // not from the server: nothing to compare with
        const auto at = base.find(output->id());
        if (at == base.end()) {
            if (changesAnything(*fetched, output->data())) {
                *reason = output->name() + ": the output no longer exists";
                return false;
            }
            continue;
        }
        if (!Merge(*fetched, output->data(), *at, reason).all())
            return false;
        changed = true;
    }
    if (!changed)
        return true;

    Plan plan;
    if (!Planner(*m_connection, now, described, base, reason).plan(origin.priorityRequests, &plan))
        return false;
    return Executor(*m_connection, now).run(plan, reason);
}

bool X11Backend::setDpms(Output::DpmsMode mode, QString *reason)
{
    if (m_connection->emulated())
        return refuseEmulated(reason);
    xcb_connection_t *c = m_connection->get();
    if (!m_connection->hasDpms()) {
        *reason = QStringLiteral("the X server has no DPMS extension, so it cannot switch display power");
        return false;
    }
    auto capable = reply(xcb_dpms_capable_reply(c, xcb_dpms_capable(c), nullptr));
    if (!capable || !capable->capable) {
        *reason = QStringLiteral("the X server's screens cannot switch display power");
        return false;
    }
    return m_connection->check(xcb_dpms_enable_checked(c), "to enable DPMS", reason)
        && m_connection->check(xcb_dpms_force_level_checked(c, uint16_t(mode)), "to switch display power", reason);
}

std::shared_ptr<Backend> probeX11Backend(QString *found)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        *found = QStringLiteral("DISPLAY is not set");
        return {};
    }
    std::unique_ptr<Connection> connection = Connection::open(found);
    if (!connection)
        return {};
    if (connection->emulated()) {
        *found = u"the X server "_qs + Dispor::quoted(connection->display())
            + " is Xwayland, whose outputs only emulate the Wayland compositor's";
        return {};
    }
    return std::make_shared<X11Backend>(std::move(connection));
}

std::shared_ptr<Backend> createX11Backend(QString *reason)
{
    std::unique_ptr<Connection> connection = Connection::open(reason);
    if (!connection)
        return {};
    return std::make_shared<X11Backend>(std::move(connection));
}

} // namespace Dispor::X11
