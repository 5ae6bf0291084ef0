#include "xserver.h"

#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace x11 {

namespace {

std::string trim(const std::string &text)
{
    const size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos)
        return {};
    return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
}

template <typename T> std::unique_ptr<T, decltype(&std::free)> owned(T *p)
{
    return {p, &std::free};
}

} // namespace

XServer::XServer(Kind kind, bool noreset)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    m_log = m_dir.file(kind == Kind::Dummy ? "Xorg.log" : "Xvfb.log");
    const std::string out = m_dir.file("server.out");
    std::vector<std::string> args;
    if (kind == Kind::Dummy) {
        const std::string configDir = m_dir.file("xorg.conf.d");
        ::mkdir(configDir.c_str(), 0700);
        args = {"-config", XORG_DUMMY_CONF, "-configdir", configDir, "-logfile", m_log};
    } else {
        args = {"-screen", "0", "1920x1080x24"};
    }
    if (noreset)
        args.push_back("-noreset");
    args.insert(args.end(), {"-nolisten", "tcp", "-displayfd", "3"});
    const char *program = kind == Kind::Dummy ? "Xorg" : "Xvfb";
    support::Spawn spawn{program, args, support::inherited()};
    spawn.out = spawn.err = support::Stream::File;
    spawn.file = kind == Kind::Dummy ? out : m_log;
    spawn.fd3 = fds[1];
    m_pid = support::spawn(spawn).pid;
    ::close(fds[1]);
    // The server writes its display number once it listens.
    const std::string number = support::readLine(fds[0], 30);
    ::close(fds[0]);
    if (number.empty()) {
        const std::string errors = logErrors();
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
        throw std::runtime_error(std::string(program) + " did not name its display within 30 s:\n" + errors +
                                 e2e::readFile(out));
    }
    m_display = ":" + number;
}

XServer::~XServer()
{
    support::stop(m_pid);
}

std::string XServer::logErrors() const
{
    std::istringstream log(e2e::readFile(m_log));
    std::string line, errors;
    while (std::getline(log, line)) {
        if (line.find("(EE)") != std::string::npos)
            errors += line + "\n";
    }
    return errors;
}

const XMode *XOutput::findMode(const std::string &modeName) const
{
    for (const XMode &mode : modes) {
        if (mode.name == modeName)
            return &mode;
    }
    return nullptr;
}

const XOutput &XScreen::operator[](const std::string &name) const &
{
    const auto it = outputs.find(name);
    if (it == outputs.end())
        throw std::runtime_error("xrandr lists no output " + name);
    return it->second;
}

XOutput XScreen::operator[](const std::string &name) const &&
{
    return static_cast<const XScreen &>(*this)[name];
}

std::string xrandr(const std::string &display, const std::vector<std::string> &args)
{
    const e2e::Result result = e2e::runProgram("/usr/bin/xrandr", args, {{"DISPLAY", display}});
    if (result.status != 0)
        throw std::runtime_error("xrandr failed: " + result.err);
    return result.out;
}

