// The X11 backend as a plugin the library opens when it probes or uses it.

#include "x11_backend.h"

#include "dispor/version.h"

DISPOR_BACKEND_PLUGIN(Dispor::X11::createX11Backend, Dispor::X11::probeX11Backend)
