#include "model.h"

#include "../changes.h"
#include "../custom_mode_ids.h"
#include "../naming.h"
#include "../reach.h"
#include "../settle.h"
#include "../text.h"

#include <QHash>
#include <QSet>
#include <QUuid>

#include <algorithm>
#include <cmath>

namespace Dispor::Wayland {

namespace {

using Data = Output::Data;
using Cap = Output::Capability;
using Caps = Output::Capabilities;

constexpr int idRange = 32768;

// Ours, so that no other program's name-based uuids collide with these.
const QUuid uuidNamespace(QStringLiteral("c41d7a52-8e0b-4f6d-a3c9-5b17e2f04d68"));

uint32_t fnv1a(const QByteArray &bytes)
{
    uint32_t hash = 2166136261u;
    for (const char c : bytes) {
        hash ^= uint8_t(c);
        hash *= 16777619u;
    }
    return hash;
}

// wlroots takes the scale in 1/256 steps and truncates size / scale.
constexpr double scaleStep = 1.0 / 256;

// A size and rate as the protocol carries a custom mode; none when out of
// its range.
std::optional<HeadSetting::CustomMode> customModeOf(int width, int height, float refreshRate)
{
    const double millihertz = std::round(double(refreshRate) * 1000);
    if (width <= 0 || height <= 0 || !(millihertz > 0 && millihertz <= INT32_MAX))
        return std::nullopt;
    return HeadSetting::CustomMode{width, height, int(millihertz)};
}

QString modeText(int width, int height, float refreshRate)
{
    return QString::number(width) + u'x' + QString::number(height) + u'@' + QString::number(refreshRate);
}

// What the protocol carries; any other change is refused.
class Merge : public Changes::Merge {
public:
    using Changes::Merge::Merge;

    const std::optional<HeadSetting::CustomMode> &customMode() const { return m_customMode; }
    bool listChanged() const { return m_listChanged; }

    bool all(const HeadState &head)
    {
        if (!take(&Data::enabled) || (!m_base.enabled && !keptWhileDisabled()))
            return false;
        if (!(takeMode(head) && take(&Data::pos) && take(&Data::rotation) && takeScale() && takeVrr() &&
              takeCustomModes() &&
              refuse(&Data::replicationSource, "replicationSource",
                     Reach::why(Reach::Family::Wlroots, "replicationSource"))))
            return false;
        using Changes::is;
        return Changes::forEachProperty([this](auto member, const char *key, Caps need, Caps orNeed) {
            if (is(member, &Data::enabled) || is(member, &Data::pos) || is(member, &Data::currentModeId) ||
                is(member, &Data::rotation) || is(member, &Data::scale) || is(member, &Data::vrrPolicy) ||
                is(member, &Data::customModes) || is(member, &Data::replicationSource))
                return true; // taken above
            // The sizes follow from the mode and the scale; power goes
            // through setDpms alone.
            if (is(member, &Data::size) || is(member, &Data::explicitLogicalSize) || is(member, &Data::dpms))
                return true;
            // A panel's kernel backlight is its brightness alone.
            if (is(member, &Data::colorPowerPreference) || is(member, &Data::dimming))
                return refuse(member, key, Reach::why(Reach::Family::Wlroots, key));
            return take(member, key, need, orNeed);
        });
    }

private:
    // A disabled head is sent without settings, and wlroots brings back its
    // own when it is enabled again.
    bool keptWhileDisabled()
    {
        constexpr const char *why = "the output stays disabled, and the compositor keeps no settings for a "
                                    "disabled output; enable it in the same change";
        return refuse(&Data::pos, "pos", why) && refuse(&Data::currentModeId, "currentModeId", why) &&
               refuse(&Data::scale, "scale", why) && refuse(&Data::rotation, "rotation", why) &&
               refuse(&Data::vrrPolicy, "vrrPolicy", why);
    }

    bool takeMode(const HeadState &head)
    {
        if (!differs(&Data::currentModeId))
            return true;
        if (head.mode(m_wanted.currentModeId))
            return take(&Data::currentModeId);
        // Not the compositor's: one offered for a custom mode, which goes as
        // a size and rate.
        const ModePtr offered = m_wanted.modes.value(m_wanted.currentModeId);
        if (!offered)
            return fail(u"the mode "_qs + quoted(m_wanted.currentModeId) +
                        " is not one of the output's modes");
        m_customMode =
            customModeOf(offered->size().width(), offered->size().height(), offered->refreshRate());
        if (!m_customMode)
            return fail(u"the custom mode "_qs +
                        modeText(offered->size().width(), offered->size().height(), offered->refreshRate()) +
                        " is out of range");
        return take(&Data::currentModeId);
    }

