#include "support/backlight.h"

#include "support/process.h"

#include <filesystem>
#include <stdexcept>

#include <unistd.h>

namespace support {

SysfsTree::SysfsTree(const std::vector<BacklightDevice> &devices)
{
    namespace fs = std::filesystem;
    fs::create_directories(m_dir.file("class/backlight"));
    for (const BacklightDevice &d : devices) {
        // devices/PARENT/backlight/NAME, linked from class/backlight/NAME,
        // with its parent as its "device" link.
        const std::string parent = m_dir.file("devices/" + d.parent);
        const std::string device = parent + "/backlight/" + d.name;
        fs::create_directories(device);
        writeFile(device + "/type", d.type + "\n");
        writeFile(device + "/brightness", std::to_string(d.brightness) + "\n");
        writeFile(device + "/max_brightness", std::to_string(d.maxBrightness) + "\n");
        fs::create_directory_symlink("../..", device + "/device");
        fs::create_directory_symlink("../../devices/" + d.parent + "/backlight/" + d.name,
                                     m_dir.file("class/backlight/" + d.name));
    }
}

std::string SysfsTree::level(const std::string &device) const
{
    std::string text = readFile(m_dir.file("class/backlight/" + device + "/brightness"));
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}

FakeLogind::FakeLogind(const SysfsTree &tree, const std::string &bus, const std::string &answers)
{
    if (!fileExists("/usr/lib/python3/dist-packages/dbusmock"))
        return;
    Spawn spawn{"/usr/bin/python3",
                {FAKE_LOGIND_SCRIPT, tree.root(), answers},
                merged(pathOnly(), {{"DBUS_SYSTEM_BUS_ADDRESS", bus}})};
    spawn.err = Stream::Inherit;
    const Child child = support::spawn(spawn);
    m_logind = child.pid;
    // Its first line says it serves.
    const std::string ready = readLine(child.out, 10);
    ::close(child.out);
    if (ready != "ready") {
        // No destructor runs for a constructor that throws.
        stop(m_logind);
        throw std::runtime_error("the fake logind did not start: " + ready);
    }
    m_started = true;
}

FakeLogind::~FakeLogind()
{
    stop(m_logind);
}

} // namespace support
