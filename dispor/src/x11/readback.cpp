#include "readback.h"

#include "../naming.h"
#include "../settle.h"
#include "../text.h"
#include "../wording.h"
#include "description.h"

#include <QMap>
#include <QSet>

#include <cerrno>
#include <chrono>

#include <xcb/xcbext.h>

#include <poll.h>

namespace Dispor::X11 {

namespace {

constexpr const char *server = "the X server";

QString modeText(const ServerState &before, const ServerState &held, xcb_randr_mode_t id)
{
    if (!id)
        return QStringLiteral("none");
    const ModeLine mode = before.modes.contains(id) ? before.modes.value(id) : held.modes.value(id);
    if (!mode.id)
        return QString::number(id);
    return QString::number(mode.timings.width) + u'x' + QString::number(mode.timings.height) + u'@' +
           QString::number(refreshRate(mode.timings), 'f', 2);
}

QString rotationText(uint16_t randr)
{
    return Wording::transformWord(transformOfRotation(rotationFromRandr(randr)));
}

// A transform as the scale it stands for, else as its matrix.
QString transformText(const Transform &transform)
{
    if (const std::optional<double> scale = scaleOf(transform))
        return QString::number(*scale);
    QStringList cells;
    for (const int32_t cell : transform.matrix)
        cells.append(QString::number(cell / 65536.0));
    return u"the transform "_qs + cells.join(u',');
}

QString namesOf(const ServerState &before, const QList<xcb_randr_output_t> &outputs)
{
    QStringList names;
    for (const xcb_randr_output_t output : outputs)
        names.append(before.outputs.value(output).name);
    return names.join(u", ");
}

// Which setting an output property carries.
const char *keyOf(const Atoms &atoms, xcb_atom_t property)
{
    if (property == atoms.broadcastRgb)
        return "rgbRange";
    if (property == atoms.maxBpc)
        return "maxBitsPerColor";
    if (property == atoms.backlight)
        return "brightness";
    return "overscan";
}

QString valueText(const ServerState &state, const Property &property)
{
    const std::optional<int32_t> value = property.value();
    if (!value)
        return QStringLiteral("none");
    const QString name = property.type == XCB_ATOM_ATOM ? state.atomName(xcb_atom_t(*value)) : QString();
    return name.isEmpty() ? QString::number(*value) : name;
}

// The names of the custom modes the output lists.
QSet<QByteArray> customNames(const ServerState &state, const OutputState &output)
{
    QSet<QByteArray> names;
    for (const xcb_randr_mode_t id : output.modes) {
        const QByteArray &name = state.modes.value(id).name;
        if (name.startsWith("dispor:"))
            names.insert(name);
    }
    return names;
}

// Where and how the output shows, or "off".
QString placeText(const ServerState &state, xcb_randr_output_t output)
{
    for (const CrtcState &crtc : state.crtcs) {
        if (crtc.mode == XCB_NONE || !crtc.outputs.contains(output))
            continue;
        QString text = modeText(state, state, crtc.mode) + " at " + QString::number(crtc.x) + u',' +
                       QString::number(crtc.y);
        if (crtc.rotation != XCB_RANDR_ROTATION_ROTATE_0)
            text += u" rotated "_qs + rotationText(crtc.rotation);
        if (crtc.transform != Transform())
            text += u" scaled "_qs + transformText(crtc.transform);
        return text;
    }
    return QStringLiteral("off");
}

bool lists(const ServerState &held, const OutputState &output, const QByteArray &name)
{
    for (const xcb_randr_mode_t id : output.modes) {
        if (held.modes.value(id).name == name)
            return true;
    }
    return false;
}

} // namespace

QStringList notHeld(const ServerState &before, const Plan &plan, const ServerState &held)
{
    QMap<xcb_randr_output_t, QStringList> kept;
    const auto note = [&](xcb_randr_output_t output, const QString &line) { kept[output].append(line); };

    for (auto at = plan.layout.crtcs.cbegin(); at != plan.layout.crtcs.cend(); ++at) {
        const CrtcTarget &wanted = *at;
        const CrtcTarget was = targetOf(before.crtcs.value(at.key()));
        if (wanted == was)
            continue;
        CrtcTarget now = targetOf(held.crtcs.value(at.key()));
        // The server may show a mode by another id of the same timings (its
        // own copy of a mode a client made).
        if (now.mode != wanted.mode && now.mode && wanted.mode &&
            modeText(before, held, now.mode) == modeText(before, held, wanted.mode))
            now.mode = wanted.mode;
        if (now == wanted)
            continue;
        // Told at the outputs the CRTC was to show, or showed.
        for (const xcb_randr_output_t output : wanted.mode ? wanted.outputs : was.outputs) {
            const bool on = wanted.mode, lit = now.mode && now.outputs.contains(output);
            if (on != lit) {
                note(output, Wording::notHeld(server, "enabled", on ? u"on"_qs : u"off"_qs,
                                              lit ? u"on"_qs : u"off"_qs));
                continue;
            }
            if (!on)
                continue;
            if (now.mode != wanted.mode)
                note(output, Wording::notHeld(server, "currentModeId", modeText(before, held, wanted.mode),
                                              modeText(before, held, now.mode)));
            if (now.x != wanted.x || now.y != wanted.y)
                note(output, Wording::notHeld(server, "pos",
                                              QString::number(wanted.x) + u',' + QString::number(wanted.y),
                                              QString::number(now.x) + u',' + QString::number(now.y)));
            if (now.rotation != wanted.rotation)
                note(output, Wording::notHeld(server, "rotation", rotationText(wanted.rotation),
                                              rotationText(now.rotation)));
            if (now.transform != wanted.transform)
                note(output, Wording::notHeld(server, "scale", transformText(wanted.transform),
                                              transformText(now.transform)));
            if (now.outputs != wanted.outputs)
                note(output, Wording::notHeld(server, "replicationSource", namesOf(before, wanted.outputs),
                                              namesOf(before, now.outputs)));
        }
    }
    if (plan.primary && held.primary != *plan.primary)
        note(*plan.primary, Wording::notHeld(server, "priority", u"primary"_qs, u"secondary"_qs));
    for (const PropertyWrite &write : plan.properties) {
        const Property have = held.outputs.value(write.output).properties.value(write.property);
        if (have.data == write.data)
            continue;
        Property sent = have;
        sent.type = write.type;
        sent.format = write.format;
        sent.data = write.data;
        note(write.output, Wording::notHeld(server, keyOf(before.atoms, write.property),
                                            valueText(before, sent), valueText(held, have)));
    }
    for (const GammaWrite &write : plan.gamma) {
        const CrtcState &have = held.crtcs.value(write.crtc);
        if (have.red == write.red && have.green == write.green && have.blue == write.blue)
            continue;
        CrtcState sent = have;
        sent.red = write.red;
        sent.green = write.green;
        sent.blue = write.blue;
        for (const xcb_randr_output_t output : before.crtcs.value(write.crtc).outputs)
            note(output, Wording::notHeld(server, "brightness", QString::number(rampBrightness(sent)),
                                          QString::number(rampBrightness(have))));
    }
    for (const ModeAddition &addition : plan.additions) {
        if (!lists(held, held.outputs.value(addition.output), addition.name))
            note(addition.output, u"the X server accepted the custom mode "_qs +
                                      quoted(QString::fromUtf8(addition.name)) + " but does not list it");
    }
    for (const ModeRemoval &removal : plan.removals) {
        if (held.outputs.value(removal.output).modes.contains(removal.mode))
            note(removal.output, u"the X server accepted the removal of the custom mode "_qs +
                                     quoted(QString::fromUtf8(before.modes.value(removal.mode).name)) +
                                     " but still lists it");
    }

    QStringList lines;
    for (auto at = kept.cbegin(); at != kept.cend(); ++at)
        lines.append(before.outputs.value(at.key()).name + ": " + at->join(u"; "));
    return lines;
}

QString changedSince(const ServerState &before, const Plan &plan, const ServerState &held)
{
    QMap<xcb_randr_output_t, QStringList> differs;
    // The server may show a mode by another id of the same timings.
    const auto sameCrtc = [&](const CrtcState &was, const CrtcState &now) {
        CrtcTarget a = targetOf(was), b = targetOf(now);
        if (a.mode && b.mode && modeText(before, held, a.mode) == modeText(before, held, b.mode))
            b.mode = a.mode;
        return a == b;
    };
    for (const CrtcState &was : before.crtcs) {
        const CrtcState &now = held.crtcs.value(was.id);
        if (sameCrtc(was, now))
            continue;
        for (const xcb_randr_output_t output : was.outputs + now.outputs) {
            if (!differs.contains(output))
                differs[output].append(placeText(held, output));
        }
    }
    if (plan.primary && held.primary != before.primary)
        differs[held.primary ? held.primary : before.primary].append(held.primary ? u"primary"_qs
                                                                                  : u"not primary"_qs);
    for (const PropertyWrite &write : plan.properties) {
        const Property was = before.outputs.value(write.output).properties.value(write.property);
        const Property now = held.outputs.value(write.output).properties.value(write.property);
        if (was.data != now.data)
            differs[write.output].append(
                QLatin1StringView(Wording::setting(keyOf(before.atoms, write.property))) + u' ' +
                valueText(held, now));
    }
    for (const GammaWrite &write : plan.gamma) {
        const CrtcState &was = before.crtcs.value(write.crtc), &now = held.crtcs.value(write.crtc);
        if (was.red == now.red && was.green == now.green && was.blue == now.blue)
            continue;
        for (const xcb_randr_output_t output : was.outputs)
            differs[output].append(u"the brightness "_qs + QString::number(rampBrightness(now)));
    }
    QSet<xcb_randr_output_t> listing;
    for (const ModeAddition &addition : plan.additions)
        listing.insert(addition.output);
    for (const ModeRemoval &removal : plan.removals)
        listing.insert(removal.output);
    for (const xcb_randr_output_t output : std::as_const(listing)) {
        const QSet<QByteArray> was = customNames(before, before.outputs.value(output));
        const QSet<QByteArray> now = customNames(held, held.outputs.value(output));
        for (const QByteArray &name : now - was)
            differs[output].append(u"the custom mode "_qs + quoted(QString::fromUtf8(name)) + " listed");
        for (const QByteArray &name : was - now)
            differs[output].append(u"the custom mode "_qs + quoted(QString::fromUtf8(name)) + " not listed");
    }

    QStringList parts;
    for (auto at = differs.cbegin(); at != differs.cend(); ++at)
        parts.append(before.outputs.value(at.key()).name + ": " + at->join(u", "));
    if (held.width != before.width || held.height != before.height)
        parts.append(u"the screen: "_qs + QString::number(held.width) + u'x' + QString::number(held.height));
    return parts.join(u"; ");
}

bool answeredWithin(xcb_connection_t *c, int seconds)
{
    using Clock = std::chrono::steady_clock;
    const xcb_get_input_focus_cookie_t cookie = xcb_get_input_focus(c);
    if (xcb_flush(c) <= 0)
        return false;
    // The server answers in order: once this is answered, all before it are.
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(seconds);
    while (true) {
        void *answer = nullptr;
        xcb_generic_error_t *error = nullptr;
        if (xcb_poll_for_reply(c, cookie.sequence, &answer, &error)) {
            const bool answered = answer && !xcb_connection_has_error(c);
            std::free(answer);
            std::free(error);
            return answered;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd pfd{xcb_get_file_descriptor(c), POLLIN, 0};
        if (left <= 0 || (::poll(&pfd, 1, int(left)) < 0 && errno != EINTR)) {
            xcb_discard_reply(c, cookie.sequence);
            return false;
        }
    }
}

std::optional<QString> heldInstead(Connection &connection, const ServerState &before, const Plan &plan)
{
    ServerState held;
    QString ignored;
    if (!answeredWithin(connection.get(), readBackSeconds) ||
        !connection.read(&held, false, &ignored, &before))
        return std::nullopt;
    return changedSince(before, plan, held);
}

Applied readBack(Connection &connection, const ServerState &before, const Plan &plan, QString *reason)
{
    xcb_connection_t *c = connection.get();
    // Sent as one round, then awaited: one round trip, whatever was asked.
    QMap<xcb_randr_crtc_t, xcb_randr_get_crtc_info_cookie_t> crtcs;
    // Transforms only where one was or is to be: servers before RandR 1.3
    // have none to ask for.
    QMap<xcb_randr_crtc_t, xcb_randr_get_crtc_transform_cookie_t> transforms;
    for (auto at = plan.layout.crtcs.cbegin(); at != plan.layout.crtcs.cend(); ++at) {
        const CrtcTarget was = targetOf(before.crtcs.value(at.key()));
        if (*at == was)
            continue;
        crtcs.insert(at.key(), xcb_randr_get_crtc_info(c, at.key(), XCB_CURRENT_TIME));
        if (at->mode &&
            (at->transform != Transform() || before.crtcs.value(at.key()).transform != Transform()))
            transforms.insert(at.key(), xcb_randr_get_crtc_transform(c, at.key()));
    }
    QMap<xcb_randr_crtc_t, xcb_randr_get_crtc_gamma_cookie_t> ramps;
    for (const GammaWrite &write : plan.gamma)
        ramps.insert(write.crtc, xcb_randr_get_crtc_gamma(c, write.crtc));
    std::optional<xcb_randr_get_output_primary_cookie_t> primary;
    if (plan.primary)
        primary = xcb_randr_get_output_primary(c, connection.root());
    QList<std::pair<const PropertyWrite *, xcb_randr_get_output_property_cookie_t>> properties;
    for (const PropertyWrite &write : plan.properties)
        properties.append({&write, xcb_randr_get_output_property(c, write.output, write.property,
                                                                 XCB_GET_PROPERTY_TYPE_ANY, 0, 1024, 0, 0)});
    QMap<xcb_randr_output_t, xcb_randr_get_output_info_cookie_t> outputs;
    // The modes, by id, where the change made some: the others are known
    // from before, for naming a mode a CRTC did not keep.
    std::optional<xcb_randr_get_screen_resources_current_cookie_t> resources;
    for (const ModeAddition &addition : plan.additions)
        outputs.insert(addition.output, {});
    for (const ModeRemoval &removal : plan.removals)
        outputs.insert(removal.output, {});
    for (auto at = outputs.begin(); at != outputs.end(); ++at)
        *at = xcb_randr_get_output_info(c, at.key(), XCB_CURRENT_TIME);
    if (!plan.additions.isEmpty())
        resources = xcb_randr_get_screen_resources_current(c, connection.root());
    if (!answeredWithin(c, readBackSeconds)) {
        // The change was confirmed, so it may well be in effect: the answers
        // are left to come, or not.
        for (const auto &cookie : std::as_const(crtcs))
            xcb_discard_reply(c, cookie.sequence);
        for (const auto &cookie : std::as_const(transforms))
            xcb_discard_reply(c, cookie.sequence);
        for (const auto &cookie : std::as_const(ramps))
            xcb_discard_reply(c, cookie.sequence);
        if (primary)
            xcb_discard_reply(c, primary->sequence);
        for (const auto &asked : std::as_const(properties))
            xcb_discard_reply(c, asked.second.sequence);
        for (const auto &cookie : std::as_const(outputs))
            xcb_discard_reply(c, cookie.sequence);
        if (resources)
            xcb_discard_reply(c, resources->sequence);
        *reason = LayoutRules::unconfirmed(QLatin1StringView(server), readBackSeconds);
        return Applied::Refused;
    }

    ServerState held;
    held.atoms = before.atoms;
    held.atomNames = before.atomNames;
    bool ok = true;
    for (auto at = crtcs.cbegin(); at != crtcs.cend(); ++at) {
        auto info = reply(xcb_randr_get_crtc_info_reply(c, *at, nullptr));
        ok = ok && info;
        if (!info)
            continue;
        CrtcState &crtc = held.crtcs[at.key()];
        crtc.id = at.key();
        crtc.x = info->x;
        crtc.y = info->y;
        crtc.mode = info->mode;
        crtc.rotation = info->rotation;
        const xcb_randr_output_t *shown = Wire::crtcOutputs(info.get());
        crtc.outputs = QList<xcb_randr_output_t>(shown, shown + info->num_outputs);
    }
    for (auto at = transforms.cbegin(); at != transforms.cend(); ++at)
        readTransform(c, *at, &held.crtcs[at.key()]);
    for (auto at = ramps.cbegin(); at != ramps.cend(); ++at) {
        auto gamma = reply(xcb_randr_get_crtc_gamma_reply(c, *at, nullptr));
        ok = ok && gamma;
        if (!gamma)
            continue;
        CrtcState &crtc = held.crtcs[at.key()];
        crtc.id = at.key();
        readRamps(*gamma, &crtc);
    }
    if (primary) {
        auto answer = reply(xcb_randr_get_output_primary_reply(c, *primary, nullptr));
        ok = ok && answer;
        held.primary = answer ? answer->output : XCB_NONE;
    }
    for (const auto &[write, cookie] : std::as_const(properties)) {
        auto value = reply(xcb_randr_get_output_property_reply(c, cookie, nullptr));
        ok = ok && value;
        if (!value)
            continue;
        Property &property = held.outputs[write->output].properties[write->property];
        property.type = value->type;
        property.format = value->format;
        property.data =
            QByteArray(reinterpret_cast<const char *>(xcb_randr_get_output_property_data(value.get())),
                       xcb_randr_get_output_property_data_length(value.get()));
    }
    for (auto at = outputs.cbegin(); at != outputs.cend(); ++at) {
        auto info = reply(xcb_randr_get_output_info_reply(c, *at, nullptr));
        ok = ok && info;
        if (!info)
            continue;
        const xcb_randr_mode_t *modes = Wire::outputModes(info.get());
        held.outputs[at.key()].modes = QList<xcb_randr_mode_t>(modes, modes + info->num_modes);
    }
    if (resources) {
        auto answer = reply(xcb_randr_get_screen_resources_current_reply(c, *resources, nullptr));
        ok = ok && answer;
        if (answer) {
            readModes(Wire::resourceModes(answer.get()), answer->num_modes, Wire::resourceNames(answer.get()),
                      &held.modes);
        }
    }
    if (!ok) {
        *reason = QStringLiteral("the outputs could not be read back after the change");
        return Applied::Refused;
    }
    QStringList kept = notHeld(before, plan, held);
    if (kept.isEmpty())
        return Applied::Done;
    for (QString &line : kept)
        line = escaped(line);
    *reason = kept.join(u'\n');
    return Applied::NotHeld;
}

} // namespace Dispor::X11