XScreen readScreen(const std::string &display)
{
    XScreen screen;
    static const std::regex screenLine(R"(^Screen 0: .* current (\d+) x (\d+),)");
    static const std::regex outputLine(
        R"(^(\S+) (connected|disconnected)( primary)?(?: (\d+)x(\d+)\+(\d+)\+(\d+))?(?: \((0x[0-9a-f]+)\))?(?: (normal|left|inverted|right))?)");
    static const std::regex modeLine(R"(^  (\S+) \((0x[0-9a-f]+)\) +(\S+MHz) ?(.*)$)");
    static const std::regex timingLine(
        R"(^ +([hv]): (?:width|height) +(\d+) start +(\d+) end +(\d+) total +(\d+) .*clock +(\S+)$)");
    static const std::regex propertyLine(R"(^\t([^\t:][^:]*): ?(.*)$)");
    std::istringstream in(xrandr(display, {"--verbose"}));
    std::string line;
    XOutput *output = nullptr;
    while (std::getline(in, line)) {
        if (line.find("Timestamp:") == std::string::npos)
            screen.text += line + "\n";
        std::smatch m;
        if (std::regex_search(line, m, screenLine)) {
            screen.width = std::stoi(m[1]);
            screen.height = std::stoi(m[2]);
        } else if (std::regex_search(line, m, outputLine)) {
            XOutput &o = screen.outputs[m[1]];
            o.name = m[1];
            o.connected = m[2] == "connected";
            o.primary = m[3].matched;
            o.on = m[4].matched;
            if (o.on) {
                o.width = std::stoi(m[4]);
                o.height = std::stoi(m[5]);
                o.x = std::stoi(m[6]);
                o.y = std::stoi(m[7]);
            }
            if (m[8].matched)
                o.mode = uint32_t(std::stoul(m[8], nullptr, 16));
            o.rotation = m[9];
            output = &o;
        } else if (output && std::regex_match(line, m, modeLine)) {
            XMode mode;
            mode.name = m[1];
            mode.id = uint32_t(std::stoul(m[2], nullptr, 16));
            mode.clock = m[3];
            std::string rest = m[4];
            mode.current = rest.find("*current") != std::string::npos;
            const size_t star = rest.find(" *current");
            mode.flags = trim(star == std::string::npos ? rest : rest.substr(0, star));
            const size_t plus = mode.flags.find(" +preferred");
            if (plus != std::string::npos)
                mode.flags = mode.flags.substr(0, plus);
            output->modes.push_back(mode);
        } else if (output && !output->modes.empty() && std::regex_match(line, m, timingLine)) {
            int *fields = m[1] == "h" ? output->modes.back().h : output->modes.back().v;
            for (int i = 0; i < 4; ++i)
                fields[i] = std::stoi(m[i + 2]);
            if (m[1] == "v")
                output->modes.back().refresh = m[6];
        } else if (output && std::regex_match(line, m, propertyLine)) {
            output->properties[trim(m[1])] = trim(m[2]);
        }
    }
    return screen;
}

struct Randr::Private {
    xcb_connection_t *c = nullptr;
    xcb_window_t root = 0;

    xcb_randr_get_screen_resources_current_reply_t *resources()
    {
        return xcb_randr_get_screen_resources_current_reply(
            c, xcb_randr_get_screen_resources_current(c, root), nullptr);
    }

    void check(xcb_void_cookie_t cookie, const std::string &what)
    {
        if (xcb_generic_error_t *error = xcb_request_check(c, cookie)) {
            const int code = error->error_code;
            std::free(error);
            throw std::runtime_error(what + " failed with X error " + std::to_string(code));
        }
    }
};

Randr::Randr(const std::string &display) : d(new Private)
{
    // A server that resets when its last client leaves refuses connections
    // for the moment it takes: the run before this one may just have left.
    int screen = 0;
    for (int attempt = 0;; ++attempt) {
        d->c = xcb_connect(display.c_str(), &screen);
        if (!xcb_connection_has_error(d->c))
            break;
        xcb_disconnect(d->c);
        if (attempt == 250)
            throw std::runtime_error("cannot connect to " + display + " within 5 s");
        ::usleep(20000);
    }
    d->root = xcb_setup_roots_iterator(xcb_get_setup(d->c)).data->root;
    owned(xcb_randr_query_version_reply(d->c, xcb_randr_query_version(d->c, 1, 6), nullptr));
}

Randr::~Randr()
{
    xcb_disconnect(d->c);
}

uint32_t Randr::output(const std::string &name)
{
    auto res = owned(d->resources());
    const xcb_randr_output_t *outputs = xcb_randr_get_screen_resources_current_outputs(res.get());
    for (int i = 0; i < res->num_outputs; ++i) {
        auto info = owned(xcb_randr_get_output_info_reply(
            d->c, xcb_randr_get_output_info(d->c, outputs[i], res->config_timestamp), nullptr));
        const std::string found(reinterpret_cast<const char *>(xcb_randr_get_output_info_name(info.get())),
                                size_t(xcb_randr_get_output_info_name_length(info.get())));
        if (found == name)
            return outputs[i];
    }
    throw std::runtime_error("no output " + name);
}

