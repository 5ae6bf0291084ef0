#include "wlroots.h"

#include "support/tree.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <ftw.h>
#include <map>
#include <sys/wait.h>
#include <unistd.h>

namespace modern {

namespace {

QJsonArray jsonArray(const std::string &text)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(text)).array();
}

std::string number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// One head as the tests compare it.
std::string line(const std::string &name, bool on, int x, int y, int width, int height, double hz,
                 const std::string &transform, double scale, bool vrr)
{
    if (!on)
        return name + " off\n";
    return name + " on " + std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(width) + "x" +
           std::to_string(height) + "@" + number(hz) + " " + transform + " " + number(scale) +
           " vrr:" + (vrr ? "on" : "off") + "\n";
}

std::string joined(const std::map<std::string, std::string> &lines)
{
    std::string text;
    for (const auto &[name, entry] : lines)
        text += entry;
    return text;
}

// The entries of dir whose names start with prefix, without the lock files.
std::string entryStartingWith(const std::string &dir, const std::string &prefix)
{
    std::string found;
    if (DIR *d = ::opendir(dir.c_str())) {
        while (const dirent *entry = ::readdir(d)) {
            const std::string name = entry->d_name;
            if (name.rfind(prefix, 0) == 0 && !name.ends_with(".lock"))
                found = name;
        }
        ::closedir(d);
    }
    return found;
}

void removeTree(const std::string &path)
{
    ::nftw(
        path.c_str(),
        [](const char *entry, const struct stat *, int, struct FTW *) { return ::remove(entry); }, 16,
        FTW_DEPTH | FTW_PHYS);
}

} // namespace

std::string nameOf(Kind kind)
{
    return kind == Kind::Sway ? "sway" : "labwc";
}

Wlroots::Wlroots(Kind kind, std::string tree) : m_kind(kind), m_tree(std::move(tree)) {}

std::unique_ptr<Wlroots> Wlroots::start(Kind kind, std::string *why, int outputs)
{
    const std::string tree = support::modernTree();
    if (tree.empty()) {
        *why = "the Debian 13 tree has not been made (scripts/modern-tree)";
        return {};
    }
    std::unique_ptr<Wlroots> bed(new Wlroots(kind, tree));
    std::string pattern = tree + "/tmp/dispctl-" + nameOf(kind) + "-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        *why = "cannot make a runtime directory in " + tree + "/tmp";
        return {};
    }
    bed->m_dir = pattern.substr(tree.size());
    const std::string host = tree + bed->m_dir;

    std::vector<std::string> argv;
    if (kind == Kind::Sway) {
        // No background or message programs: they would outlive sway.
        e2e::writeFile(host + "/sway.conf", "swaybg_command -\nswaynag_command -\n");
        argv = {"sway", "-c", bed->m_dir + "/sway.conf"};
    } else {
        argv = {"labwc"};
    }
    support::Spawn spawn = support::inTree(tree, argv,
                                           {{"XDG_RUNTIME_DIR", bed->m_dir},
                                            {"HOME", bed->m_dir},
                                            {"WLR_BACKENDS", "headless"},
                                            {"WLR_RENDERER", "pixman"},
                                            {"WLR_LIBINPUT_NO_DEVICES", "1"},
                                            {"WLR_HEADLESS_OUTPUTS", std::to_string(outputs)}});
    spawn.out = spawn.err = support::Stream::File;
    spawn.file = host + "/server.log";
    bed->m_pid = support::spawn(spawn).pid;

    // Ready when its socket is there (sway: and its IPC socket) and its
    // heads are listed: well under a second.
    const double deadline = support::now() + 10;
    while (support::now() < deadline) {
        if (::waitpid(bed->m_pid, nullptr, WNOHANG) == bed->m_pid) {
            bed->m_pid = -1;
            *why = nameOf(kind) + " ended at start: " + bed->log();
            return {};
        }
        bed->m_socket = entryStartingWith(host, "wayland-");
        const std::string ipc = entryStartingWith(host, "sway-ipc.");
        bed->m_swaySocket = ipc.empty() ? "" : bed->m_dir + "/" + ipc;
        if (!bed->m_socket.empty() && (kind != Kind::Sway || !ipc.empty())) {
            const std::string heads = bed->randr();
            int listed = 0;
            while (listed < outputs &&
                   heads.find("HEADLESS-" + std::to_string(listed + 1) + " on") != std::string::npos)
                ++listed;
            if (listed == outputs)
                return bed;
        }
        ::usleep(20000);
    }
    *why = nameOf(kind) + " did not list its outputs within 10 s: " + bed->log();
    return {};
}

