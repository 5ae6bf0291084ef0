#include "execution.h"

#include "description.h"

#include <QSet>

#include <algorithm>
#include <array>
#include <cmath>
#include <csignal>
#include <optional>

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

// Requests sent without waiting, answered in one go: an apply reaches the
// server in as few writes as its steps allow, so that the process stopped
// by SIGKILL leaves the server before or after them, not in between.
class Batch {
public:
    explicit Batch(Connection &connection) : m_connection(connection) {}
    Batch(const Batch &) = delete;
    Batch &operator=(const Batch &) = delete;
    ~Batch()
    {
        QString ignored;
        settle(&ignored);
    }

    // A request without a reply; a failure of one ignored does not count.
    void add(xcb_void_cookie_t cookie, const char *request, bool ignored = false)
    {
        m_sent.append({cookie.sequence, request, ignored, false});
    }
    void addCrtc(xcb_randr_set_crtc_config_cookie_t cookie, bool on)
    {
        m_sent.append({cookie.sequence, on ? "to set up a CRTC" : "to switch a CRTC off", false, true});
    }

    // Waits for every answer, in the order sent: false with the first
    // failure's reason.
    bool settle(QString *reason)
    {
        xcb_connection_t *c = m_connection.get();
        bool ok = true;
        for (const Sent &sent : std::as_const(m_sent)) {
            QString why;
            xcb_generic_error_t *error = nullptr;
            if (sent.crtc) {
                auto r = reply(xcb_randr_set_crtc_config_reply(c, {sent.sequence}, &error));
                if (!r) {
                    why = m_connection.errorText(sent.request, error);
                } else if (r->status != XCB_RANDR_SET_CONFIG_SUCCESS) {
                    static const char *const statuses[] = {"success", "an invalid configuration time",
                                                           "an invalid time", "a failure"};
                    why = u"the X server answered the CRTC change with "_qs +
                          QLatin1StringView(r->status < std::size(statuses) ? statuses[r->status]
                                                                            : "an unknown status");
                }
            } else {
                error = xcb_request_check(c, {sent.sequence});
                if (error || xcb_connection_has_error(c))
                    why = m_connection.errorText(sent.request, error);
            }
            std::free(error);
            if (!why.isEmpty() && !sent.ignored && ok) {
                *reason = why;
                ok = false;
            }
        }
        m_sent.clear();
        return ok;
    }

private:
    struct Sent {
        unsigned int sequence;
        const char *request;
        bool ignored;
        bool crtc;
    };
    Connection &m_connection;
    QList<Sent> m_sent;
};

} // namespace

class Execution::Steps {
public:
    Steps(Connection &connection, const ServerState &before) : m_connection(connection), m_before(before) {}

    bool run(const Plan &plan, QString *reason)
    {
        // Made first: the layout names the modes by the ids they get.
        bool ok = stepAllowed("modes", reason) && createModes(plan, reason);
        if (ok) {
            Batch batch(m_connection);
            addModes(plan, batch);
            ok = stepAllowed("layout", reason);
            if (ok) {
                setLayout(m_before, plan.layout, batch);
                ok = stepAllowed("primary", reason);
            }
            if (ok) {
                setPrimary(plan, batch);
                ok = stepAllowed("properties", reason);
            }
            if (ok) {
                writeProperties(plan, batch);
                ok = stepAllowed("gamma", reason);
            }
            if (ok) {
                writeGamma(plan, batch);
                ok = stepAllowed("removals", reason);
            }
            if (ok)
                removeModes(plan, batch);
            // The configuration's timestamp once the layout is set, for the
            // marks: asked along, answered after.
            std::optional<xcb_randr_get_screen_resources_current_cookie_t> timestamp;
            if (ok && !plan.marks.isEmpty() && m_layoutSent)
                timestamp = xcb_randr_get_screen_resources_current(c(), m_connection.root());
            QString failure;
            if (!batch.settle(&failure)) {
                *reason = failure;
                ok = false;
            }
            xcb_timestamp_t now = m_before.timestamp;
            if (timestamp) {
                auto resources =
                    reply(xcb_randr_get_screen_resources_current_reply(c(), *timestamp, nullptr));
                if (ok && !resources) {
                    *reason = m_connection.errorText("the screen resources", nullptr);
                    ok = false;
                }
                if (resources)
                    now = resources->timestamp;
            }
            ok = ok && writeMarks(plan, now, reason);
        }
        return ok;
    }