uint32_t Randr::mode(const std::string &name)
{
    auto res = owned(d->resources());
    const xcb_randr_mode_info_t *modes = xcb_randr_get_screen_resources_current_modes(res.get());
    const char *names =
        reinterpret_cast<const char *>(xcb_randr_get_screen_resources_current_names(res.get()));
    for (int i = 0; i < res->num_modes; ++i) {
        if (std::string(names, modes[i].name_len) == name)
            return modes[i].id;
        names += modes[i].name_len;
    }
    return 0;
}

uint32_t Randr::atom(const std::string &name)
{
    auto r = owned(
        xcb_intern_atom_reply(d->c, xcb_intern_atom(d->c, 0, uint16_t(name.size()), name.c_str()), nullptr));
    return r->atom;
}

void Randr::createEnum(const std::string &output, const std::string &property,
                       const std::vector<std::string> &values, const std::string &value)
{
    std::vector<int32_t> atoms;
    for (const std::string &v : values)
        atoms.push_back(int32_t(atom(v)));
    const uint32_t id = this->output(output);
    const uint32_t name = atom(property);
    d->check(xcb_randr_configure_output_property_checked(d->c, id, name, 0, 0, uint32_t(atoms.size()),
                                                         atoms.data()),
             "configuring " + property);
    const uint32_t initial = atom(value);
    d->check(xcb_randr_change_output_property_checked(d->c, id, name, XCB_ATOM_ATOM, 32,
                                                      XCB_PROP_MODE_REPLACE, 1, &initial),
             "setting " + property);
}

void Randr::createRange(const std::string &output, const std::string &property, int min, int max, int value,
                        bool pending)
{
    const int32_t range[2] = {min, max};
    const uint32_t id = this->output(output);
    const uint32_t name = atom(property);
    d->check(xcb_randr_configure_output_property_checked(d->c, id, name, pending, 1, 2, range),
             "configuring " + property);
    const int32_t initial = value;
    d->check(xcb_randr_change_output_property_checked(d->c, id, name, XCB_ATOM_INTEGER, 32,
                                                      XCB_PROP_MODE_REPLACE, 1, &initial),
             "setting " + property);
}

void Randr::setBytes(const std::string &output, const std::string &property, const std::string &bytes)
{
    d->check(xcb_randr_change_output_property_checked(d->c, this->output(output), atom(property),
                                                      XCB_ATOM_INTEGER, 8, XCB_PROP_MODE_REPLACE,
                                                      uint32_t(bytes.size()), bytes.data()),
             "setting " + property);
}

void Randr::setShorts(const std::string &output, const std::string &property,
                      const std::vector<uint16_t> &units)
{
    d->check(xcb_randr_change_output_property_checked(d->c, this->output(output), atom(property),
                                                      XCB_ATOM_INTEGER, 16, XCB_PROP_MODE_REPLACE,
                                                      uint32_t(units.size()), units.data()),
             "setting " + property);
}

void Randr::remove(const std::string &output, const std::string &property)
{
    // An output without the property is fine: there is nothing to delete.
    std::free(xcb_request_check(
        d->c, xcb_randr_delete_output_property_checked(d->c, this->output(output), atom(property))));
}

