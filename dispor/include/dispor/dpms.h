#pragma once

#include <QObject>
#include <QString>

namespace Dispor {

// Display power of all connected outputs.
class Dpms : public QObject {
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
    void hasPendingChangesChanged(bool pending);

private:
    QString m_error;
};

} // namespace Dispor