    bool sentAnything() const
    {
        return !m_created.isEmpty() || !m_added.isEmpty() || !m_deleted.isEmpty() || m_layoutSent ||
               m_primaryTouched || !m_oldProperties.isEmpty() || !m_oldMarks.isEmpty() ||
               !m_oldGamma.isEmpty();
    }

    // Everything undone in one batch, the layout from what the server then
    // shows. A mode listed, or gone, already is no failure: the read-back
    // tells what holds.
    bool undo(QString *why)
    {
        if (!stepAllowed("undo", why))
            return false;
        Batch batch(m_connection);
        for (const auto &[output, mode] : std::as_const(m_deleted))
            batch.add(xcb_randr_add_output_mode_checked(c(), output, mode), "", true);
        for (const GammaWrite &write : std::as_const(m_oldGamma))
            setGamma(write, batch);
        for (const PropertyWrite &write : std::as_const(m_oldProperties))
            writeProperty(write, batch);
        for (const auto &[output, data] : std::as_const(m_oldMarks))
            setMark(output, data, batch);
        if (m_primaryTouched)
            batch.add(xcb_randr_set_output_primary_checked(c(), m_connection.root(), m_before.primary),
                      "to set the primary output");
        bool ok = batch.settle(why);
        if (m_layoutTouched) {
            ServerState now;
            QString failure;
            if (m_connection.read(&now, false, &failure) && m_connection.readTransforms(&now, &failure))
                setLayout(now, layoutOf(m_before), batch, true);
            else if (ok)
                *why = failure;
            ok = ok && failure.isEmpty();
        }
        for (const auto &[output, mode] : std::as_const(m_added))
            batch.add(xcb_randr_delete_output_mode_checked(c(), output, mode), "", true);
        for (const auto &[name, mode] : std::as_const(m_created))
            batch.add(xcb_randr_destroy_mode_checked(c(), mode), "", true);
        QString failure;
        if (!batch.settle(&failure) && ok) {
            *why = failure;
            ok = false;
        }
        return ok;
    }

private:
    xcb_connection_t *c() const { return m_connection.get(); }

    bool createModes(const Plan &plan, QString *reason)
    {
        QList<std::pair<QByteArray, xcb_randr_create_mode_cookie_t>> asked;
        for (const ModeAddition &addition : plan.additions) {
            const auto named = [&addition](const auto &entry) { return entry.first == addition.name; };
            bool known = std::any_of(asked.begin(), asked.end(), named);
            for (const ModeLine &line : m_before.modes)
                known = known || line.name == addition.name;
            if (known)
                continue;
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
            asked.append({addition.name,
                          xcb_randr_create_mode(c(), m_connection.root(), info,
                                                uint32_t(addition.name.size()), addition.name.constData())});
        }
        bool ok = true;
        for (const auto &[name, cookie] : std::as_const(asked)) {
            xcb_generic_error_t *error = nullptr;
            auto created = reply(xcb_randr_create_mode_reply(c(), cookie, &error));
            if (created)
                m_created.append({name, created->mode});
            else if (ok)
                *reason = m_connection.errorText("to create the custom mode", error);
            ok = ok && created;
            std::free(error);
        }
        return ok;
    }