void Randr::removeCustomModes()
{
    auto res = owned(d->resources());
    const xcb_randr_mode_info_t *modes = xcb_randr_get_screen_resources_current_modes(res.get());
    const char *names =
        reinterpret_cast<const char *>(xcb_randr_get_screen_resources_current_names(res.get()));
    std::vector<uint32_t> ours;
    for (int i = 0; i < res->num_modes; ++i) {
        if (std::string(names, modes[i].name_len).rfind("dispor:", 0) == 0)
            ours.push_back(modes[i].id);
        names += modes[i].name_len;
    }
    const xcb_randr_output_t *outputs = xcb_randr_get_screen_resources_current_outputs(res.get());
    for (int i = 0; i < res->num_outputs; ++i) {
        auto info = owned(xcb_randr_get_output_info_reply(
            d->c, xcb_randr_get_output_info(d->c, outputs[i], res->config_timestamp), nullptr));
        const xcb_randr_mode_t *listed = xcb_randr_get_output_info_modes(info.get());
        for (int k = 0; k < info->num_modes; ++k) {
            if (std::find(ours.begin(), ours.end(), listed[k]) != ours.end())
                d->check(xcb_randr_delete_output_mode_checked(d->c, outputs[i], listed[k]),
                         "deleting a mode");
        }
    }
    for (const uint32_t mode : ours)
        d->check(xcb_randr_destroy_mode_checked(d->c, mode), "destroying a mode");
}

Ramps Randr::gamma(const std::string &name)
{
    auto info = owned(
        xcb_randr_get_output_info_reply(d->c, xcb_randr_get_output_info(d->c, output(name), 0), nullptr));
    auto r = owned(xcb_randr_get_crtc_gamma_reply(d->c, xcb_randr_get_crtc_gamma(d->c, info->crtc), nullptr));
    if (!r)
        throw std::runtime_error("no gamma ramp for " + name);
    const auto list = [&r](const uint16_t *ramp) { return std::vector<uint16_t>(ramp, ramp + r->size); };
    return {list(xcb_randr_get_crtc_gamma_red(r.get())), list(xcb_randr_get_crtc_gamma_green(r.get())),
            list(xcb_randr_get_crtc_gamma_blue(r.get()))};
}

void Randr::setGamma(const std::string &name, const Ramps &ramps)
{
    auto info = owned(
        xcb_randr_get_output_info_reply(d->c, xcb_randr_get_output_info(d->c, output(name), 0), nullptr));
    d->check(xcb_randr_set_crtc_gamma_checked(d->c, info->crtc, uint16_t(ramps.red.size()), ramps.red.data(),
                                              ramps.green.data(), ramps.blue.data()),
             "setting the gamma of " + name);
}

std::string makeEdid(const std::string &manufacturer, uint16_t product, uint32_t serial,
                     const std::string &serialText)
{
    std::string edid(128, '\0');
    const char header[] = {0, char(0xff), char(0xff), char(0xff), char(0xff), char(0xff), char(0xff), 0};
    edid.replace(0, 8, header, 8);
    const uint16_t packed = uint16_t((manufacturer[0] - 'A' + 1) << 10 | (manufacturer[1] - 'A' + 1) << 5 |
                                     (manufacturer[2] - 'A' + 1));
    edid[8] = char(packed >> 8);
    edid[9] = char(packed & 0xff);
    edid[10] = char(product & 0xff);
    edid[11] = char(product >> 8);
    for (int i = 0; i < 4; ++i)
        edid[12 + i] = char((serial >> (8 * i)) & 0xff);
    edid[18] = 1; // EDID 1.4
    edid[19] = 4;
    if (!serialText.empty()) {
        // The serial-number descriptor, first of the four.
        edid[54 + 3] = char(0xff);
        std::string text = serialText.substr(0, 13);
        if (text.size() < 13)
            text += '\n';
        text.resize(13, ' ');
        edid.replace(54 + 5, 13, text);
    }
    unsigned sum = 0;
    for (int i = 0; i < 127; ++i)
        sum += static_cast<unsigned char>(edid[i]);
    edid[127] = char((256 - sum % 256) % 256);
    return edid;
}

e2e::Result dispctl(const std::string &display, const std::vector<std::string> &args, const e2e::Env &env)
{
    e2e::Env merged = {{"DISPOR_BACKEND", "x11"}, {"DISPLAY", display}};
    for (const auto &[key, value] : env)
        merged[key] = value;
    return e2e::runProgram(e2e::dispctlBinary(), args, merged);
}

} // namespace x11
