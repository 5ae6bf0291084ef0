#include "readback.h"

#include "../wording.h"

#include <wayland-util.h>

#include <algorithm>
#include <cstdlib>

namespace Dispor::Wayland {

namespace {

constexpr const char *server = "the compositor";

// As the protocol carries it: 24.8 fixed point, rounded as when it was sent.
int fixed(double scale)
{
    return wl_fixed_from_double(scale);
}

QString modeText(const HeadValues &head)
{
    if (!head.width)
        return QStringLiteral("none");
    return QString::number(head.width) + u'x' + QString::number(head.height) + u'@' +
           QString::number(head.refresh / 1000.0);
}

bool sameMode(const HeadValues &sent, const HeadValues &held)
{
    if (sent.width != held.width || sent.height != held.height)
        return false;
    // A custom mode's rate is the nearest the hardware can do.
    return sent.custom ? std::abs(sent.refresh - held.refresh) <= 1000 : sent.refresh == held.refresh;
}

// What the compositor reports for the head now; a dark head is off.
HeadValues heldBy(const HeadState &head)
{
    HeadValues v;
    v.name = head.name;
    v.enabled = head.lit();
    if (head.currentMode) {
        v.width = head.currentMode->width;
        v.height = head.currentMode->height;
        v.refresh = head.currentMode->refresh;
    }
    v.position = head.position;
    v.transform = head.transform;
    v.scale = head.scale;
    v.adaptiveSync = head.adaptiveSync;
    return v;
}

// The setting that gives the head those values, each one sent: the mode
// by its values (the current one where it has them, as a custom mode where
// no mode of the head's has them).
HeadSetting settingOf(const HeadState &head, const HeadValues &values)
{
    HeadSetting setting;
    setting.head = &head;
    setting.enabled = values.enabled;
    if (!values.enabled)
        return setting;
    const auto same = [&](const ModeState *mode) {
        return mode && mode->width == values.width && mode->height == values.height &&
               mode->refresh == values.refresh;
    };
    if (same(head.currentMode))
        setting.mode = head.currentMode;
    for (const std::unique_ptr<ModeState> &mode : head.modes) {
        if (!setting.mode && same(mode.get()))
            setting.mode = mode.get();
    }
    if (!setting.mode && values.width > 0)
        setting.customMode = HeadSetting::CustomMode{values.width, values.height, values.refresh};
    setting.position = values.position;
    setting.transform = values.transform;
    setting.scale = values.scale;
    setting.adaptiveSync = values.adaptiveSync;
    return setting;
}

} // namespace

bool scaleHeld(double sent, double reported)
{
    // Sent as f/256, reported as r/256. Where the compositor keeps the scale
    // as sent, r == f. sway keeps it in 1/120 steps instead (the step k/120
    // nearest f/256, either one on a tie) and reports that truncated to
    // 1/256 (older libwayland rounds to the nearest): k/120 == 32k/15 in
    // 1/256 units. Any other r is a scale not held.
    const int f = fixed(sent);
    const int r = fixed(reported);
    if (r == f)
        return true;
    const int inSteps = 15 * f; // f/256 in 1/120 steps, times 32
    for (const int k : {inSteps / 32, (inSteps + 31) / 32}) {
        if (std::abs(32 * k - inSteps) > 16)
            continue; // not a nearest step
        if (r == 32 * k / 15 || r == (32 * k + 7) / 15)
            return true;
    }
    return false;
}

QList<HeadValues> sentValues(const QList<HeadSetting> &settings)
{
    QList<HeadValues> sent;
    sent.reserve(settings.size());
    for (const HeadSetting &setting : settings) {
        HeadValues v;
        v.name = setting.head->name;
        v.enabled = setting.enabled;
        if (setting.enabled) {
            if (setting.customMode) {
                v.width = setting.customMode->width;
                v.height = setting.customMode->height;
                v.refresh = setting.customMode->refresh;
                v.custom = true;
            } else if (setting.mode) {
                v.width = setting.mode->width;
                v.height = setting.mode->height;
                v.refresh = setting.mode->refresh;
            }
            v.ownMode = !setting.customMode && !setting.mode;
            v.position = setting.position;
            v.transform = setting.transform.value_or(0);
            v.ownTransform = !setting.transform;
            v.scale = setting.scale.value_or(1.0);
            v.ownScale = !setting.scale;
            v.adaptiveSync = setting.adaptiveSync;
        }
        sent.append(v);
    }
    return sent;
}

QList<HeadValues> heldValues(const std::vector<const HeadState *> &heads)
{
    QList<HeadValues> held;
    held.reserve(qsizetype(heads.size()));
    for (const HeadState *head : heads)
        held.append(heldBy(*head));
    return held;
}

QList<HeadValues> withOwn(const QList<HeadValues> &sent, const QList<HeadValues> &held)
{
    QList<HeadValues> filled = sent;
    for (HeadValues &asked : filled) {
        const auto now = std::find_if(held.cbegin(), held.cend(),
                                      [&](const HeadValues &h) { return h.name == asked.name; });
        if (now == held.cend() || !asked.enabled)
            continue;
        if (asked.ownMode) {
            asked.width = now->width;
            asked.height = now->height;
            asked.refresh = now->refresh;
        }
        if (asked.ownTransform)
            asked.transform = now->transform;
        if (asked.ownScale)
            asked.scale = now->scale;
    }
    return filled;
}

QStringList notHeld(const QList<HeadValues> &sent, const QList<HeadValues> &held)
{
    QStringList lines;
    for (const HeadValues &asked : sent) {
        const auto now = std::find_if(held.cbegin(), held.cend(),
                                      [&](const HeadValues &h) { return h.name == asked.name; });
        if (now == held.cend())
            continue;
        QStringList kept;
        const auto onOff = [](bool on) { return on ? u"on"_qs : u"off"_qs; };
        if (asked.enabled != now->enabled) {
            kept.append(Wording::notHeld(server, "enabled", onOff(asked.enabled), onOff(now->enabled)));
        } else if (asked.enabled) {
            if (asked.width && !sameMode(asked, *now))
                kept.append(Wording::notHeld(server, "currentModeId", modeText(asked), modeText(*now)));
            if (asked.position != now->position)
                kept.append(Wording::notHeld(
                    server, "pos",
                    QString::number(asked.position.x()) + u',' + QString::number(asked.position.y()),
                    QString::number(now->position.x()) + u',' + QString::number(now->position.y())));
            if (asked.transform != now->transform)
                kept.append(Wording::notHeld(server, "rotation", Wording::transformWord(asked.transform),
                                             Wording::transformWord(now->transform)));
            if (!scaleHeld(asked.scale, now->scale))
                kept.append(Wording::notHeld(server, "scale", QString::number(fixed(asked.scale) / 256.0),
                                             QString::number(now->scale)));
            if (asked.adaptiveSync && now->adaptiveSync && *asked.adaptiveSync != *now->adaptiveSync)
                kept.append(Wording::notHeld(server, "vrrPolicy",
                                             *asked.adaptiveSync ? u"always"_qs : u"never"_qs,
                                             *now->adaptiveSync ? u"always"_qs : u"never"_qs));
        }
        if (!kept.isEmpty())
            lines.append(asked.name + ": " + kept.join(u"; "));
    }
    return lines;
}

bool onlyPlacesNotHeld(const QList<HeadValues> &sent, const QList<HeadValues> &held)
{
    QList<HeadValues> placed = held;
    for (HeadValues &now : placed) {
        const auto asked =
            std::find_if(sent.cbegin(), sent.cend(), [&](const HeadValues &s) { return s.name == now.name; });
        if (asked != sent.cend() && asked->enabled && now.enabled)
            now.position = asked->position;
    }
    return !notHeld(sent, held).isEmpty() && notHeld(sent, placed).isEmpty();
}

QList<HeadSetting> placedAsSent(const QList<HeadValues> &sent, const std::vector<const HeadState *> &heads)
{
    QList<HeadSetting> settings;
    for (const HeadState *head : heads) {
        HeadValues values = heldBy(*head);
        const auto asked = std::find_if(sent.cbegin(), sent.cend(),
                                        [&](const HeadValues &s) { return s.name == head->name; });
        if (asked != sent.cend() && asked->enabled)
            values.position = asked->position;
        settings.append(settingOf(*head, values));
    }
    return settings;
}

QList<HeadSetting> restoring(const QList<HeadValues> &before, const std::vector<const HeadState *> &heads)
{
    QList<HeadSetting> settings;
    for (const HeadState *head : heads) {
        const auto was = std::find_if(before.cbegin(), before.cend(),
                                      [&](const HeadValues &b) { return b.name == head->name; });
        // Not there before: as it is.
        settings.append(settingOf(*head, was == before.cend() ? heldBy(*head) : *was));
    }
    return settings;
}

QString holding(const QList<HeadValues> &before, const QList<HeadValues> &now)
{
    QStringList heads;
    for (const HeadValues &head : now) {
        const auto was = std::find_if(before.cbegin(), before.cend(),
                                      [&](const HeadValues &b) { return b.name == head.name; });
        if (was != before.cend() && notHeld({*was}, {head}).isEmpty())
            continue;
        if (!head.enabled) {
            heads.append(head.name + " off");
            continue;
        }
        heads.append(head.name + ' ' + modeText(head) + " at " + QString::number(head.position.x()) + u',' +
                     QString::number(head.position.y()) + ", " + Wording::transformWord(head.transform) +
                     ", scale " + QString::number(head.scale));
    }
    return heads.join(u"; ");
}

QSize logicalSize(const HeadValues &head)
{
    const double scale = fixed(head.scale) / 256.0;
    QSize size(int(head.width / scale), int(head.height / scale));
    return head.transform % 2 ? size.transposed() : size;
}

QList<HeadValues> joinedAsHeld(const QList<HeadValues> &sent, const QHash<QString, QSize> &held)
{
    // Every shift from the sent places, summed: in a row of outputs, one
    // beyond two scaled ones moves by both corrections.
    QList<QPoint> shifts(sent.size());
    for (const HeadValues &edge : sent) {
        const auto now = held.constFind(edge.name);
        if (!edge.enabled || now == held.cend())
            continue;
        const QSize ours = logicalSize(edge);
        const QPoint end = edge.position + QPoint(ours.width(), ours.height());
        const auto joins = [&](bool right) {
            return std::any_of(sent.cbegin(), sent.cend(), [&](const HeadValues &other) {
                if (!other.enabled || other.name == edge.name)
                    return false;
                const QSize size = logicalSize(other);
                return right ? other.position.x() == end.x() && other.position.y() < end.y() &&
                                   edge.position.y() < other.position.y() + size.height()
                             : other.position.y() == end.y() && other.position.x() < end.x() &&
                                   edge.position.x() < other.position.x() + size.width();
            });
        };
        const int dx = now->width() - ours.width();
        const int dy = now->height() - ours.height();
        const bool right = dx && joins(true);
        const bool below = dy && joins(false);
        for (qsizetype i = 0; i < sent.size(); ++i) {
            const HeadValues &other = sent[i];
            if (!other.enabled || other.name == edge.name)
                continue;
            if (right && other.position.x() >= end.x())
                shifts[i].rx() += dx;
            if (below && other.position.y() >= end.y())
                shifts[i].ry() += dy;
        }
    }
    QList<HeadValues> joined = sent;
    for (qsizetype i = 0; i < joined.size(); ++i)
        joined[i].position += shifts[i];
    return joined;
}

} // namespace Dispor::Wayland
