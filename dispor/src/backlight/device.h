#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// A built-in panel's backlight as the kernel offers it under
// /sys/class/backlight, read from sysfs only: the library never writes
// there, it asks logind (setter.h).
namespace Dispor::Backlight {

struct Device {
    QString name; // the entry under class/backlight
    QString type; // "firmware", "platform" or "raw"
    int64_t brightness = 0;
    int64_t maxBrightness = 0;
};

// Whether an output's connector name is a built-in panel's: eDP, LVDS, DSI.
bool isBuiltInPanel(const QString &output);

// Where sysfs is read: /sys, or the tree DISPOR_SYSFS names (tests).
QString sysfsRoot();

// The panel's device as systemd picks one: a firmware device, else a
// platform one, else a raw one (in name order within each type). A device
// whose parent is a DRM connector other than the panel's is another
// screen's and never taken. Devices without a readable positive
// max_brightness are passed over. None where there is no such device.
std::optional<Device> choose(const QString &root, const QString &output);

// The device's level as sysfs holds it now; none when it cannot be read.
std::optional<int64_t> level(const QString &root, const QString &device);

} // namespace Dispor::Backlight
