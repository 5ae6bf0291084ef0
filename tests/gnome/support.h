#pragma once

// A mutter per test group on a private session bus, in a fresh directory
// (a persistent layout would survive into the next start), stopped by pid.
// Its state is read back with gdbus, never with dispctl.
//
// Mutter 48 comes from the Debian 13 tree (scripts/modern-tree) and runs
// in it (support/tree.h); its bus, runtime directory and sockets are under
// the tree's /tmp, where the host's dispctl and gdbus reach them. What it
// offers beside mutter 43 (gdbus introspect, measured on 48.7):
// - per monitor "color-mode" and "supported-color-modes" in GetCurrentState
//   (0 default, 1 BT.2100); virtual and nested dummy monitors offer only 0.
//   ApplyMonitorsConfig takes any colour mode, offered or not, and reports
//   it back as set; a monitor sent without "color-mode" falls back to 0.
// - Luminance (aa{sv}: connector, color-mode, luminance and default in
//   percent, is-unset) with SetLuminance(s connector, u mode, d) and
//   ResetLuminance(s, u). SetLuminance takes any number, negative or above
//   100, and modes the monitor lacks (listed nowhere); an unknown connector
//   is refused. A luminance outlives applies.
// - Backlight ((u serial, aa{sv}): connector, active, and min, max, value
//   only where there is a backlight) with SetBacklight(u serial, s, i); the
//   serial moves with every apply, a stale one is refused. Headless: empty;
//   nested dummy monitors are built in and listed without levels.
// - is-for-lease per monitor; ready in about 1 s headless.
// - --nested on Xvfb as mutter 43, with the same dummy monitor variables.

#include "bus_proxy.h"
#include "e2e/harness.h"

#include <memory>
#include <string>
#include <vector>

namespace gnome_test {

class Mutter {
public:
    ~Mutter();
    Mutter(const Mutter &) = delete;
    Mutter &operator=(const Mutter &) = delete;

    // Headless, with virtual monitors such as "1920x1080"; fractional turns
    // on fractional scales, and with them the logical layout mode.
    static std::unique_ptr<Mutter> headless(const std::vector<std::string> &monitors,
                                            bool fractional = false);
    // Nested on Xvfb, with two dummy monitors LVDS1 and LVDS2 that offer
    // 1920x1080, 1280x720@50 and 1024x768; null where Xvfb is missing.
    static std::unique_ptr<Mutter> nested();
    // The same two from the Debian 13 tree; null where it has not been made.
    static std::unique_ptr<Mutter> modern(const std::vector<std::string> &monitors, bool fractional = false);
    static std::unique_ptr<Mutter> modernNested();
    // gnome-shell 43 (host) or 48 (the tree) in mutter's place, headless,
    // with an empty system bus of its own; null where it is missing.
    static std::unique_ptr<Mutter> shell(const std::vector<std::string> &monitors, bool modern = false);

    // What a dispctl run on this mutter gets.
    e2e::Env env() const;
    const std::string &busAddress() const { return m_address; }
    // Where the bus listens as "bus": a user's runtime directory.
    const std::string &busDir() const { return m_dir.path(); }
    std::string configDir() const { return m_dir.file("config"); }
    // The runtime directory dispctl runs get.
    const std::string &runtimeDir() const { return m_dir.path(); }
    // Stops, resumes or ends mutter.
    void signal(int number) const;
    // Whether the name has an owner on the bed's bus.
    bool owned(const std::string &name) const;

    // One line per logical monitor, "X,Y SCALE TRANSFORM [primary] CONNECTOR…",
    // in text order.
    std::string logical() const;
    // "CONNECTOR:MODE" of each monitor with a current mode, one a line.
    std::string modes() const;
    // PowerSaveMode, or -1 when it cannot be read.
    int power() const;
    // "CONNECTOR MODE [SUPPORTED…]" of each monitor with colour modes, one a line.
    std::string colorModes() const;
    // The Luminance property, "CONNECTOR MODE PERCENT [unset]" one a line;
    // the Backlight entries, "CONNECTOR [VALUE]"; "failed: …" where absent.
    std::string luminance() const;
    std::string backlight() const;

private:
    explicit Mutter(const std::string &tree = {});
    bool start(const std::vector<std::string> &args, const e2e::Env &env,
               const std::string &program = "mutter");
    bool startHeadless(const std::vector<std::string> &monitors, bool fractional,
                       const std::string &program = "mutter");
    int startXvfb();
    std::string state() const;
    std::string property(const std::string &name) const;

