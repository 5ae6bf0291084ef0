#pragma once

#include <QDBusConnection>
#include <QList>
#include <QString>

#include <memory>
#include <optional>

// Mutter's display configuration (org.gnome.Mutter.DisplayConfig) on the
// session bus: the state as GetCurrentState reports it, the calls that
// change it, and the turn that clients of the bus take to change it. Every
// call waits a bounded time for its answer.
namespace Dispor::Gnome {

struct ModeState {
    QString id;
    int width = 0;
    int height = 0;
    double refresh = 0;
    QList<double> scales; // the only scales mutter accepts with this mode
    bool current = false;
    bool preferred = false;
    double preferredScale = 1; // mutter's choice for the mode, one of scales
    bool variable = false;     // its refresh-rate-mode is "variable" (mutter 48's VRR)
};

struct MonitorState {
    QString connector;
    QString vendor;
    QString product;
    QString serial;
    QList<ModeState> modes;
    bool builtin = false;
    std::optional<bool> underscanning; // absent where unsupported
    // Mutter's colour mode (0 default, 1 BT.2100) and those the monitor
    // offers; absent where mutter has no colour modes.
    std::optional<uint32_t> colorMode;
    QList<uint32_t> colorModes;

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

// One entry of the Luminance property: a percentage per monitor and colour mode.
struct LuminanceState {
    QString connector;
    uint32_t colorMode = 0;
    double luminance = 100;
    double standard = 100; // mutter's default for it
    bool unset = true;
};

// One entry of the Backlight property; the levels only where the monitor
// has a backlight mutter can set.
struct BacklightState {
    QString connector;
    bool active = false;
    std::optional<int> min;
    std::optional<int> max;
    std::optional<int> value;

    bool settable() const { return active && min && max && value && *min < *max; }
};

struct State {
    uint32_t serial = 0;
    QList<MonitorState> monitors;
    QList<LogicalState> logical;
    uint32_t layoutMode = 2; // 1 logical, 2 physical
    bool canChangeLayoutMode = false;
    int power = 0; // PowerSaveMode
    // Present where mutter offers the property (and the calls that set it).
    std::optional<QList<LuminanceState>> luminance;
    std::optional<QList<BacklightState>> backlight;
    uint32_t backlightSerial = 0; // SetBacklight takes the latest
    // Identifies the whole reply: mutter's serial stays the same across applies.
    QByteArray stamp;
};

// What ApplyMonitorsConfig takes.
struct MonitorSetting {
    QString connector;
    QString mode;
    std::optional<bool> underscanning;
    std::optional<uint32_t> colorMode; // sent where mutter reports one: left out, it falls back to 0
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

// The display session's turn to change mutter's state, held while this
// lives: a name owned on the session bus.
class Turn {
public:
    ~Turn();
    Turn(const Turn &) = delete;
    Turn &operator=(const Turn &) = delete;

private:
    friend class Session;
    explicit Turn(const QDBusConnection &connection) : m_connection(connection) {}

    QDBusConnection m_connection;
};

class Session {
public:
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    // A private connection to the session bus on which mutter offers its
    // display configuration; null with a reason (one line, no full stop)
    // when there is none.
    static std::unique_ptr<Session> open(QString *reason);

    // Seconds a call that changes nothing may take.
    static constexpr int answerSeconds = 3;

    // Waits for the display session's turn to change mutter's state, which
    // every client of this bus takes in the bus's order, whatever its
    // runtime directory. Null with a reason once for turnWaitSeconds the
    // turn has not changed hands (its holder stopped or hangs); the bus
    // takes it from a holder that dies.
    std::unique_ptr<Turn> takeTurn(QString *reason);
    static constexpr int turnWaitSeconds = 5;

    // The session bus's own id (32 hex digits), asked for once.
    bool busId(QByteArray *id, QString *reason);
    // late: set where mutter did not answer within answerSeconds (rather
    // than failed or went away).
    bool state(State *state, QString *reason, bool *late = nullptr);
    // A refusal's reason carries mutter's own.
    bool apply(const State &basis, Method method, const QList<LogicalSetting> &logical, QString *reason);
    bool setPowerSaveMode(int mode, QString *reason);
    // The luminance of a monitor in a colour mode; reset: back to mutter's default.
    bool setLuminance(const QString &connector, uint32_t colorMode, double luminance, QString *reason);
    bool resetLuminance(const QString &connector, uint32_t colorMode, QString *reason);
    bool setBacklight(uint32_t serial, const QString &connector, int value, QString *reason);

    // For what listens on the same bus (the watch of mutter's signals).
    const QDBusConnection &connection() const { return m_connection; }

private:
    explicit Session(const QDBusConnection &connection) : m_connection(connection) {}

    QDBusConnection m_connection;
    QByteArray m_busId;
};

} // namespace Dispor::Gnome
