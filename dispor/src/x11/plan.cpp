#include "plan.h"

#include "../backend.h"
#include "../changes.h"
#include "../mirroring.h"
#include "../ranking.h"
#include "../reach.h"
#include "../settle.h"
#include "../text.h"
#include "../wording.h"
#include "description.h"
#include "names.h"

#include <algorithm>
#include <cmath>

namespace Dispor::X11 {

namespace {

using Data = Output::Data;
using Caps = Output::Capabilities;

// RandR scales an output's picture by its CRTC's transform, which only some
// drivers offer.
constexpr const char *transformless = "the output's CRTC takes no transform, by which RandR scales an output";

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

QList<int> rankingOf(const QMap<int, Data> &outputs)
{
    QList<Ranking::Entry> entries;
    for (const Data &d : outputs)
        entries.append({d.id, d.priority, d.enabled && d.connected});
    return Ranking::order(entries);
}

// The priorities the outputs read once the server has that primary: 1 for
// it, the others by id from 2, as describe() reads them.
QHash<int, uint32_t> serverPriorities(QList<int> ranked, xcb_randr_output_t primary)
{
    std::sort(ranked.begin(), ranked.end());
    QHash<int, uint32_t> priorities;
    uint32_t next = 2;
    for (const int id : std::as_const(ranked))
        priorities.insert(id, xcb_randr_output_t(id) == primary ? 1 : next++);
    return priorities;
}

PropertyWrite writeOf(xcb_randr_output_t output, xcb_atom_t atom, const Property &property, int32_t value)
{
    PropertyWrite write{output, atom, property.type, 32,
                        QByteArray(reinterpret_cast<const char *>(&value), 4)};
    return write;
}

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
            // Whether the CRTC can be scaled is the planner's to say.
            if (is(member, &Data::scale))
                return take(member);
            // The reason looked up only for a change: the walk meets every
            // output, changed or not.
            if (is(member, &Data::dimming))
                return take(member, key, need, orNeed) &&
                       (!differs(member) || refuse(member, key, Reach::why(Reach::Family::X11, key)));
            if (is(member, &Data::colorPowerPreference))
                return !differs(member) || refuse(member, key, Reach::why(Reach::Family::X11, key));
            return take(member, key, need, orNeed);
        });
    }
};

// Turns the merged outputs into what the server must do.
class Planner {
public:
    Planner(const ServerState &now, const QMap<int, Data> &described, QMap<int, Data> &base, QString *reason)
        : m_now(now), m_described(described), m_base(base), m_reason(reason)
    {}

    bool plan(const QList<std::pair<int, uint32_t>> &priorityRequests, Plan *plan)
    {
        m_plan = plan;
        return checkOutputs() && place() && screenSize() && assignCrtcs() && primary(priorityRequests) &&
               properties() && marks() && gamma() && customModes();
    }

private:
    const OutputState &server(const Data &d) const
    {
        return m_now.outputs.find(xcb_randr_output_t(d.id)).value();
    }