    void addModes(const Plan &plan, Batch &batch)
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
            if (m_before.outputs.value(addition.output).modes.contains(mode))
                continue;
            batch.add(xcb_randr_add_output_mode_checked(c(), addition.output, mode),
                      "to add the custom mode to the output");
            m_added.append({addition.output, mode});
        }
    }

    // From the state the server is in to layout: CRTCs that go off or no
    // longer fit first, then the screen's size, then every changed CRTC.
    void setLayout(const ServerState &from, const Layout &layout, Batch &batch, bool undoing = false)
    {
        QList<xcb_randr_crtc_t> changed;
        for (const CrtcState &crtc : from.crtcs) {
            if (layout.crtcs.value(crtc.id) != targetOf(crtc))
                changed.append(crtc.id);
        }
        if (!undoing) {
            m_layoutTouched = true;
            m_layoutSent = !changed.isEmpty() || layout.width != from.width || layout.height != from.height;
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
            setCrtc(id, {}, from.configTimestamp, batch);
        }
        if (layout.width != from.width || layout.height != from.height) {
            // The physical size keeps the screen's DPI (96 when it has none).
            const double mmPerPixelX =
                from.mmWidth && from.width ? double(from.mmWidth) / from.width : 25.4 / 96;
            const double mmPerPixelY =
                from.mmHeight && from.height ? double(from.mmHeight) / from.height : 25.4 / 96;
            batch.add(xcb_randr_set_screen_size_checked(c(), m_connection.root(), layout.width, layout.height,
                                                        uint32_t(std::lround(layout.width * mmPerPixelX)),
                                                        uint32_t(std::lround(layout.height * mmPerPixelY))),
                      "to resize the screen");
        }
        for (const xcb_randr_crtc_t id : std::as_const(changed)) {
            const CrtcTarget &target = layout.crtcs[id];
            if (target.mode == XCB_NONE)
                continue;
            // A transform waits on the CRTC until its next configuration.
            if (target.transform != from.crtcs[id].transform) {
                const std::array<int32_t, 9> &m = target.transform.matrix;
                const xcb_render_transform_t matrix{m[0], m[1], m[2], m[3], m[4], m[5], m[6], m[7], m[8]};
                batch.add(xcb_randr_set_crtc_transform_checked(
                              c(), id, matrix, uint16_t(target.transform.filter.size()),
                              target.transform.filter.constData(), 0, nullptr),
                          "to scale a CRTC");
            }
            setCrtc(id, target, from.configTimestamp, batch);
        }
    }

    void setCrtc(xcb_randr_crtc_t crtc, const CrtcTarget &target, xcb_timestamp_t configTimestamp,
                 Batch &batch)
    {
        batch.addCrtc(xcb_randr_set_crtc_config(
                          c(), crtc, XCB_CURRENT_TIME, configTimestamp, target.x, target.y, target.mode,
                          target.mode ? target.rotation : uint16_t(XCB_RANDR_ROTATION_ROTATE_0),
                          uint32_t(target.outputs.size()), target.outputs.constData()),
                      target.mode != XCB_NONE);
    }

    void setPrimary(const Plan &plan, Batch &batch)
    {
        if (!plan.primary)
            return;
        m_primaryTouched = true;
        batch.add(xcb_randr_set_output_primary_checked(c(), m_connection.root(), *plan.primary),
                  "to set the primary output");
    }

    void writeProperty(const PropertyWrite &write, Batch &batch)
    {
        const uint32_t units = uint32_t(write.data.size() / (write.format / 8));
        batch.add(xcb_randr_change_output_property_checked(c(), write.output, write.property, write.type,
                                                           write.format, XCB_PROP_MODE_REPLACE, units,
                                                           write.data.constData()),
                  "to change an output property");
    }

    void writeProperties(const Plan &plan, Batch &batch)
    {
        for (const PropertyWrite &write : plan.properties) {
            const Property &old = m_before.outputs.value(write.output).properties.value(write.property);
            m_oldProperties.append({write.output, write.property, old.type, old.format, old.data});
            writeProperty(write, batch);
        }
    }

    // Our mark as data, or none to remove it.
    void setMark(xcb_randr_output_t output, const QByteArray &data, Batch &batch)
    {
        const xcb_atom_t atom = m_connection.atoms().replicaOf;
        if (data.isEmpty()) {
            batch.add(xcb_randr_delete_output_property_checked(c(), output, atom),
                      "to remove the mark of a mirror");
            return;
        }
        batch.add(xcb_randr_configure_output_property_checked(c(), output, atom, 0, 0, 0, nullptr),
                  "to mark a mirror");
        batch.add(xcb_randr_change_output_property_checked(c(), output, atom, XCB_ATOM_INTEGER, 32,
                                                           XCB_PROP_MODE_REPLACE, uint32_t(data.size() / 4),
                                                           data.constData()),
                  "to mark a mirror");
    }

    // A mark holds while the configuration is the one it was made in: the
    // one this apply leaves, of that timestamp.
    bool writeMarks(const Plan &plan, xcb_timestamp_t timestamp, QString *reason)
    {
        Batch batch(m_connection);
        for (const ReplicaMark &mark : plan.marks) {
            const Property *old =
                findProperty(m_before.outputs.value(mark.output), m_connection.atoms().replicaOf);
            const QByteArray data = mark.source ? replicaMarkData(mark.source, timestamp) : QByteArray();
            if ((old ? old->data : QByteArray()) == data && (!old || old->format == 32))
                continue;
            m_oldMarks.append({mark.output, old && old->format == 32 ? old->data : QByteArray()});
            setMark(mark.output, data, batch);
        }
        return batch.settle(reason);
    }

    void setGamma(const GammaWrite &write, Batch &batch)
    {
        batch.add(xcb_randr_set_crtc_gamma_checked(c(), write.crtc, uint16_t(write.red.size()),
                                                   write.red.constData(), write.green.constData(),
                                                   write.blue.constData()),
                  "to set a gamma ramp");
        if (!write.output)
            return;
        const xcb_atom_t atom = m_connection.atoms().gamma;
        if (write.record.isEmpty()) {
            batch.add(xcb_randr_delete_output_property_checked(c(), write.output, atom),
                      "to remove the record of a gamma ramp");
            return;
        }
        batch.add(xcb_randr_configure_output_property_checked(c(), write.output, atom, 0, 0, 0, nullptr),
                  "to record a gamma ramp");
        batch.add(xcb_randr_change_output_property_checked(
                      c(), write.output, atom, XCB_ATOM_INTEGER, 16, XCB_PROP_MODE_REPLACE,
                      uint32_t(write.record.size() / 2), write.record.constData()),
                  "to record a gamma ramp");
    }

    void writeGamma(const Plan &plan, Batch &batch)
    {
        for (const GammaWrite &write : plan.gamma) {
            const CrtcState &old = m_before.crtcs.value(write.crtc);
            const Property *record =
                findProperty(m_before.outputs.value(write.output), m_connection.atoms().gamma);
            m_oldGamma.append({write.crtc, old.red, old.green, old.blue, write.output,
                               record ? record->data : QByteArray()});
            setGamma(write, batch);
        }
    }

    void removeModes(const Plan &plan, Batch &batch)
    {
        for (const ModeRemoval &removal : plan.removals) {
            batch.add(xcb_randr_delete_output_mode_checked(c(), removal.output, removal.mode),
                      "to remove the custom mode from the output");
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
                const bool removedHere =
                    std::any_of(plan.removals.begin(), plan.removals.end(), [&](const ModeRemoval &r) {
                        return r.output == output.id && r.mode == mode;
                    });
                if (!removedHere)
                    destroy.remove(mode);
            }
        }
        // Still used elsewhere (a CRTC of another client's making), a mode
        // stays: the output no longer lists it, which is what was asked.
        for (const xcb_randr_mode_t mode : std::as_const(destroy))
            batch.add(xcb_randr_destroy_mode_checked(c(), mode), "to destroy the custom mode", true);
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

bool testStep(const char *step, QString *reason)
{
    return stepAllowed(step, reason);
}

Execution::Execution(Connection &connection, const ServerState &before)
    : m_steps(std::make_unique<Steps>(connection, before))
{}

Execution::~Execution() = default;

bool Execution::run(const Plan &plan, QString *reason)
{
    return m_steps->run(plan, reason);
}

bool Execution::sentAnything() const
{
    return m_steps->sentAnything();
}

bool Execution::undo(QString *why)
{
    return m_steps->undo(why);
}

} // namespace Dispor::X11
