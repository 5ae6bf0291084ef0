#pragma once

#include "config_origin.h"
#include "output_data.h"

#include <functional>
#include <memory>

// The library's private backend API: what backends need of Config and
// Output beyond the public API. Backends are part of the library's build
// (inside it, or as its plugins); programs never see these headers.

namespace Dispor {

// How an apply ended: a conflict is no refusal, the service simply no longer
// holds the state the snapshot was fetched from. NotHeld: the service took
// the configuration, but read back it holds something else; the reason has
// one line per output, joined by line breaks.
enum class Applied { Done, Refused, Conflict, NotHeld };

// Tells of changes to a display service's configuration as they come,
// without polling: through a descriptor the program's event loop watches,
// or, for a service that signals otherwise (mutter on the bus), through
// notify, which the watch calls itself.
class Watch {
public:
    virtual ~Watch() = default;
    // Readable when something came; -1 for a watch that calls notify.
    virtual int descriptor() const { return -1; }
    // Takes what came on the descriptor: *changed when the configuration
    // changed; false, with the reason, once the service is gone.
    virtual bool dispatch(bool *changed, QString *reason)
    {
        *changed = false;
        Q_UNUSED(reason);
        return true;
    }
    // Set by the watcher: changed (true), or the service gone (false,
    // with the reason).
    std::function<void(bool changed, const QString &reason)> notify;
};

// The enabled outputs, by name: the order labels and answers name them in.
QList<OutputPtr> enabledByName(const Config &config);

// A display service the library talks to. Each call returns true on success,
// else false with a one-line reason.
class Backend {
public:
    virtual ~Backend() = default;

    virtual QString name() const = 0;
    // A fresh snapshot; the caller fills in its origin's backend.
    virtual bool fetch(ConfigPtr *config, QString *reason) = 0;
    // Applies what the snapshot changed since it was fetched, only while the
    // service still holds the state named by the snapshot's stamp; else a
    // conflict, with nothing applied. Done sets *stamp to the new state's.
    virtual Applied apply(const Config &config, QByteArray *stamp, QString *reason) = 0;
    // Sets the power state of every connected output.
    virtual bool setDpms(Output::DpmsMode mode, QString *reason) = 0;
    // Whether a disabled output keeps a new place or shape until it is
    // enabled: a document does; a display server does not, so the library
    // refuses such a change before the backend sees it.
    virtual bool keepsDisabledOutputs() const { return false; }
    // Whether the server carries the light of the output, a built-in panel,
    // itself, as of the last fetch; where it does not, the library offers
    // the kernel's backlight device (backlight/panel.h). By default it does,
    // or there is none: the simulated set has no kernel to ask.
    virtual bool carriesLight(const Output::Data &output) const
    {
        Q_UNUSED(output);
        return true;
    }

    // The desktop (Dispor::Desktop). The simulated set has none to ask.
    virtual bool isSimulated() const { return false; }
    // The active output's name, else empty with the reason; by default the
    // only enabled output of the snapshot.
    virtual QString activeOutput(const Config &config, QString *why);
    // Labels on every enabled output for the given seconds, gone on return;
    // by default none, with the reason.
    virtual bool showLabels(const Config &config, int seconds, QString *why);

    // A watch of the configuration (Dispor::ConfigWatcher); by default
    // none, with the reason.
    virtual std::unique_ptr<Watch> watch(QString *reason);
};

// What a backend plugin (x11, wayland, gnome) exports as
// dispor_backend_plugin; DISPOR_BACKEND_PLUGIN defines it. The plugin and
// the library share this private API, so they must come from one build.
struct BackendPlugin {
    const char *version; // DISPOR_VERSION_STRING of the plugin's build
    std::shared_ptr<Backend> (*create)(QString *reason);
    // For the choice without DISPOR_BACKEND: the backend when its display
    // service is there and can serve, else null with what was found.
    std::shared_ptr<Backend> (*probe)(QString *found);
};

// Built into dispor_internal for the tests, the same table is named
// DISPOR_BUILTIN_PLUGIN (dispor_builtin_<name>), hidden.
#ifdef DISPOR_BUILTIN_PLUGIN
#define DISPOR_BACKEND_PLUGIN(create, probe)                                                                 \
    extern const Dispor::BackendPlugin DISPOR_BUILTIN_PLUGIN;                                                \
    const Dispor::BackendPlugin DISPOR_BUILTIN_PLUGIN{DISPOR_VERSION_STRING, create, probe};
#else
#define DISPOR_BACKEND_PLUGIN(create, probe)                                                                 \
    extern "C" __attribute__((visibility("default")))                                                        \
    const Dispor::BackendPlugin dispor_backend_plugin{DISPOR_VERSION_STRING, create, probe};
#endif

// The backend DISPOR_BACKEND names, or the first reachable one when it is
// unset or empty. Null with a reason when the named one cannot be used.
std::shared_ptr<Backend> createBackend(QString *reason);

} // namespace Dispor
