#include "support/backlight.h"

#include "support/process.h"

#include <filesystem>
#include <stdexcept>

#include <unistd.h>

namespace support {

namespace {

// Its first line of output, empty when none came in 10 s.
std::string start(const std::string &program, const std::vector<std::string> &args, const Env &env, int *pid)
{
    Spawn spawn{program, args, merged(pathOnly(), env)};
    spawn.err = Stream::Inherit;
    const Child child = support::spawn(spawn);
    *pid = child.pid;
    const std::string line = readLine(child.out, 10);
    ::close(child.out);
    return line;
}

} // namespace

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

FakeLogind::FakeLogind(const SysfsTree &tree, const std::string &answers)
{
    if (!fileExists("/usr/lib/python3/dist-packages/dbusmock"))
        return;
    const std::string config = m_dir.file("bus.conf");
    writeFile(config, "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                      " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                      "<busconfig>\n"
                      "  <type>session</type>\n"
                      "  <listen>unix:path=" +
                          m_dir.file("bus") +
                          "</listen>\n"
                          "  <policy context=\"default\">\n"
                          "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                          "    <allow eavesdrop=\"true\"/>\n"
                          "    <allow own=\"*\"/>\n"
                          "  </policy>\n"
                          "</busconfig>\n");
    const std::string address = start(
        "/usr/bin/dbus-daemon", {"--config-file=" + config, "--nofork", "--print-address=1"}, {}, &m_bus);
    const std::string ready = address.empty()
                                  ? std::string()
                                  : start("/usr/bin/python3", {FAKE_LOGIND_SCRIPT, tree.root(), answers},
                                          {{"DBUS_SYSTEM_BUS_ADDRESS", address}}, &m_logind);
    if (ready != "ready") {
        // No destructor runs for a constructor that throws.
        stop(m_logind);
        stop(m_bus);
        throw std::runtime_error(address.empty() ? "dbus-daemon did not start"
                                                 : "the fake logind did not start: " + ready);
    }
    m_address = address;
}

FakeLogind::~FakeLogind()
{
    stop(m_logind);
    stop(m_bus);
}

} // namespace support
