// The Wayland backend as a plugin the library opens when it probes or uses it.

#include "wayland_backend.h"

#include "dispor/version.h"

DISPOR_BACKEND_PLUGIN(Dispor::Wayland::createWaylandBackend, Dispor::Wayland::probeWaylandBackend)
