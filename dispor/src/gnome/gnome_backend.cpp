#include "gnome_backend.h"

#include "../store.h"
#include "../text.h"
#include "model.h"
#include "readback.h"

namespace Dispor::Gnome {

namespace {

// Mutter's serial does not change on an apply: two runs that read the same
// state would both pass the check, and the later apply would take back the
// earlier one's change. Runs of the library take turns on a lock per
// session bus, beside the virtual set's document and bounded as its lock
// is, from the check to the end of the apply.
std::unique_ptr<Store> takeTurn(Session &session, QString *reason)
{
    QByteArray bus;
    if (!session.busId(&bus, reason))
        return {};
    auto store = std::make_unique<Store>(runtimeLocation("gnome-" + bus));
    bool missing = false;
    if (!store->openDirectory(true, &missing, reason) || !store->lock(reason))
        return {};
    return store;
}

} // namespace

bool GnomeBackend::fetch(ConfigPtr *config, QString *reason)
{
    State state;
    if (!m_session->state(&state, reason))
        return false;
    OutputList list;
    ConfigOrigin origin;
    origin.stamp = state.stamp;
    for (Output::Data &d : describe(state, state.power)) {
        origin.fetched.insert(d.id, d);
        list.insert(d.id, OutputPtr::create(std::move(d)));
    }
    *config = ConfigPtr::create(std::move(list));
    originOf(**config) = std::move(origin);
    return true;
}

Applied GnomeBackend::apply(const Config &config, QByteArray *stamp, QString *reason)
{
    const std::unique_ptr<Store> turn = takeTurn(*m_session, reason);
    if (!turn)
        return Applied::Refused;
    // Mutter's serial stays the same when another client applies: the
    // state as a whole tells whether the snapshot is out of date.
    State state;
    if (!m_session->state(&state, reason))
        return Applied::Refused;
    if (originOf(config).stamp != state.stamp) {
        *reason = QStringLiteral("the outputs changed since they were read");
        return Applied::Conflict;
    }
    Plan plan;
    if (!Gnome::plan(config, state, &plan, reason))
        return Applied::Refused;
    if (plan.changes()) {
        // Verified first, so that a refusal changes nothing. Temporary,
        // because under GNOME Shell a persistent change is taken back after
        // some seconds unless the user confirms it there.
        if (plan.layout && (!m_session->apply(state, Method::Verify, plan.logical, reason) ||
                            !m_session->apply(state, Method::Temporary, plan.logical, reason)))
            return Applied::Refused;
        for (const LuminanceSetting &l : std::as_const(plan.luminance)) {
            if (!(l.luminance ? m_session->setLuminance(l.connector, l.colorMode, *l.luminance, reason)
                              : m_session->resetLuminance(l.connector, l.colorMode, reason)))
                return Applied::Refused;
        }
        if (!plan.backlight.isEmpty()) {
            // SetBacklight takes the serial of the latest Backlight, which
            // an apply moves on.
            if (plan.layout && !m_session->state(&state, reason))
                return Applied::Refused;
            for (const BacklightSetting &b : std::as_const(plan.backlight)) {
                if (!m_session->setBacklight(state.backlightSerial, b.connector, b.value, reason))
                    return Applied::Refused;
            }
        }
        if (!m_session->state(&state, reason))
            return Applied::Refused;
        // Read back: what mutter made of it, by its own rules.
        if (QStringList kept = notHeld(plan, state); !kept.isEmpty()) {
            for (QString &line : kept)
                line = escaped(line);
            *reason = kept.join(u'\n');
            return Applied::NotHeld;
        }
    }
    *stamp = state.stamp;
    return Applied::Done;
}

bool GnomeBackend::setDpms(Output::DpmsMode mode, QString *reason)
{
    // Mutter 43 takes any number without complaint.
    const uint32_t value = uint32_t(mode);
    if (value > uint32_t(Output::DpmsMode::Off)) {
        *reason =
            u"the power mode "_qs + QString::number(value) + " is not one of on, standby, suspend and off";
        return false;
    }
    return m_session->setPowerSaveMode(int(value), reason);
}

std::shared_ptr<Backend> createGnomeBackend(QString *reason)
{
    std::unique_ptr<Session> session = Session::open(reason);
    if (!session)
        return {};
    return std::make_shared<GnomeBackend>(std::move(session));
}

} // namespace Dispor::Gnome
