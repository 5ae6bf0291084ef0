#pragma once

#include "dispor/export.h"

#include <QObject>
#include <QString>

#include <memory>

namespace Dispor {

// Tells a program with an event loop when the display service's
// configuration changes, without polling: outputs plugged in or out, and
// any client's change, the program's own included (X11: RandR's notify
// events; wlroots: the output manager's done; mutter: MonitorsChanged; the
// simulated set: its document replaced). A burst of changes may come as
// several signals. Owned by the caller or its QObject parent.
class DISPOR_EXPORT ConfigWatcher : public QObject {
    Q_OBJECT
public:
    explicit ConfigWatcher(QObject *parent = nullptr);
    ~ConfigWatcher() override;

    // Begins watching the display service the library chooses now, as
    // GetConfigOperation does; false, with errorString(), when it cannot.
    bool start();
    bool isWatching() const;
    QString errorString() const;

Q_SIGNALS:
    // The configuration changed: fetch it again to see how.
    void configChanged();
    // The service went away; the watcher has stopped. One line.
    void serviceLost(const QString &reason);

private:
    class Private;
    std::unique_ptr<Private> d;
};

} // namespace Dispor