Wlroots::~Wlroots()
{
    for (const int client : m_clients)
        support::stop(client);
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        // Bounded: a server that does not end on SIGTERM is killed.
        const double deadline = support::now() + 5;
        while (::waitpid(m_pid, nullptr, WNOHANG) == 0) {
            if (support::now() > deadline) {
                ::kill(m_pid, SIGKILL);
                support::waitStatus(m_pid);
                break;
            }
            ::usleep(10000);
        }
    }
    if (!m_dir.empty())
        removeTree(m_tree + m_dir);
}

e2e::Env Wlroots::env() const
{
    return {
        {"DISPOR_BACKEND", "wayland"},
        {"XDG_RUNTIME_DIR", m_tree + m_dir},
        {"WAYLAND_DISPLAY", m_socket},
        {"QT_QPA_PLATFORM", "offscreen"},
    };
}

e2e::Result Wlroots::run(const std::vector<std::string> &args, const e2e::Env &extra) const
{
    return e2e::runProgram(e2e::dispctlBinary(), args, support::merged(env(), extra));
}

std::string Wlroots::picture(const std::string &output) const
{
    const std::string file = m_dir + "/" + output + ".png";
    const support::Result result = oracle({"grim", "-o", output, file});
    if (result.status != 0)
        return "grim failed: " + result.err;
    return e2e::readFile(m_tree + file);
}

int Wlroots::start(const std::vector<std::string> &args) const
{
    support::Spawn spawn(e2e::dispctlBinary(), args, support::merged(support::testEnvironment(), env()));
    spawn.out = spawn.err = support::Stream::Null;
    return support::spawn(spawn).pid;
}

void Wlroots::startClient(const std::vector<std::string> &argv)
{
    // foot wants a UTF-8 locale.
    support::Spawn spawn = support::inTree(
        m_tree, argv,
        {{"XDG_RUNTIME_DIR", m_dir}, {"WAYLAND_DISPLAY", m_socket}, {"HOME", m_dir}, {"LANG", "C.UTF-8"}});
    spawn.out = spawn.err = support::Stream::Null;
    m_clients.push_back(support::spawn(spawn).pid);
}

support::Result Wlroots::oracle(const std::vector<std::string> &argv) const
{
    support::Env env = {{"XDG_RUNTIME_DIR", m_dir}, {"WAYLAND_DISPLAY", m_socket}};
    if (!m_swaySocket.empty())
        env["SWAYSOCK"] = m_swaySocket;
    return support::runInTree(m_tree, argv, env);
}

std::string Wlroots::swaymsg(const std::vector<std::string> &args) const
{
    std::vector<std::string> argv = {"swaymsg"};
    argv.insert(argv.end(), args.begin(), args.end());
    const support::Result result = oracle(argv);
    return result.status == 0 ? "" : "swaymsg failed: " + result.out + result.err;
}

std::string Wlroots::log() const
{
    return e2e::readFile(m_tree + m_dir + "/server.log");
}

std::string Wlroots::randr() const
{
    const support::Result result = oracle({"wlr-randr", "--json"});
    if (result.status != 0)
        return "wlr-randr failed: " + result.err;
    std::map<std::string, std::string> lines;
    for (const QJsonValue &value : jsonArray(result.out)) {
        const QJsonObject head = value.toObject();
        const std::string name = head["name"].toString().toStdString();
        QJsonObject mode;
        for (const QJsonValue &m : head["modes"].toArray()) {
            if (m["current"].toBool())
                mode = m.toObject();
        }
        const QJsonObject position = head["position"].toObject();
        lines[name] = line(name, head["enabled"].toBool(), position["x"].toInt(), position["y"].toInt(),
                           mode["width"].toInt(), mode["height"].toInt(), mode["refresh"].toDouble(),
                           head["transform"].toString().toStdString(), head["scale"].toDouble(),
                           head["adaptive_sync"].toBool());
    }
    return joined(lines);
}

