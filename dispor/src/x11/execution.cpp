#include "execution.h"

#include "description.h"

#include <QSet>

#include <algorithm>
#include <array>
#include <cmath>
#include <csignal>

namespace Dispor::X11 {

namespace {

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
        if (!undoing && (!changed.isEmpty() || layout.width != from.width || layout.height != from.height))
            m_layoutSent = true;
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

    // Our mark as data, or none to remove it.
    bool setMark(xcb_randr_output_t output, const QByteArray &data, QString *reason)
    {
        const xcb_atom_t atom = m_connection.atoms().replicaOf;
        if (data.isEmpty())
            return m_connection.check(xcb_randr_delete_output_property_checked(c(), output, atom),
                                      "to remove the mark of a mirror", reason);
        return m_connection.check(xcb_randr_configure_output_property_checked(c(), output, atom, 0, 0, 0, nullptr),
                                  "to mark a mirror", reason)
            && m_connection.check(xcb_randr_change_output_property_checked(c(), output, atom, XCB_ATOM_INTEGER, 32,
                                                                            XCB_PROP_MODE_REPLACE,
                                                                            uint32_t(data.size() / 4), data.constData()),
                                  "to mark a mirror", reason);
    }

    bool writeMarks(const Plan &plan, QString *reason)
    {
        if (plan.marks.isEmpty())
            return true;
        // A mark holds while the configuration is the one it was made in: the
        // one this apply leaves.
        xcb_timestamp_t timestamp = m_before.timestamp;
        if (m_layoutSent) {
            auto now = reply(xcb_randr_get_screen_resources_current_reply(
                c(), xcb_randr_get_screen_resources_current(c(), m_connection.root()), nullptr));
            if (!now) {
                *reason = m_connection.errorText("the screen resources", nullptr);
                return false;
            }
            timestamp = now->timestamp;
        }
        for (const ReplicaMark &mark : plan.marks) {
            const Property *old = findProperty(m_before.outputs.value(mark.output), m_connection.atoms().replicaOf);
            const QByteArray data = mark.source ? replicaMarkData(mark.source, timestamp) : QByteArray();
            if ((old ? old->data : QByteArray()) == data && (!old || old->format == 32))
                continue;
            m_oldMarks.append({mark.output, old && old->format == 32 ? old->data : QByteArray()});
            if (!setMark(mark.output, data, reason))
                return false;
        }
        return true;
    }

    bool setGamma(const GammaWrite &write, QString *reason)
    {
        if (!m_connection.check(xcb_randr_set_crtc_gamma_checked(c(), write.crtc, uint16_t(write.red.size()),
                                                                  write.red.constData(), write.green.constData(),
                                                                  write.blue.constData()),
                                "to set a gamma ramp", reason))
            return false;
        if (!write.output)
            return true;
        const xcb_atom_t atom = m_connection.atoms().gamma;
        if (write.record.isEmpty())
            return m_connection.check(xcb_randr_delete_output_property_checked(c(), write.output, atom),
                                      "to remove the record of a gamma ramp", reason);
        return m_connection.check(xcb_randr_configure_output_property_checked(c(), write.output, atom, 0, 0, 0, nullptr),
                                  "to record a gamma ramp", reason)
            && m_connection.check(xcb_randr_change_output_property_checked(
                                      c(), write.output, atom, XCB_ATOM_INTEGER, 16, XCB_PROP_MODE_REPLACE,
                                      uint32_t(write.record.size() / 2), write.record.constData()),
                                  "to record a gamma ramp", reason);
    }

    bool writeGamma(const Plan &plan, QString *reason)
    {
        for (const GammaWrite &write : plan.gamma) {
            const CrtcState &old = m_before.crtcs.value(write.crtc);
            const Property *record =
                findProperty(m_before.outputs.value(write.output), m_connection.atoms().gamma);
            m_oldGamma.append({write.crtc, old.red, old.green, old.blue, write.output,
                               record ? record->data : QByteArray()});
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
        for (const auto &[output, data] : std::as_const(m_oldMarks))
            setMark(output, data, &ignored);
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
    QList<std::pair<xcb_randr_output_t, QByteArray>> m_oldMarks;
    QList<GammaWrite> m_oldGamma;
    bool m_primaryTouched = false;
    bool m_layoutTouched = false;
    bool m_layoutSent = false; // whether a CRTC or the screen was set
};

} // namespace

namespace {

constexpr std::array<int, 4> heldSignals = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
volatile sig_atomic_t arrived[heldSignals.size()];

void noteSignal(int signal)
{
    for (size_t i = 0; i < heldSignals.size(); ++i) {
        if (heldSignals[i] == signal)
            arrived[i] = 1;
    }
}

} // namespace

struct SignalHold::Saved {
    struct sigaction actions[heldSignals.size()] = {};
    bool held[heldSignals.size()] = {};
};

SignalHold::SignalHold() : m_saved(std::make_unique<Saved>())
{
    struct sigaction note = {};
    note.sa_handler = noteSignal;
    note.sa_flags = SA_RESTART;
    sigemptyset(&note.sa_mask);
    for (const int signal : heldSignals)
        sigaddset(&note.sa_mask, signal);
    for (size_t i = 0; i < heldSignals.size(); ++i) {
        arrived[i] = 0;
        m_saved->held[i] = ::sigaction(heldSignals[i], &note, &m_saved->actions[i]) == 0;
        // Ignored before, ignored still.
        if (m_saved->held[i] && m_saved->actions[i].sa_handler == SIG_IGN) {
            ::sigaction(heldSignals[i], &m_saved->actions[i], nullptr);
            m_saved->held[i] = false;
        }
    }
}

SignalHold::~SignalHold()
{
    const int error = errno;
    for (size_t i = 0; i < heldSignals.size(); ++i) {
        if (m_saved->held[i])
            ::sigaction(heldSignals[i], &m_saved->actions[i], nullptr);
    }
    for (size_t i = 0; i < heldSignals.size(); ++i) {
        if (m_saved->held[i] && arrived[i])
            ::raise(heldSignals[i]);
    }
    errno = error;
}

void setStepHook(std::function<bool(const char *step)> hook)
{
    stepHook() = std::move(hook);
}

bool execute(Connection &connection, const ServerState &before, const Plan &plan, QString *reason)
{
    return Executor(connection, before).run(plan, reason);
}

} // namespace Dispor::X11
