#pragma once

#include "dispor/export.h"

#include <QObject>
#include <QString>

#include <memory>

namespace Dispor {

// Display power of all connected outputs (on, standby, suspend, off), for
// backends whose display server offers it. Owned by the caller or its
// QObject parent; one switch at a time.
class DISPOR_EXPORT Dpms : public QObject {
    Q_OBJECT
public:
    enum Mode { On = 0, Standby = 1, Suspend = 2, Off = 3 };
    Q_ENUM(Mode)

    explicit Dpms(QObject *parent = nullptr);
    ~Dpms() override;

    // Switches every connected output. Reports hasPendingChangesChanged(true)
    // when it starts and hasPendingChangesChanged(false) once done, also when
    // it failed; then hasError() and errorString() tell why.
    void switchMode(Mode mode);

    bool hasError() const;
    QString errorString() const;

Q_SIGNALS:
    // True when a switch starts, false when it ends (also on failure).
    void hasPendingChangesChanged(bool pending);

private:
    class Private;
    std::unique_ptr<Private> d;
};

} // namespace Dispor