std::string Wlroots::logicalLayout() const
{
    const support::Result result = oracle({"wayland-info"});
    if (result.status != 0)
        return "wayland-info failed: " + result.err;
    std::map<std::string, std::string> lines;
    std::string name;
    int x = 0, y = 0, width = 0, height = 0;
    char quoted[128] = {};
    size_t from = 0;
    while (from < result.out.size()) {
        size_t end = result.out.find('\n', from);
        if (end == std::string::npos)
            end = result.out.size();
        std::string text = result.out.substr(from, end - from);
        from = end + 1;
        text.erase(0, text.find_first_not_of(" \t"));
        if (std::sscanf(text.c_str(), "name: '%127[^']'", quoted) == 1)
            name = quoted;
        else if (std::sscanf(text.c_str(), "logical_x: %d, logical_y: %d", &x, &y) == 2)
            continue;
        else if (std::sscanf(text.c_str(), "logical_width: %d, logical_height: %d", &width, &height) == 2)
            lines[name] = name + " " + std::to_string(x) + "," + std::to_string(y) + " " +
                          std::to_string(width) + "x" + std::to_string(height) + "\n";
    }
    return joined(lines);
}

std::string Wlroots::swayView() const
{
    if (m_kind != Kind::Sway)
        return {};
    const support::Result result = oracle({"swaymsg", "-r", "-t", "get_outputs"});
    if (result.status != 0)
        return "swaymsg failed: " + result.err;
    std::map<std::string, std::string> lines;
    for (const QJsonValue &value : jsonArray(result.out)) {
        const QJsonObject output = value.toObject();
        const std::string name = output["name"].toString().toStdString();
        const QJsonObject rect = output["rect"].toObject();
        const QJsonObject mode = output["current_mode"].toObject();
        // sway turns clockwise, the protocol counterclockwise.
        std::string transform = output["transform"].toString().toStdString();
        if (transform.ends_with("90"))
            transform.replace(transform.size() - 2, 2, "270");
        else if (transform.ends_with("270"))
            transform.replace(transform.size() - 3, 3, "90");
        lines[name] =
            line(name, output["active"].toBool(), rect["x"].toInt(), rect["y"].toInt(), mode["width"].toInt(),
                 mode["height"].toInt(), mode["refresh"].toInt() / 1000.0, transform,
                 output["scale"].toDouble(), output["adaptive_sync_status"].toString() == "enabled");
    }
    return joined(lines);
}

namespace {

// The output of the focused node with an app_id below node, whose output
// is output.
std::string focusedIn(const QJsonObject &node, const std::string &output)
{
    const std::string here =
        node["type"].toString() == "output" ? node["name"].toString().toStdString() : output;
    if (node["focused"].toBool() && node["app_id"].isString())
        return here;
    for (const char *children : {"nodes", "floating_nodes"}) {
        for (const QJsonValue &child : node[children].toArray()) {
            const std::string found = focusedIn(child.toObject(), here);
            if (!found.empty())
                return found;
        }
    }
    return {};
}

} // namespace

std::string Wlroots::swayFocusedWindow() const
{
    const support::Result result = oracle({"swaymsg", "-r", "-t", "get_tree"});
    if (result.status != 0)
        return "swaymsg failed: " + result.err;
    const std::string found =
        focusedIn(QJsonDocument::fromJson(QByteArray::fromStdString(result.out)).object(), {});
    return found.empty() ? "none" : found;
}

std::string Wlroots::swayPower() const
{
    const support::Result result = oracle({"swaymsg", "-r", "-t", "get_outputs"});
    if (result.status != 0)
        return "swaymsg failed: " + result.err;
    std::map<std::string, std::string> states;
    for (const QJsonValue &value : jsonArray(result.out)) {
        const std::string name = value["name"].toString().toStdString();
        states[name] = name + ":" + (value["power"].toBool() ? "on" : "off");
    }
    std::string text;
    for (const auto &[name, state] : states)
        text += (text.empty() ? "" : " ") + state;
    return text;
}

} // namespace modern
