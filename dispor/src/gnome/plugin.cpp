// The GNOME backend as a plugin the library opens when it probes or uses it.

#include "gnome_backend.h"

#include "dispor/version.h"

DISPOR_BACKEND_PLUGIN(Dispor::Gnome::createGnomeBackend, Dispor::Gnome::createGnomeBackend)
