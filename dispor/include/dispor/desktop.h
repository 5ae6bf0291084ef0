#pragma once

#include "dispor/config.h"

#include <QString>

#include <memory>

namespace Dispor {

// What the desktop whose display service served a snapshot can tell and
// show beyond the outputs' configuration: which output is active, and a
// label on every output. Each display service answers in its own way (the
// pointer's output on X11, the focused output on sway, …); where it has
// none, the answer says why. Calls block, with bounded waits.
class DISPOR_EXPORT Desktop {
public:
    // The desktop of the service that served config (from
    // GetConfigOperation); one without such a snapshot answers nothing.
    explicit Desktop(const ConfigPtr &config);
    ~Desktop();
    Desktop(const Desktop &) = delete;
    Desktop &operator=(const Desktop &) = delete;

    // The simulated set has no desktop to ask: a program falls back on its
    // own way, or on none.
    bool isSimulated() const;
    // The active output's connector name; empty, with a one-line reason in
    // *why, where this desktop cannot tell.
    QString activeOutput(QString *why) const;
    // Shows on every enabled output its name, mode and position for the
    // given seconds, and returns once they are gone; false, with a one-line
    // reason, where they cannot be shown.
    bool showLabels(int seconds, QString *why) const;

private:
    class Private;
    std::unique_ptr<Private> d;
};

} // namespace Dispor
