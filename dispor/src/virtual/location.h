#pragma once

#include "../store.h"

namespace Dispor::Virtual {

// Where the document lives: DISPOR_VIRTUAL_STATE when set and not empty,
// else $XDG_RUNTIME_DIR/dispor/virtual-display.json, else
// /tmp/dispor-<uid>/virtual-display.json.
bool locate(Location *location, QString *reason);

} // namespace Dispor::Virtual
