#include "gnome_backend.h"

#include "../text.h"
#include "model.h"
#include "readback.h"

namespace Dispor::Gnome {

bool GnomeBackend::fetch(ConfigPtr *config, QString *reason)
{
    State state;
    int power = 0;
    if (!m_session->state(&state, reason) || !m_session->powerSaveMode(&power, reason))
        return false;
    OutputList list;
    ConfigOrigin origin;
    origin.stamp = state.stamp;
    for (Output::Data &d : describe(state, power)) {
        origin.fetched.insert(d.id, d);
        list.insert(d.id, OutputPtr::create(std::move(d)));
    }
    *config = ConfigPtr::create(std::move(list));
    originOf(**config) = std::move(origin);
    return true;
}

Applied GnomeBackend::apply(const Config &config, QByteArray *stamp, QString *reason)
{
    // Mutter's serial stays the same when another client applies: the
    // state as a whole tells whether the snapshot is out of date.
    State state;
    if (!m_session->state(&state, reason))
        return Applied::Refused;
    if (originOf(config).stamp != state.stamp) {
        *reason = QStringLiteral("the outputs changed since they were read");
        return Applied::Conflict;
    }
    QList<LogicalSetting> settings;
    bool changed = false;
    if (!plan(config, state, &settings, &changed, reason))
        return Applied::Refused;
    if (changed) {
        // Verified first, so that a refusal changes nothing. Temporary,
        // because under GNOME Shell a persistent change is taken back after
        // some seconds unless the user confirms it there.
        if (!m_session->apply(state, Method::Verify, settings, reason)
            || !m_session->apply(state, Method::Temporary, settings, reason)
            || !m_session->state(&state, reason))
            return Applied::Refused;
        // Read back: what mutter made of it, by its own rules.
        if (QStringList kept = notHeld(settings, state); !kept.isEmpty()) {
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
        *reason = u"the power mode "_qs + QString::number(value) + " is not one of on, standby, suspend and off";
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
