#include "backend.h"

#include "module_file.h"
#include "session_bus.h"
#include "text.h"
#include "virtual/virtual_backend.h"

#include "dispor/version.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

// The backends this build has besides the simulated one: backends.inc, one
// DISPOR_BUILT(name) for each dispor_backend() of dispor/CMakeLists.txt.
// dispor_internal, for the tests, has their tables linked in
// (dispor_builtin_<name>); the library opens them as plugins.
#ifdef DISPOR_BUILTIN_BACKENDS
#define DISPOR_BUILT(name) extern const Dispor::BackendPlugin dispor_builtin_##name;
#include "backends.inc"
#undef DISPOR_BUILT
#define DISPOR_BUILT(name) {#name, &dispor_builtin_##name, true},
#else
#define DISPOR_BUILT(name) {#name, nullptr, false},
#endif

namespace Dispor {

namespace {

struct Built {
    const char *name;
    const BackendPlugin *linked;
    // Said apart: with the sanitizers the compiler does not take an
    // external table's address for non-null when it checks the constants.
    bool isLinked;
};

constexpr Built built[] = {
#include "backends.inc"
    {nullptr, nullptr, false},
};
#undef DISPOR_BUILT

// As long as the GNOME backend waits for the bus itself.
constexpr int busAnswerSeconds = 3;

struct Known {
    const char *name;
    // Linked in: the simulated set, and for the tests every backend. A null
    // probe: never chosen unasked.
    const BackendPlugin *linked;
    // A plugin of this build, opened when the backend is probed or used.
    bool plugin;
    // Unset or empty, the probe would find nothing but that it is not set:
    // said here, without opening the plugin and the libraries it needs.
    const char *variable;
    // The variable names the session bus, which may be found without it
    // too; a bus that refuses a connection outright is said here as well.
    bool sessionBus = false;
};

// A backend as this build has it: linked in, a plugin, or neither.
constexpr Known entry(const char *name, const char *variable, bool sessionBus = false)
{
    for (const Built &backend : built) {
        if (backend.name && std::string_view(backend.name) == name)
            return {name, backend.linked, !backend.isLinked, variable, sessionBus};
    }
    return {name, nullptr, false, variable, false};
}

// The simulated set, which is never chosen unasked.
constexpr BackendPlugin simulated{DISPOR_VERSION_STRING, Virtual::createVirtualBackend, nullptr};

// In the order they are tried when DISPOR_BACKEND is unset or empty.
constexpr Known known[] = {
    entry("wayland", "WAYLAND_DISPLAY"),
    entry("gnome", "DBUS_SESSION_BUS_ADDRESS", true),
    entry("x11", "DISPLAY"),
    {"virtual", &simulated, false, nullptr},
};

constexpr bool everyBuiltKnown()
{
    for (const Built &backend : built) {
        bool found = !backend.name;
        for (const Known &k : known)
            found = found || std::string_view(k.name) == backend.name;
        if (!found)
            return false;
    }
    return true;
}
static_assert(everyBuiltKnown(), "a backend of this build is missing from the order of the automatic choice");

// The plugins sit in dispor0/ beside the library's own file, in the build
// tree as installed, so that no search path is needed.
const char anchor = 0; // an address inside the library

// The library's file and where it is mapped (its ELF header); false when
// the loader cannot say, and then no plugin is looked for anywhere else.
bool ownFile(Dl_info *info)
{
    return ::dladdr(&anchor, info) && info->dli_fname && info->dli_fname[0] == '/' && info->dli_fbase;
}

// dlopen maps a plugin as its headers say and trusts them: a file cut short
// is mapped past its end and the first touch there ends the process with
// SIGBUS, and a FIFO holds the open up without end. So the file is looked
// at first: a regular file whose ELF header fits this machine (as the
// library's own does) and whose program headers and loaded segments lie
// within it.
bool checkPluginFile(const QByteArray &file, const ElfW(Ehdr) & own, QString *why)
{
    const int fd = ::open(file.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        *why = u"cannot open shared object file: "_qs + QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    const auto fail = [fd, why](const char *what) {
        ::close(fd);
        *why = QString::fromLatin1(what);
        return false;
    };
    struct stat status;
    if (::fstat(fd, &status) < 0 || !S_ISREG(status.st_mode))
        return fail("not a regular file");
    const auto size = static_cast<uint64_t>(status.st_size);
    ElfW(Ehdr) header;
    if (size < sizeof header || ::pread(fd, &header, sizeof header, 0) != ssize_t(sizeof header))
        return fail("file too short");
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0)
        return fail("invalid ELF header");
    if (header.e_ident[EI_CLASS] != own.e_ident[EI_CLASS] ||
        header.e_ident[EI_DATA] != own.e_ident[EI_DATA] || header.e_machine != own.e_machine ||
        header.e_type != ET_DYN)
        return fail("not a shared object for this machine");
    const uint64_t count = header.e_phnum;
    if (header.e_phentsize != sizeof(ElfW(Phdr)) || count == 0 || header.e_phoff > size ||
        count * sizeof(ElfW(Phdr)) > size - header.e_phoff)
        return fail("the program headers lie beyond the end of the file");
    std::vector<ElfW(Phdr)> segments(count);
    const auto bytes = static_cast<ssize_t>(count * sizeof(ElfW(Phdr)));
    if (::pread(fd, segments.data(), size_t(bytes), off_t(header.e_phoff)) != bytes)
        return fail("the program headers cannot be read");
    for (const ElfW(Phdr) & segment : segments) {
        if (segment.p_type == PT_LOAD &&
            (segment.p_offset > size || segment.p_filesz > size - segment.p_offset))
            return fail("a segment lies beyond the end of the file");
    }
    ::close(fd);
    return true;
}

// The backend's plugin, opened once and kept for the life of the process
// (backends made by it must not outlive its code); null with a reason.
const BackendPlugin *loadPlugin(const char *name, QString *reason)
{
    const QString cannot = u"cannot load the "_qs + QLatin1StringView(name) + " backend: ";
    Dl_info own{};
    if (!ownFile(&own)) {
        *reason = cannot + "the library's own file cannot be found, nor its plugins beside it";
        return nullptr;
    }
    const QByteArray library(own.dli_fname);
    const QByteArray file = library.left(library.lastIndexOf('/') + 1) + "dispor0/" + name + ".so";
    const QString shown = shownPath(file);
    QString why;
    if (!checkPluginFile(file, *static_cast<const ElfW(Ehdr) *>(own.dli_fbase), &why)) {
        *reason = cannot + shown + ": " + why;
        return nullptr;
    }
    // The version check below keeps a plugin of another build out.
    const void *symbol = openedSymbol(file, "dispor_backend_plugin", cannot, reason);
    if (!symbol)
        return nullptr;
    const auto *plugin = static_cast<const BackendPlugin *>(symbol);
    if (!plugin->version || !plugin->create || !plugin->probe) {
        *reason = cannot + shown + ": its table lacks " +
                  (!plugin->version  ? u"the version"_qs
                   : !plugin->create ? u"create"_qs
                                     : u"probe"_qs);
        return nullptr;
    }
    if (std::strcmp(plugin->version, DISPOR_VERSION_STRING) != 0) {
        *reason = cannot + quoted(QString::fromLocal8Bit(file)) + " belongs to Dispor " +
                  quoted(QString::fromLatin1(plugin->version)) + ", not to " DISPOR_VERSION_STRING;
        return nullptr;
    }
    return plugin;
}

std::shared_ptr<Backend> findDisplayService(QString *reason)
{
    QStringList found;
    for (const Known &backend : known) {
        if (!backend.plugin && !(backend.linked && backend.linked->probe))
            continue;
        if (backend.sessionBus) {
            // The probe's first findings, without the D-Bus libraries (a
            // millisecond of loading) where no bus listens.
            QString lookedAt;
            UsersBus why = UsersBus::Missing;
            const QString address = sessionBusAddress(&lookedAt, &why);
            if (address.isEmpty()) {
                found.append(sessionBusMissing(lookedAt.isEmpty() ? QString() : quoted(lookedAt), why));
                continue;
            }
            // Whether mutter is there, asked on the socket: the plugin and
            // its D-Bus libraries are loaded only when it is.
            const NameProbe mutter =
                probeNameOwner(address, "org.gnome.Mutter.DisplayConfig", busAnswerSeconds);
            if (mutter.outcome == NameProbe::NotOwned) {
                found.append(u"the session bus offers no org.gnome.Mutter.DisplayConfig"_qs);
                continue;
            }
            if (mutter.outcome == NameProbe::Silent) {
                found.append(sessionBusSilent(quoted(address), busAnswerSeconds, mutter.failure));
                continue;
            }
            if (mutter.outcome == NameProbe::Failed) {
                found.append(sessionBusUnreachable(quoted(address), mutter.failure));
                continue;
            }
        } else if (backend.variable && qEnvironmentVariableIsEmpty(backend.variable)) {
            found.append(QString::fromLatin1(backend.variable) + " is not set");
            continue;
        }
        auto probe = backend.linked ? backend.linked->probe : nullptr;
        QString what;
        if (backend.plugin) {
            const BackendPlugin *plugin = loadPlugin(backend.name, &what);
            probe = plugin ? plugin->probe : nullptr;
        }
        if (probe) {
            if (std::shared_ptr<Backend> chosen = probe(&what))
                return chosen;
        }
        found.append(what);
    }
    *reason = u"found no display service to configure ("_qs + found.join(u"; ") +
              "); DISPOR_BACKEND=virtual selects the simulated display set";
    return {};
}

} // namespace

std::shared_ptr<Backend> createBackend(QString *reason)
{
    const QString wanted = qEnvironmentVariable("DISPOR_BACKEND");
    if (wanted.isEmpty())
        return findDisplayService(reason);
    for (const Known &backend : known) {
        if (wanted != QLatin1StringView(backend.name))
            continue;
        if (backend.linked)
            return backend.linked->create(reason);
        if (!backend.plugin) {
            *reason =
                u"DISPOR_BACKEND names the "_qs + wanted + " backend, which this build does not include";
            return {};
        }
        const BackendPlugin *plugin = loadPlugin(backend.name, reason);
        return plugin ? plugin->create(reason) : nullptr;
    }
    *reason = u"DISPOR_BACKEND "_qs + quoted(wanted) +
              " names no backend; the known backends are gnome, virtual, wayland and x11";
    return {};
}

} // namespace Dispor
