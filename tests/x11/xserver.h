#pragma once

// A real X server for the X11 backend's tests: Xorg with the dummy video
// driver, several connected outputs, and what the tests need to set up and
// read back outputs, through xrandr and through RandR directly.

#include "e2e/harness.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace x11 {

// Xorg with the dummy driver, or Xvfb, on a display of its choosing
// (-displayfd), logging into a private directory; stopped by its pid.
class XServer {
public:
    enum class Kind { Dummy, Xvfb };
    // Xvfb without noreset resets whenever its last client leaves.
    explicit XServer(Kind kind = Kind::Dummy, bool noreset = true);
    ~XServer();
    XServer(const XServer &) = delete;
    XServer &operator=(const XServer &) = delete;

    // ":N".
    const std::string &display() const { return m_display; }
    int pid() const { return m_pid; }
    // The error lines of the server's log (for a server that did not start).
    std::string logErrors() const;

private:
    e2e::TempDir m_dir;
    int m_pid = -1;
    std::string m_display;
    std::string m_log;
};

// The three channels of a CRTC's gamma ramp.
struct Ramps {
    std::vector<uint16_t> red, green, blue;

    bool operator==(const Ramps &) const = default;
};

// One mode line of `xrandr --verbose`.
struct XMode {
    std::string name;
    uint32_t id = 0;
    bool current = false;
    std::string clock;   // "712.750MHz"
    std::string flags;   // "-HSync +VSync"
    int h[4] = {};       // width, start, end, total
    int v[4] = {};       // height, start, end, total
    std::string refresh; // "59.98Hz"
};

// One output of `xrandr --verbose`.
struct XOutput {
    std::string name;
    bool connected = false;
    bool primary = false;
    bool on = false;
    int width = 0, height = 0, x = 0, y = 0;
    uint32_t mode = 0;
    std::string rotation;
    std::map<std::string, std::string> properties; // "Brightness", "max bpc", ...
    std::vector<XMode> modes;

    const XMode *findMode(const std::string &name) const;
};

struct XScreen {
    int width = 0, height = 0;
    std::map<std::string, XOutput> outputs;
    std::string text; // the whole report, timestamps left out

    // A reference into a screen that outlives the expression; a copy out of
    // a temporary one (readScreen(display)[name].modes in a range-for would
    // otherwise refer to a screen already gone).
    const XOutput &operator[](const std::string &name) const &;
    XOutput operator[](const std::string &name) const &&;
};

// The test's own RandR connection.
class Randr {
public:
    explicit Randr(const std::string &display);
    ~Randr();
    Randr(const Randr &) = delete;
    Randr &operator=(const Randr &) = delete;

    uint32_t output(const std::string &name);
    // The id of the first mode of the screen with that name, 0 if none.
    uint32_t mode(const std::string &name);
    uint32_t atom(const std::string &name);

    void createEnum(const std::string &output, const std::string &property,
                    const std::vector<std::string> &values, const std::string &value);
    // Pending: the driver takes a new value only with the CRTC's next setting.
    void createRange(const std::string &output, const std::string &property, int min, int max, int value,
                     bool pending = false);
    void setBytes(const std::string &output, const std::string &property, const std::string &bytes);
    void setShorts(const std::string &output, const std::string &property,
                   const std::vector<uint16_t> &units);
    void remove(const std::string &output, const std::string &property);
    // Deletes every mode named "dispor:…" from every output and the screen.
    void removeCustomModes();
    // The ramps of the CRTC that drives the output.
    Ramps gamma(const std::string &output);
    void setGamma(const std::string &output, const Ramps &ramps);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// A minimal EDID with that identity (valid header and checksum), with a
// serial-number descriptor when serialText is not empty.
std::string makeEdid(const std::string &manufacturer, uint16_t product, uint32_t serial,
                     const std::string &serialText = {});

// Runs xrandr on the display; throws when it fails.
std::string xrandr(const std::string &display, const std::vector<std::string> &args);
XScreen readScreen(const std::string &display);

// Runs dispctl on the X11 backend of the display.
e2e::Result dispctl(const std::string &display, const std::vector<std::string> &args,
                    const e2e::Env &env = {});

} // namespace x11
