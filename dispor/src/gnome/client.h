#pragma once

#include <QDBusConnection>
#include <QList>
#include <QString>

#include <memory>
#include <optional>

// Mutter's display configuration (org.gnome.Mutter.DisplayConfig) on the
// session bus: the state as GetCurrentState reports it, and the calls that
// change it. Every call waits a bounded time for its answer.
namespace Dispor::Gnome {

struct ModeState {
    QString id;
    int width = 0;
    int height = 0;
    double refresh = 0;
    QList<double> scales; // the only scales mutter accepts with this mode
    bool current = false;
    bool preferred = false;
};

struct MonitorState {
    QString connector;
    QString vendor;
    QString product;
    QString serial;
    QList<ModeState> modes;
    bool builtin = false;
    std::optional<bool> underscanning; // absent where unsupported

    const ModeState *mode(const QString &id) const;
};

struct LogicalState {
    int x = 0;
    int y = 0;
    double scale = 1;
    uint32_t transform = 0;
    bool primary = false;
    QStringList connectors; // its monitors, first the one others mirror
};

struct State {
    uint32_t serial = 0;
    QList<MonitorState> monitors;
    QList<LogicalState> logical;
    uint32_t layoutMode = 2; // 1 logical, 2 physical
    bool canChangeLayoutMode = false;
    // Identifies the whole reply: mutter's serial stays the same across applies.
    QByteArray stamp;
};

// What ApplyMonitorsConfig takes.
struct MonitorSetting {
    QString connector;
    QString mode;
    std::optional<bool> underscanning;
};

struct LogicalSetting {
    int x = 0;
    int y = 0;
    double scale = 1;
    uint32_t transform = 0;
    bool primary = false;
    QList<MonitorSetting> monitors;
};

enum class Method : uint32_t { Verify = 0, Temporary = 1, Persistent = 2 };

class Session {
public:
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    // A private connection to the session bus on which mutter offers its
    // display configuration; null with a reason (one line, no full stop)
    // when there is none.
    static std::unique_ptr<Session> open(QString *reason);

    // The session bus's own id (32 hex digits), asked for once.
    bool busId(QByteArray *id, QString *reason);
    bool state(State *state, QString *reason);
    // A refusal's reason carries mutter's own.
    bool apply(const State &basis, Method method, const QList<LogicalSetting> &logical, QString *reason);
    bool powerSaveMode(int *mode, QString *reason);
    bool setPowerSaveMode(int mode, QString *reason);

private:
    explicit Session(const QDBusConnection &connection) : m_connection(connection) {}

    QDBusConnection m_connection;
    QByteArray m_busId;
};

} // namespace Dispor::Gnome