    // The output as the server described it, not copied (an output the
    // description lacks reads as a default one).
    const Data &described(int id) const
    {
        static const Data none;
        const auto at = m_described.constFind(id);
        return at == m_described.cend() ? none : *at;
    }

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
            const Data &was = described(d.id);
            if (!d.enabled) {
                if (LayoutRules::switchedOff(was, d) && disabled.isEmpty())
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
                if (d.scale != was.scale)
                    return fail(d.name + ": the output is disabled, so it has no scale to set");
                continue;
            }
            // Switched on, it takes its scale again: its CRTC has no transform yet.
            const bool scaled = d.scale != was.scale || (!was.enabled && d.scale != 1);
            if (scaled && !scalable(d))
                return fail(d.name + ": " + Changes::notPossible("scale", transformless));
            if (scaled && !(std::isfinite(d.scale) && d.scale >= 1.0 / 256 && d.scale <= 256))
                return fail(d.name + ": a scale of " + QString::number(d.scale) + " is out of range");
            if (d.currentModeId.isEmpty()) {
                // Switched on: its preferred mode, else its first.
                const OutputState &output = server(d);
                if (output.modes.isEmpty())
                    return fail(d.name + ": the output has no mode to be enabled with");
                d.currentModeId = QString::number(output.modes.first());
            }
            if (!d.modes.contains(d.currentModeId) || !m_now.modes.contains(modeOf(d)))
                return fail(d.name + ": the mode " + quoted(d.currentModeId) +
                            " is not one of the output's modes");
            if (d.replicationSource) {
                const auto source = m_base.constFind(d.replicationSource);
                const bool kept =
                    source != m_base.constEnd() && d.replicationSource == described(d.id).replicationSource;
                if (kept && !source->enabled && described(source->id).enabled)
                    return fail(source->name + ": cannot be disabled while " + d.name +
                                " mirrors it; end that mirror first");
                // Asked of the source, a mirror the other way round is the
                // source's to refuse.
                if (kept && source->enabled && source->replicationSource == d.id &&
                    source->replicationSource != described(source->id).replicationSource)
                    continue;
                const QString refusal = Mirroring::refusal(d, m_base, Mirroring::Chain::Named);
                if (!refusal.isEmpty())
                    return fail(d.name + ": " + refusal);
            }
        }
        QList<const Data *> all;
        for (const Data &d : std::as_const(m_base))
            all.append(&d);
        const QString noneLit = LayoutRules::noneLeftLit(all, disabled);
        if (!noneLit.isEmpty())
            return fail(noneLit);
        return true;
    }

    // The CRTCs the output could use take transforms, since the one it
    // gets is chosen only later.
    bool scalable(const Data &d) const
    {
        const OutputState &output = server(d);
        const QList<xcb_randr_crtc_t> candidates =
            output.crtc ? QList<xcb_randr_crtc_t>{output.crtc} : output.crtcs;
        for (const xcb_randr_crtc_t id : candidates) {
            const CrtcState &crtc = m_now.crtcs.value(id);
            if (!crtc.transformRead)
                m_plan->transformsUnread = true;
            else if (!crtc.transforms)
                return false;
        }
        return !candidates.isEmpty();
    }

    // The transform the output keeps, or the one its scale asks where it
    // has none: a new scale, or its own on an output switched on.
    Transform transformOf(const Data &d) const
    {
        if (d.scale == described(d.id).scale && server(d).crtc)
            return m_now.crtcs.value(server(d).crtc).transform;
        return scaleTransform(d.scale);
    }

    // The area of the screen the output covers.
    QSize sizeOf(const Data &d) const
    {
        return transformedExtent(extent(m_now.modes.value(modeOf(d)), rotationToRandr(d.rotation, 0xff)),
                                 transformOf(d));
    }

    bool place()
    {
        // Replicas take their source's place, mode and rotation.
        for (Data &d : m_base) {
            if (!d.enabled || !d.replicationSource)
                continue;
            const Data &source = m_base[d.replicationSource];
            const Data &was = described(d.id);
            if (d.replicationSource == was.replicationSource) {
                // Moved away from its source on its own: no longer a mirror.
                if (d.pos != was.pos && d.pos != source.pos) {
                    d.replicationSource = 0;
                    continue;
                }
                if ((d.currentModeId != was.currentModeId && d.currentModeId != source.currentModeId) ||
                    (d.rotation != was.rotation && d.rotation != source.rotation))
                    return fail(d.name + ": the output mirrors " + source.name +
                                " and shows what it shows; stop mirroring first");
            }
            d.pos = source.pos;
            d.rotation = source.rotation;
            if (!d.modes.contains(source.currentModeId)) {
                const ModeLine &wanted = m_now.modes.value(modeOf(source));
                const QSize size(wanted.timings.width, wanted.timings.height);
                QList<Mirroring::Candidate> candidates;
                for (const xcb_randr_mode_t id : server(d).modes) {
                    const ModeLine &mode = m_now.modes.value(id);
                    candidates.append({QString::number(id), QSize(mode.timings.width, mode.timings.height),
                                       refreshRate(mode.timings)});
                }
                d.currentModeId = Mirroring::modeFor(candidates, size, refreshRate(wanted.timings));
                if (d.currentModeId.isEmpty())
                    return fail(d.name + ": " + Mirroring::noModeRefusal(source.name, size));
            } else {
                d.currentModeId = source.currentModeId;
            }
        }
        // Switched on or no longer mirroring, without a place of its own:
        // where the layout rules put an output that joins.
        QSet<int> joining;
        QList<Data *> all;
        for (Data &d : m_base) {
            const Data &was = described(d.id);
            if (LayoutRules::joins(was, d, d.pos != was.pos))
                joining.insert(d.id);
            all.append(&d);
        }
        // Nothing known of where it was (another client switched it off):
        // no place of its own, so it goes where one whose place is taken goes.
        for (const int id : std::as_const(joining)) {
            if (described(id).placementKnown)
                continue;
            for (const Data &other : std::as_const(m_base)) {
                if (LayoutRules::isPlaced(other) && !joining.contains(other.id)) {
                    m_base[id].pos = other.pos;
                    break;
                }
            }
        }
        LayoutRules::placeJoining(all, joining, [this](const Data &d) { return sizeOf(d); });
        // A mirror made leaves the place it had: where that cuts the layout
        // apart, the rest closes up.
        QHash<int, QPoint> leaving;
        for (const Data &d : std::as_const(m_base)) {
            const Data &was = described(d.id);
            if (d.enabled && d.replicationSource && was.enabled && !was.replicationSource)
                leaving.insert(d.id, was.pos);
        }
        LayoutRules::closeUpLeaving(all, leaving, [this](const Data &d) { return sizeOf(d); });
        for (const Data &d : std::as_const(m_base)) {
            if (d.enabled && !supportsRotation(d))
                return fail(d.name + ": the output's CRTC cannot show the rotation " +
                            quoted(QLatin1StringView(rotationWord(d.rotation))));
        }
        return true;
    }

    // Every CRTC the output could use must show it, since the one it gets
    // is chosen only later.
    bool supportsRotation(const Data &d) const
    {
        if (d.rotation == Output::Rotation::None)
            return true;
        const OutputState &output = server(d);
        QList<xcb_randr_crtc_t> candidates =
            output.crtc ? QList<xcb_randr_crtc_t>{output.crtc} : output.crtcs;
        for (const xcb_randr_crtc_t id : candidates) {
            if (!rotationToRandr(d.rotation, m_now.crtcs.value(id).rotations))
                return false;
        }
        return !candidates.isEmpty();
    }

    CrtcTarget targetFor(const Data &d, xcb_randr_crtc_t crtc) const
    {
        return {modeOf(d),
                int16_t(d.pos.x()),
                int16_t(d.pos.y()),
                rotationToRandr(d.rotation, m_now.crtcs.value(crtc).rotations | XCB_RANDR_ROTATION_ROTATE_0),
                {xcb_randr_output_t(d.id)},
                transformOf(d)};
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
            if (other.mode == target.mode && other.x == target.x && other.y == target.y &&
                other.rotation == target.rotation && other.transform == target.transform) {
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
                return fail(d->name + ": the output's CRTC cannot show the rotation " +
                            quoted(QLatin1StringView(rotationWord(d->rotation))));
            layout.crtcs.insert(chosen, targetFor(*d, chosen));
        }
        for (const CrtcState &crtc : m_now.crtcs) {
            if (!layout.crtcs.contains(crtc.id))
                layout.crtcs.insert(crtc.id, {});
        }
        return true;
    }

    // The layout starts at 0,0 and the screen is its bounding box, whatever
    // was switched off or moved: no stretch of the screen that no output shows.
    bool screenSize()
    {
        if (!LayoutRules::toOrigin(m_base))
            return fail(u"the layout spans more than an X screen can hold"_qs);
        int width = 0, height = 0;
        for (const Data &d : std::as_const(m_base)) {
            if (!d.enabled)
                continue;
            const QSize size = sizeOf(d);
            if (int64_t(d.pos.x()) + size.width() > INT16_MAX ||
                int64_t(d.pos.y()) + size.height() > INT16_MAX)
                return fail(d.name + ": the position " + QString::number(d.pos.x()) + u',' +
                            QString::number(d.pos.y()) + " lies beyond what an X screen can hold");
            width = std::max(width, d.pos.x() + size.width());
            height = std::max(height, d.pos.y() + size.height());
        }
        width = std::max<int>(width, m_now.minWidth);
        height = std::max<int>(height, m_now.minHeight);
        if (width > m_now.maxWidth || height > m_now.maxHeight)
            return fail(
                u"the layout needs a screen of %1x%2, larger than the %3x%4 the X server allows"_qs.arg(width)
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
        // X keeps one primary output and no order behind it: an output given
        // rank 1 becomes primary; the primary moved down leaves it to the
        // output that takes its rank; any other request can only confirm the
        // rank the output already reads.
        xcb_randr_output_t primary = m_now.primary;
        QHash<int, uint32_t> asked; // the last request of each output
        for (const auto &[id, priority] : requests) {
            Ranking::move(ranks, id, priority);
            if (priority == 1 && ranks.contains(id))
                primary = xcb_randr_output_t(id);
            else if (xcb_randr_output_t(id) == primary && !ranks.isEmpty() && ranks.first() != id)
                primary = xcb_randr_output_t(ranks.first());
            asked.insert(id, priority);
        }
        const QHash<int, uint32_t> after = serverPriorities(ranks, primary);
        for (auto at = asked.cbegin(); at != asked.cend(); ++at) {
            if (after.value(at.key()) != at.value())
                return fail(m_base[at.key()].name + ": " +
                            Changes::notPossible("priority", Reach::why(Reach::Family::X11, "priority")));
        }
        if (primary != m_now.primary)
            m_plan->primary = primary;
        return true;
    }

    bool properties()
    {
        const Atoms &atoms = m_now.atoms;
        for (const Data &d : std::as_const(m_base)) {
            const Data &was = described(d.id);
            const OutputState &output = server(d);
            const xcb_randr_output_t id = output.id;
            if (d.rgbRange != was.rgbRange) {
                const Property &property = *findProperty(output, atoms.broadcastRgb);
                std::optional<int32_t> value;
                for (const int32_t valid : property.validValues) {
                    if (rgbRangeOf(m_now.atomName(xcb_atom_t(valid))) == d.rgbRange &&
                        (d.rgbRange != Output::RgbRange::Automatic ||
                         m_now.atomName(xcb_atom_t(valid)) == u"Automatic")) {
                        value = valid;
                        break;
                    }
                }
                if (!value)
                    return fail(d.name + ": \"Broadcast RGB\" offers no value for the RGB range " +
                                quoted(QString::number(uint32_t(d.rgbRange))));
                m_plan->properties.append(writeOf(id, atoms.broadcastRgb, property, *value));
            }
            if (d.maxBitsPerColor != was.maxBitsPerColor) {
                const Property &property = *findProperty(output, atoms.maxBpc);
                const int32_t min = property.validValues[0], max = property.validValues[1];
                // Automatic is 0 where the range holds it, else the most the
                // output allows: the driver then picks the depth.
                const int64_t value = d.maxBitsPerColor ? int64_t(d.maxBitsPerColor) : min <= 0 ? 0 : max;
                if (value < min || value > max)
                    return fail(d.name + ": " +
                                Wording::outsideRange("maxBitsPerColor", QString::number(d.maxBitsPerColor),
                                                      min, max));
                m_plan->properties.append(writeOf(id, atoms.maxBpc, property, int32_t(value)));
            }
            if (d.overscan != was.overscan) {
                const Property &underscan = *findProperty(output, atoms.underscan);
                const QString word = d.overscan ? u"on"_qs : u"off"_qs;
                std::optional<int32_t> value;
                for (const int32_t valid : underscan.validValues) {
                    if (m_now.atomName(xcb_atom_t(valid)) == word)
                        value = valid;
                }
                if (!value)
                    return fail(d.name + ": \"underscan\" offers no value " + quoted(word));
                for (const xcb_atom_t atom : {atoms.underscanHBorder, atoms.underscanVBorder}) {
                    const Property *border = findProperty(output, atom);
                    if (!usable(border) || !d.overscan)
                        continue;
                    if (border->range && border->validValues.size() == 2 &&
                        (int64_t(d.overscan) < border->validValues[0] ||
                         int64_t(d.overscan) > border->validValues[1]))
                        return fail(d.name + ": " +
                                    Wording::outsideRange("overscan", QString::number(d.overscan),
                                                          border->validValues[0], border->validValues[1]));
                    m_plan->properties.append(writeOf(id, atom, *border, int32_t(d.overscan)));
                }
                m_plan->properties.append(writeOf(id, atoms.underscan, underscan, *value));
            }
        }
        return true;
    }

    // Ours to mark: a mirror made here, and one our mark still names, whose
    // mark must name the configuration this apply leaves. Other marks go.
    bool marks()
    {
        for (const Data &d : std::as_const(m_base)) {
            const OutputState &output = server(d);
            const bool asked = d.replicationSource != described(d.id).replicationSource;
            const bool ours = asked || replicaMark(output, m_now) == d.replicationSource;
            const int want = d.enabled && d.replicationSource && ours ? d.replicationSource : 0;
            if (want || findProperty(output, m_now.atoms.replicaOf))
                m_plan->marks.append({output.id, xcb_randr_output_t(want)});
        }
        return true;
    }

    // The panel's "Backlight" where the output has one, else the ramps.
    bool gamma()
    {
        for (const Data &d : std::as_const(m_base)) {
            if (d.brightness == described(d.id).brightness)
                continue;
            if (!(d.brightness >= 0 && d.brightness <= 1))
                return fail(d.name + ": " +
                            Wording::outsideRange("brightness", QString::number(d.brightness), 0, 1));
            if (const Property *backlight = backlightOf(server(d), m_now.atoms)) {
                m_plan->properties.append(writeOf(server(d).id, m_now.atoms.backlight, *backlight,
                                                  backlightValue(*backlight, d.brightness)));
                continue;
            }
            const CrtcState &crtc = m_now.crtcs.value(server(d).crtc);
            std::optional<Gamma> gamma = gammaOf(m_now, crtc);
            if (!gamma)
                return fail(d.name + ": " +
                            Changes::needsCapability("brightness", Output::Capability::BrightnessControl));
            gamma->brightness = recordedBrightness(d.brightness);
            m_plan->gamma.append({crtc.id, scaledRamp(gamma->red, gamma->brightness),
                                  scaledRamp(gamma->green, gamma->brightness),
                                  scaledRamp(gamma->blue, gamma->brightness), xcb_randr_output_t(d.id),
                                  gammaRecord(*gamma)});
        }
        return true;
    }

    bool customModes()
    {
        for (const Data &d : std::as_const(m_base)) {
            const Data &was = described(d.id);
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
                // Made, named and listed at the size it gets; asked again by
                // the size it was asked with, it is there already.
                ModeInfo kept = mode;
                kept.width = timings->width;
                kept.height = timings->height;
                const QByteArray name = customModeName(kept);
                const auto same = [&](const ModeAddition &a) {
                    return a.output == output.id && a.name == name;
                };
                if (!was.customModes.contains(kept) &&
                    std::none_of(m_plan->additions.cbegin(), m_plan->additions.cend(), same))
                    m_plan->additions.append({output.id, name, *timings});
            }
            for (const ModeInfo &mode : was.customModes) {
                if (d.customModes.contains(mode))
                    continue;
                for (const xcb_randr_mode_t id : output.modes) {
                    const std::optional<ModeInfo> info = customModeOf(m_now.modes.value(id));
                    if (!info || !(*info == mode))
                        continue;
                    for (const CrtcTarget &target : std::as_const(m_plan->layout.crtcs)) {
                        if (target.mode == id && target.outputs.contains(output.id))
                            return fail(d.name + ": the custom mode " + describeCustomMode(mode) +
                                        " is the output's current mode; set another mode first");
                    }
                    m_plan->removals.append({output.id, id});
                }
            }
        }
        return true;
    }

    const ServerState &m_now;
    const QMap<int, Data> &m_described;
    QMap<int, Data> &m_base;
    QString *m_reason;
    Plan *m_plan = nullptr;
};

} // namespace