    bool takeScale()
    {
        if (differs(&Data::scale) && !(m_wanted.scale > 0 && m_wanted.scale < 256))
            return fail(u"a scale of "_qs + QString::number(m_wanted.scale) + " is out of range");
        return take(&Data::scale);
    }

    bool takeVrr()
    {
        if (!differs(&Data::vrrPolicy))
            return true;
        if (!(m_base.capabilities & Cap::Vrr))
            return take(&Data::vrrPolicy, "vrrPolicy", Cap::Vrr);
        if (m_wanted.vrrPolicy == Output::VrrPolicy::Automatic)
            return fail(
                QStringLiteral("the compositor switches adaptive sync only on or off, so the VRR policy "
                               "\"automatic\" has no equivalent"));
        return take(&Data::vrrPolicy);
    }

    // The list is the library's; the compositor gets a custom mode only when
    // the output switches to one, as a size and rate.
    bool takeCustomModes()
    {
        if (!differs(&Data::customModes))
            return true;
        if (!(m_base.capabilities & Cap::CustomModes))
            return take(&Data::customModes, "customModes", Cap::CustomModes);
        for (const ModeInfo &mode : m_wanted.customModes) {
            if (m_fetched.customModes.contains(mode))
                continue;
            if (mode.timings)
                return fail(
                    QStringLiteral("the compositor takes a custom mode as a size and refresh rate; explicit "
                                   "timings cannot be given"));
            if (mode.flags & ModeInfo::ReducedBlanking)
                return fail(
                    QStringLiteral("the compositor takes a custom mode as a size and refresh rate; reduced "
                                   "blanking cannot be asked for"));
            if (!customModeOf(mode.width, mode.height, mode.refreshRate))
                return fail(u"the custom mode "_qs + modeText(mode.width, mode.height, mode.refreshRate) +
                            " is out of range");
        }
        m_listChanged = true;
        m_base.customModes = m_wanted.customModes;
        return true;
    }

