#pragma once

#include "dispor/export.h"

#include <QObject>
#include <QString>

namespace Dispor {

// Display power of all connected outputs (on, standby, suspend, off), for
// backends whose display server offers it. Owned by the caller or its
// QObject parent; one switch at a time.
class DISPOR_EXPORT Dpms : public QObject {
    Q_OBJECT
public:
    enum Mode { On = 0, Standby = 1, Suspend = 2, Off = 3 };

    explicit Dpms(QObject *parent = nullptr);

    // Switches every connected output. Reports hasPendingChangesChanged(true)
    // when it starts and hasPendingChangesChanged(false) once done, also when
    // it failed; then hasError() and errorString() tell why.
    void switchMode(Mode mode);

    bool hasError() const { return !m_error.isEmpty(); }
    QString errorString() const { return m_error; }

Q_SIGNALS:
    // True when a switch starts, false when it ends (also on failure).
    void hasPendingChangesChanged(bool pending);

private:
    QString m_error;
};

} // namespace Dispor
