#pragma once

#include <QHash>
#include <QList>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

struct wl_display;
struct wl_registry;
struct wl_output;
struct zwlr_output_manager_v1;
struct zwlr_output_head_v1;
struct zwlr_output_mode_v1;
struct zwlr_output_power_manager_v1;
struct zxdg_output_manager_v1;
struct zwlr_foreign_toplevel_manager_v1;

namespace Dispor::Wayland {

class Session;
struct HeadState;
struct LayoutEntry;

// What the compositor last told about one mode of a head.
struct ModeState {
    HeadState *head = nullptr;
    zwlr_output_mode_v1 *proxy = nullptr;
    QString id; // ours, in the order the modes arrived; kept for the connection's life
    int width = 0;
    int height = 0;
    int refresh = 0; // mHz, 0 when unknown
    bool preferred = false;
};

// What the compositor last told about one head.
struct HeadState {
    Session *session = nullptr;
    zwlr_output_head_v1 *proxy = nullptr;
    QString name;
    QString description;
    QString make;
    QString model;
    QString serialNumber;
    bool enabled = false;
    std::vector<std::unique_ptr<ModeState>> modes;
    ModeState *currentMode = nullptr;
    QPoint position;
    int transform = 0; // wl_output.transform
    double scale = 1.0;
    std::optional<bool> adaptiveSync; // only from version 4 on
    // Says enabled, yet has no wl_output: it shows nothing (phoc after a
    // refused disable, wayfire after any).
    bool dark = false;
    int nextModeId = 1;

    // Enabled, and not dark.
    bool lit() const { return enabled && !dark; }

    const ModeState *mode(const QString &id) const;
};

// The settings of one head in a configuration. Of an enabled head, what
// is not set (no mode, no transform, no scale) is left to the compositor,
// which keeps what the head had.
struct HeadSetting {
    const HeadState *head = nullptr;
    bool enabled = false;
    const ModeState *mode = nullptr;
    struct CustomMode {
        int width = 0;
        int height = 0;
        int refresh = 0; // mHz
    };
    std::optional<CustomMode> customMode; // in place of mode
    QPoint position;
    std::optional<int> transform;
    std::optional<double> scale;
    std::optional<bool> adaptiveSync; // sent only when set and the version has it
};

enum class Answer { Succeeded, Failed, Cancelled };

// The focused windows as foreign-toplevel management tells them.
struct Focus {
    int windows = 0;     // toplevels the compositor marks activated
    QStringList outputs; // the outputs they are on, by name, each once, in name order
};

// One connection to the compositor named by WAYLAND_DISPLAY, kept from a
// fetch to the apply of that snapshot so that mode objects stay the same.
class Session {
public:
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    // Connects and lists the globals; fails when no compositor answers.
    // Probing waits less and words a missing WAYLAND_DISPLAY as a finding.
    static std::unique_ptr<Session> open(QString *reason, bool probing = false);
    const QString &socket() const { return m_socket; }

    bool hasOutputManager() const { return m_managerName != 0; }
    bool hasPowerManager() const { return m_powerName != 0; }
    uint32_t managerVersion() const { return m_managerVersion; }
    bool hasLayout() const { return m_xdgName != 0; }
    bool hasToplevels() const { return m_toplevelsName != 0; }

    // Binds the output manager once and waits for its first done; later
    // calls take in what changed since. The heads are then current, each
    // marked dark or not.
    bool update(QString *reason);
    const std::vector<std::unique_ptr<HeadState>> &heads() const { return m_heads; }
    uint32_t serial() const { return m_serial; }
    // How many states the compositor has announced (done events) so far.
    uint64_t announced() const { return m_announced; }
    // Fails when the compositor has stopped its output management, as far
    // as it has told so far.
    bool managing(QString *reason) const;

    // Sends one configuration with every head, made for the state of the
    // given serial, and waits for the answer.
    bool configure(uint32_t serial, const QList<HeadSetting> &settings, bool testOnly, Answer *answer,
                   QString *reason);

    // The logical size of each output in the compositor's own layout, by
    // name (xdg-output), read from objects made now, so that they tell the
    // state after every request sent so far; empty where it offers none.
    bool logicalSizes(QHash<QString, QSize> *sizes, QString *reason);

    // Switches every wl_output; names those the compositor failed or did
    // not take. Power objects only here: wlroots lets one client at a time
    // hold one for an output.
    bool setPower(bool on, QString *reason);

    // The activated toplevels and the outputs they entered, read from a
    // toplevel manager bound for this alone (toplevels.cpp).
    bool focus(Focus *focus, QString *reason);

    // The connection's descriptor, and what came on it taken without
    // waiting, for a watch that keeps the session open (watch.cpp): false
    // with the reason once the connection broke.
    int descriptor() const;
    bool takeEvents(QString *reason);

    // Whether the last wait that failed ran out of time (rather than the
    // connection breaking), and how long a wait may take.
    bool timedOut() const { return m_timedOut; }
    int timeoutSeconds() const { return m_timeoutMs / 1000; }

private:
    Session() = default;

    struct Output {
        uint32_t globalName = 0;
        wl_output *proxy = nullptr;
        QString name;
    };

    bool roundtrip(QString *reason);
    // Dispatches until done() is true; false with a reason on a broken
    // connection or when the compositor stays silent too long, then saying
    // what it did not do (by default "answer").
    template <typename Done>
    bool dispatchUntil(Done done, QString *reason, const std::function<QString()> &awaited = {});
    bool dispatchOnce(int timeoutMs, QString *reason);
    bool bindOutputs(QString *reason);
    // The wl_outputs and the power manager, bound once.
    bool bindPower(QString *reason);
    // Marks the heads that say enabled and have no wl_output of their name.
    bool findDark(QString *reason);
    // A new wl_output for each announced (with layout: and its xdg output),
    // whose state the next roundtrip brings; released by release().
    std::vector<std::unique_ptr<LayoutEntry>> freshOutputs(bool layout);
    static void release(const std::vector<std::unique_ptr<LayoutEntry>> &entries);
    QString connectionError() const;
    // The watch's reason for a broken connection (watch.cpp).
    QString lost() const;
    // The reason for a wait that ran out.
    QString silence(const QString &awaited = QStringLiteral("answer")) const;

    friend struct Events;

    QString m_socket;
    int m_timeoutMs = 0;
    wl_display *m_display = nullptr;
    wl_registry *m_registry = nullptr;
    uint32_t m_managerName = 0;
    uint32_t m_managerVersion = 0;
    uint32_t m_powerName = 0;
    zwlr_output_manager_v1 *m_manager = nullptr;
    zwlr_output_power_manager_v1 *m_power = nullptr;
    uint32_t m_xdgName = 0;
    uint32_t m_xdgVersion = 0;
    uint32_t m_toplevelsName = 0;
    uint32_t m_toplevelsVersion = 0;
    zxdg_output_manager_v1 *m_xdg = nullptr;
    bool m_done = false;
    bool m_finished = false;
    bool m_timedOut = false;
    uint32_t m_serial = 0;
    uint64_t m_announced = 0;
    std::vector<std::unique_ptr<HeadState>> m_heads;
    std::vector<Output> m_outputs;
    bool m_outputsBound = false;
    std::vector<std::pair<uint32_t, uint32_t>> m_outputGlobals; // name, version
};

} // namespace Dispor::Wayland