CrtcTarget targetOf(const CrtcState &crtc)
{
    if (crtc.mode == XCB_NONE)
        return {};
    QList<xcb_randr_output_t> outputs = crtc.outputs;
    std::sort(outputs.begin(), outputs.end());
    return {crtc.mode, crtc.x, crtc.y, crtc.rotation, outputs, crtc.transform};
}

Layout layoutOf(const ServerState &state)
{
    Layout layout;
    layout.width = state.width;
    layout.height = state.height;
    for (const CrtcState &crtc : state.crtcs)
        layout.crtcs.insert(crtc.id, targetOf(crtc));
    return layout;
}

bool changesAnything(const Data &fetched, const Data &wanted)
{
    // The merge walks every changeable property; unchecked, it refuses
    // nothing and only notes a change, refused or not.
    Data scratch = fetched;
    QString ignored;
    Merge merge(fetched, wanted, scratch, &ignored, false);
    merge.all();
    return merge.changed();
}

bool planApply(const ServerState &now, const QMap<int, Data> &described, const Config &config, Plan *plan,
               QString *reason)
{
    QMap<int, Data> base = described;
    const ConfigOrigin &origin = originOf(config);
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
        // Walked whole when it refuses nothing, the merge has noted every
        // change, as changesAnything() would.
        Merge merge(*fetched, output->data(), *at, reason);
        if (!merge.all())
            return false;
        changed = changed || merge.changed();
    }
    *plan = {};
    if (!changed)
        return true;
    plan->changed = true;
    const bool planned = Planner(now, described, base, reason).plan(origin.priorityRequests, plan);
    for (auto at = plan->layout.crtcs.cbegin(); at != plan->layout.crtcs.cend(); ++at) {
        if (at->mode != XCB_NONE && !now.crtcs.value(at.key()).transformRead)
            plan->transformsUnread = true;
    }
    return planned;
}

} // namespace Dispor::X11
