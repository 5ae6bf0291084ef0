#pragma once

#include "../backend.h"

// The kernel's backlight for a built-in panel whose display server offers
// no light of its own (Backend::carriesLight): the library, not the
// backend, grants the panel its brightness, reads it from sysfs and sets it
// through logind. The server never sees that brightness change.
namespace Dispor::Backlight {

// After a fetch: each such panel with a device gets the brightness control
// and the device's level as its brightness, in the snapshot and as fetched.
void offer(Config &config, const Backend &backend);

// An apply's part for the kernel, around the server's.
class Part {
public:
    explicit Part(Config &config) : m_config(config) {}

    // Takes the kernel-lit brightness out of the snapshot: the server sees
    // its own values there. Refused for a level out of range or a device
    // that cannot be read; a conflict where the level changed since the
    // fetch. Nothing is changed anywhere then.
    Applied takeOut(QString *reason);
    // Gives the snapshot its brightness back, whatever the server's part did.
    void putBack();
    // After the server's part: each changed level through logind, read back
    // from sysfs; NotHeld (one escaped line per output) where the device
    // holds another level.
    Applied set(QString *reason);

private:
    struct Taken {
        int id;
        double wanted;
        double fetched;
    };
    struct Change {
        int id;
        QString output;
        int64_t level;
    };

    Config &m_config;
    QList<Taken> m_taken;
    QList<Change> m_changes;
};

} // namespace Dispor::Backlight