    std::string m_tree;     // mutter 48's, else empty
    support::TempDir m_dir; // the runtime directory, in the tree for mutter 48
    int m_bus = -1;
    int m_systemBus = -1; // gnome-shell's
    std::string m_address;
    int m_pid = -1;
    int m_xvfb = -1;
};

// A dispctl run and what mutter holds afterwards.
struct Step {
    Step(std::vector<std::string> args, std::string err, std::string logical, std::string modes = {},
         std::vector<Meddling> meddling = {})
        : args(std::move(args)), err(std::move(err)), logical(std::move(logical)), modes(std::move(modes)),
          meddling(std::move(meddling))
    {}

    std::vector<std::string> args;
    std::string err;                // empty: exit 0 and nothing on stderr
    std::string logical;            // mutter's logical monitors afterwards; empty: as before
    std::string modes;              // the current modes afterwards (Mutter::modes); empty: not looked at
    std::vector<Meddling> meddling; // done to the run's calls on the bus
};

// Runs each step, through a BusProxy where it meddles.
void runSteps(const Mutter &mutter, const std::vector<Step> &steps);

// What every mutter is put through. Layout, scale, rotation, primary,
// enabling, mirroring and power on two headless 1920x1080 monitors; the
// refusal of HDR on them is each version's own.
void layoutOnHeadless(const Mutter &mutter, const std::string &hdrRefused);
// Modes and a mirror's refusals on the nested bed.
void modesOnNested(const Mutter &mutter);
// Fractional scales in the logical layout, on 2560x1440 and 1920x1080.
void fractionalScales(const Mutter &mutter);
// The library on 1920x1080 and 1280x720: mutter's own refusal, and a
// conflict of two snapshots (the process's environment is the bed's after).
void libraryRefusals(const Mutter &mutter);

e2e::Result run(const Mutter &mutter, const std::vector<std::string> &args, const e2e::Env &env = {});
// The same run started, to be finished while the test goes on.
support::Child start(const Mutter &mutter, const std::vector<std::string> &args, const e2e::Env &env = {});
e2e::Result finish(const support::Child &child, double timeoutSeconds = 30);

// Another client of mutter's bus, in this process, that holds the turn
// dispctl runs take to change mutter: the name org.dispctl.Dispor.GnomeApply.
class TurnHolder {
public:
    explicit TurnHolder(const Mutter &mutter);
    // Closes its connection: the bus lets the name go as for a holder that dies.
    ~TurnHolder();
    TurnHolder(const TurnHolder &) = delete;
    TurnHolder &operator=(const TurnHolder &) = delete;

    // The clients queued for the name behind this one.
    int waiting() const;

private:
    std::string m_connection;
};

// Calls gdbus on mutter's bus; its standard output, or "failed: …".
std::string gdbus(const Mutter &mutter, const std::vector<std::string> &args);

// The application the library's and Qt D-Bus's calls in this process need.
void application();

// The library's ConfigWatcher on the bed (one monitor, Meta-0 in
// 1920x1080): another client's apply is told, and mutter's end once.
void watchesChanges(const Mutter &mutter);

// identify on the bed (Meta-0 and Meta-1): the label windows for 5 s,
// and where they cannot be shown, a refusal that names why the shell did
// not show its own (shell). A bus monitor sees gnome-shell (or where it
// would be) asked for a label on each monitor both times.
void identifyWithLabels(const Mutter &mutter, const std::string &shell);

// What identify says where the compositor's bus service is absent (as on
// every bed here), before the desktop's own answer.
extern const std::string noLocator;
// The bus's answer where it is absent, as the tool says it, "…; ".
extern const std::string locatorAbsent;
// Why gnome-shell did not show its labels: 43 and 48 alike keep
// ShowMonitorLabels for their own settings; bare mutter has none.
extern const std::string shellRefused;
extern const std::string noShell;

} // namespace gnome_test