    std::optional<HeadSetting::CustomMode> m_customMode;
    bool m_listChanged = false;
};

const HeadState *headNamed(const std::vector<const HeadState *> &heads, const QString &name)
{
    for (const HeadState *head : heads) {
        if (head->name == name)
            return head;
    }
    return nullptr;
}

// What a head switched on is sent of its shape beyond its place: only
// what the snapshot changed.
struct Asked {
    bool mode = false;
    bool rotation = false;
    bool scale = false;
    bool vrr = false;
};

} // namespace

QMap<QString, int> assignIds(const QStringList &names)
{
    QStringList sorted = names;
    std::sort(sorted.begin(), sorted.end());
    QMap<QString, int> ids;
    QSet<int> taken;
    for (const QString &name : std::as_const(sorted)) {
        if (ids.contains(name))
            continue;
        const uint32_t hash = fnv1a(name.toUtf8());
        int id = int((hash ^ (hash >> 15)) % idRange);
        while (taken.contains(id + 1))
            id = (id + 1) % idRange;
        taken.insert(id + 1);
        ids.insert(name, id + 1);
    }
    return ids;
}

QMap<QString, QString> assignUuids(const std::vector<const HeadState *> &heads)
{
    const auto uuidOf = [](const QByteArray &key) {
        return QUuid::createUuidV5(uuidNamespace, key).toString(QUuid::WithoutBraces);
    };
    std::vector<const HeadState *> byName = heads;
    std::sort(byName.begin(), byName.end(),
              [](const HeadState *a, const HeadState *b) { return a->name < b->name; });
    QMap<QString, QString> uuids;
    QSet<QByteArray> identities;
    for (const HeadState *head : byName) {
        if (head->make.isEmpty() && head->model.isEmpty() && head->serialNumber.isEmpty()) {
            uuids.insert(head->name, uuidOf("name:" + head->name.toUtf8()));
            continue;
        }
        QByteArray key = "monitor:" + head->make.toUtf8() + '\n' + head->model.toUtf8() + '\n' +
                         head->serialNumber.toUtf8();
        if (identities.contains(key))
            key += '\n' + head->name.toUtf8();
        identities.insert(key);
        uuids.insert(head->name, uuidOf(key));
    }
    return uuids;
}

QMap<int, Output::Data> describe(const std::vector<const HeadState *> &heads, uint32_t version,
                                 const CustomModeLists &customModes, const QHash<QString, QSize> &laidOut,
                                 const RememberedOutputs &remembered)
{
    QStringList names;
    for (const HeadState *head : heads)
        names.append(head->name);
    const QMap<QString, int> ids = assignIds(names);
    const QMap<QString, QString> uuids = assignUuids(heads);

    QMap<int, Data> outputs;
    for (const HeadState *head : heads) {
        Data d;
        d.id = ids.value(head->name);
        d.name = head->name;
        d.uuid = uuids.value(head->name);
        d.make = head->make;
        d.model = head->model;
        d.serialNumber = head->serialNumber;
        d.type = connectorTypeOfName(head->name);
        d.enabled = head->lit();
        d.connected = true;
        d.pos = head->position;
        for (const std::unique_ptr<ModeState> &mode : head->modes) {
            // wlroots stands in an empty mode for a disabled output without modes of its own.
            if (mode->width <= 0 || mode->height <= 0)
                continue;
            d.modes.insert(
                ModePtr::create(mode->id, QSize(mode->width, mode->height), float(mode->refresh / 1000.0)));
            if (mode->preferred && d.preferredModeId.isEmpty())
                d.preferredModeId = mode->id;
        }
        if (head->currentMode && d.modes.contains(head->currentMode->id))
            d.currentModeId = head->currentMode->id;
        d.scale = head->scale;
        d.scaleStep = scaleStep;
        d.sizing = Data::Sizing::Truncated;
        d.rotation = rotationOfTransform(head->transform);
        d.capabilities = Cap::Disable | Cap::CustomModes;
        d.vrrPolicy = Output::VrrPolicy::Never;
        if (version >= 4 && head->adaptiveSync) {
            d.capabilities |= Cap::Vrr;
            d.vrrPolicy = *head->adaptiveSync ? Output::VrrPolicy::Always : Output::VrrPolicy::Never;
        }
        const bool listed = !d.modes.isEmpty();
        d.customModes = customModes.value(head->name);
        offerCustomModes(d);
        if (!d.enabled) {
            // wlroots tells nothing of a disabled head but its modes, and a
            // dark one need not tell what it comes back with: only the
            // record of what it had when the library switched it off does.
            d.pos = QPoint();
            d.currentModeId.clear();
            d.scale = 1.0;
            d.rotation = Output::Rotation::None;
            d.placementKnown = false;
            if (const auto record = remembered.constFind(d.name); record != remembered.cend()) {
                // sway lists no mode for a disabled headless output: the
                // one it had comes back with it.
                if (!listed && !record->modeId.isEmpty() && !d.modes.contains(record->modeId))
                    d.modes.insert(
                        ModePtr::create(record->modeId, record->modeSize, float(record->refreshRate)));
                restore(d, *record);
            }
        }
        // sway sizes the output by a scale it keeps in 1/120 steps, which
        // output management does not tell.
        if (const auto size = laidOut.constFind(d.name);
            d.enabled && size != laidOut.cend() && *size != Output(d).logicalSize())
            d.explicitLogicalSize = QSizeF(*size);
        outputs.insert(d.id, std::move(d));
    }
    return outputs;
}

bool plan(const Config &config, const std::vector<const HeadState *> &heads, uint32_t version, Plan *planned,
          QString *reason, const RememberedOutputs &remembered)
{
    *planned = Plan{};
    const ConfigOrigin &origin = originOf(config);

    // Priorities are the one change that spans outputs: name the output the
    // request was made for.
    for (const OutputPtr &output : config.outputs()) {
        const auto fetched = origin.fetched.constFind(output->id());
        if (fetched != origin.fetched.constEnd() && fetched->priority != output->priority()) {
            const OutputPtr asked = origin.priorityRequests.isEmpty()
                                        ? output
                                        : config.output(origin.priorityRequests.first().first);
            *reason = (asked ? asked->name() : output->name()) + ": " +
                      Changes::notPossible("priority", Reach::why(Reach::Family::Wlroots, "priority"));
            return false;
        }
    }

    CustomModeLists fetchedLists;
    for (const Data &d : origin.fetched)
        fetchedLists.insert(d.name, d.customModes);
    const QMap<int, Data> now = describe(heads, version, fetchedLists, {}, remembered);
    QHash<QString, Data> bases;
    for (const Data &d : now)
        bases.insert(d.name, d);
    QHash<QString, std::optional<HeadSetting::CustomMode>> customModes;
    QString disabled; // the first output this apply switched off
    QSet<QString> unplaced;
    QHash<QString, Asked> switchedOn;

    for (const OutputPtr &output : config.outputs()) {
        const auto fetched = origin.fetched.constFind(output->id());
        if (fetched == origin.fetched.constEnd())
            continue; // not from the compositor: nothing to compare with
        const HeadState *head = headNamed(heads, fetched->name);
        if (!head) {
            Data scratch = *fetched;
            QString ignored;
            Merge probe(*fetched, output->data(), scratch, &ignored);
            probe.all(HeadState{});
            if (probe.changed() || probe.listChanged() || !ignored.isEmpty()) {
                *reason = output->name() + ": the output no longer exists";
                return false;
            }
            continue;
        }
        Data &base = bases[head->name];
        const Data was = base;
        Merge merge(*fetched, output->data(), base, reason);
        if (!merge.all(*head))
            return false;
        planned->configure = planned->configure || merge.changed();
        customModes.insert(head->name, merge.customMode());
        if (merge.listChanged()) {
            planned->fetchedLists.insert(head->name, fetched->customModes);
            planned->wantedLists.insert(head->name, base.customModes);
        }
        if (LayoutRules::switchedOff(was, base)) {
            planned->switchedOff.insert(base.name, rememberedOf(*fetched));
            if (disabled.isEmpty())
                disabled = base.name;
        }
        if (!was.enabled && base.enabled) {
            const Data &wanted = output->data();
            switchedOn.insert(head->name,
                              Asked{wanted.currentModeId != fetched->currentModeId,
                                    wanted.rotation != fetched->rotation, wanted.scale != fetched->scale,
                                    wanted.vrrPolicy != fetched->vrrPolicy});
        }
        if (LayoutRules::joins(was, base, output->pos() != fetched->pos))
            unplaced.insert(head->name);
    }
    // An apply that changes nothing is a request for the state the heads
    // are reported in: wlroots takes every head in each configuration
    // anyway, and some compositors report an output they switched off as
    // enabled, so it is sent (as wlr-randr does). Only a change of the
    // library's own custom mode lists leaves the compositor alone.
    if (!planned->configure && !planned->wantedLists.isEmpty())
        return true;
    planned->configure = true;

    QList<const Data *> all;
    QList<Data *> placed;
    for (Data &d : bases) {
        all.append(&d);
        placed.append(&d);
    }
    const QString noneLit = LayoutRules::noneLeftLit(all, disabled);
    if (!noneLit.isEmpty()) {
        *reason = noneLit;
        return false;
    }
    // Enabled again without a place of its own: with the shape it comes
    // back with, where known, where the layout rules put an output that
    // joins; without, right of the layout, which is always free.
    QSet<int> joining;
    for (const QString &name : std::as_const(unplaced))
        joining.insert(bases[name].id);
    LayoutRules::placeJoining(placed, joining, [](const Data &d) { return Output(d).logicalSize(); });

    for (const HeadState *head : heads) {
        Data &d = bases[head->name];
        HeadSetting setting;
        setting.head = head;
        setting.enabled = d.enabled;
        if (d.enabled) {
            const auto on = switchedOn.constFind(head->name);
            const Asked asked = on == switchedOn.cend() ? Asked{true, true, true, true} : *on;
            if (asked.mode) {
                setting.customMode = customModes.value(head->name);
                setting.mode = head->mode(d.currentModeId);
            }
            setting.position = d.pos;
            const int transform = transformOfRotation(d.rotation);
            if (transform < 0) {
                *reason =
                    d.name + ": the rotation " + QString::number(uint32_t(d.rotation)) + " is not a rotation";
                return false;
            }
            if (asked.rotation)
                setting.transform = transform;
            if (asked.scale)
                setting.scale = d.scale;
            if (asked.vrr && (d.capabilities & Cap::Vrr))
                setting.adaptiveSync = d.vrrPolicy == Output::VrrPolicy::Always;
        }
        planned->settings.append(setting);
    }
    return true;
}

} // namespace Dispor::Wayland
