#pragma once

// A kernel backlight as the tests fake it: a tree laid out as sysfs lays
// out its backlight devices (given to the library as DISPOR_SYSFS), and
// python3-dbusmock's logind on a private bus, which sets a level by writing
// it into that tree.

#include "support/files.h"

#include <string>
#include <vector>

namespace support {

struct BacklightDevice {
    std::string name;
    std::string type; // firmware, platform, raw
    int brightness;
    int maxBrightness;
    // The parent device's name, as sysfs has the device under it:
    // "card0-eDP-1" for a DRM connector, "0000:00:02.0" for a PCI device.
    std::string parent;
};

class SysfsTree {
public:
    explicit SysfsTree(const std::vector<BacklightDevice> &devices);
    const std::string &root() const { return m_dir.path(); }
    // The level the device's brightness file holds now.
    std::string level(const std::string &device) const;

private:
    TempDir m_dir;
};

class FakeLogind {
public:
    // On the bus at the address; answers: "writes", "ignores" or "refuses"
    // (tests/support/fake-logind.py).
    FakeLogind(const SysfsTree &tree, const std::string &bus, const std::string &answers);
    ~FakeLogind();
    FakeLogind(const FakeLogind &) = delete;
    FakeLogind &operator=(const FakeLogind &) = delete;
    // False when python3-dbusmock is missing.
    bool started() const { return m_started; }

private:
    int m_logind = -1;
    bool m_started = false;
};

} // namespace support
