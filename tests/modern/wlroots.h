#pragma once

// wlroots 0.18 compositors from the Debian 13 tree (scripts/modern-tree):
// sway 1.10 and labwc 0.8, headless with two outputs (or three), each
// started inside the tree with a runtime directory of its own under the
// tree's /tmp and stopped by its pid. dispctl, built on the host, reaches
// the compositor's socket by its path under the tree; the oracles
// (wlr-randr, and swaymsg for sway) run inside the tree.
//
// What these servers do, measured:
// - Both offer zwlr_output_manager_v1 version 4, zwlr_output_power_manager_v1
//   and zwlr_gamma_control_manager_v1, start in about 0.2 s, and list the
//   same two 1280x720 outputs, HEADLESS-2 at 0,0 and HEADLESS-1 right of it
//   (three: HEADLESS-3, HEADLESS-2, HEADLESS-1 from left to right).
//   Headless outputs have no mode list: the current mode is the one mode
//   object (refresh 0 until a custom mode with a rate is set), and any
//   custom size is taken. Each takes a power switch; an output
//   powered off stays enabled in output management.
// - sway: a config file is needed; an empty one will do. Without
//   `swaybg_command -` it starts swaybg, which outlives it as an orphan.
//   `swaymsg -t get_outputs` agrees with wlr-randr after every change, but
//   names a rotation clockwise ("270" for the protocol's 90), and shows the
//   power state ("power"). It takes adaptive sync for a headless output
//   and keeps it disabled. It keeps a fractional scale in 1/120 steps and
//   reports it truncated to 1/256 (110% is kept as 1.1 and shown as
//   1.097656), and its own layout (xdg-output) sizes the output by that
//   scale (1920 px at 1.1: 1745 logical).
// - labwc: needs no config; nothing but the protocols shows its power
//   state. It places outputs itself (wlroots' automatic layout) until a
//   configuration moves them, and an output sent at the position it
//   already has is left to that layout: it follows when another output
//   moves (HEADLESS-1 sent to 1280,100 beside HEADLESS-2 at 0,0 left
//   HEADLESS-2 at 2560,100). Once sent to a position it does not have, an
//   output stays there. It refuses adaptive sync for a headless output
//   (the configuration fails).
// - Both list no mode for a disabled head, tell nothing of its state, and
//   bring back its mode, rotation and scale when a configuration enables
//   it without them; neither removes the wl_output of an output powered
//   off. sway switches power 13-70 ms after the request, answering round
//   trips meanwhile; labwc at once. Powered off, sway takes a new
//   scale and keeps the old one (it moves the neighbours all the same);
//   labwc holds it.
// - Both offer layer-shell (version 4 on sway, 5 on labwc), xdg-shell and
//   foreign-toplevel management (version 3). grim takes a picture of one
//   output; foot opens a window, on sway on the focused output.

#include "e2e/harness.h"

#include <memory>
#include <string>
#include <vector>

namespace modern {

enum class Kind { Sway, Labwc };

std::string nameOf(Kind kind);

class Wlroots {
public:
    // Started in the tree with headless outputs and waited for (10 s at
    // most); null with the reason in *why when the tree has not been made
    // or the compositor did not start.
    static std::unique_ptr<Wlroots> start(Kind kind, std::string *why, int outputs = 2);
    ~Wlroots();
    Wlroots(const Wlroots &) = delete;
    Wlroots &operator=(const Wlroots &) = delete;

    Kind kind() const { return m_kind; }
    // What a dispctl run on this compositor gets: the Wayland backend chosen
    // explicitly, and Qt kept off the compositor.
    e2e::Env env() const;
    e2e::Result run(const std::vector<std::string> &args, const e2e::Env &extra = {}) const;

    // The compositor's view through wlr-randr: per head in name order,
    // "NAME on X,Y WxH@HZ TRANSFORM SCALE vrr:on|off", or "NAME off";
    // or why wlr-randr failed.
    std::string randr() const;
    // Where the compositor's own layout puts each output (xdg-output,
    // through wayland-info), by name in name order: "NAME X,Y WxH".
    std::string logicalLayout() const;
    // sway's own view (swaymsg -t get_outputs) in the same form; empty for
    // labwc.
    std::string swayView() const;
    // sway's power state per output, "NAME:on NAME:off" in name order.
    std::string swayPower() const;
    // What the compositor wrote.
    std::string log() const;
    // sway's IPC socket as the host reaches it (empty for labwc), and a
    // swaymsg command run inside the tree ("" when it succeeded, else why).
    std::string swaySocket() const { return m_swaySocket.empty() ? "" : m_tree + m_swaySocket; }
    std::string swaymsg(const std::vector<std::string> &args) const;
    // sway's own view of the focused window (swaymsg -t get_tree): the
    // output it is on, or "none".
    std::string swayFocusedWindow() const;

    // What the output shows, as a picture grim takes (PNG), or why grim
    // failed.
    std::string picture(const std::string &output) const;
    // dispctl started in the background with args, its standard streams
    // going to a file; the caller waits for it (support::waitStatus).
    int start(const std::vector<std::string> &args) const;
    // A program run in the tree as a client of the compositor until the
    // compositor stops.
    void startClient(const std::vector<std::string> &argv);

private:
    Wlroots(Kind kind, std::string tree);
    support::Result oracle(const std::vector<std::string> &argv) const;

    Kind m_kind;
    std::string m_tree;
    std::string m_dir; // inside the tree, as the tree sees it
    std::string m_socket;
    std::string m_swaySocket; // as the tree sees it
    int m_pid = -1;
    std::vector<int> m_clients;
};

} // namespace modern
