#pragma once

#include "dispor/output.h"

#include <QString>

// How refusals name settings and missing capabilities: in the words the
// commands and their help use, never the document's keys. The words are in
// each property's row (properties.h) and each capability's (capabilities.h),
// and a test checks that no changeable property lacks them.
namespace Dispor::Wording {

using Caps = Output::Capabilities;

// The setting a property key holds ("the VRR policy"); null for a key with
// no words.
const char *setting(const char *key);

// Why an output cannot take a change that needs need (or else orNeed):
// "the output has no VRR support".
QString lacking(Caps need, Caps orNeed = {});

// "cannot change the VRR policy: the output has no VRR support"; for the key
// "enabled", "cannot disable the output: …".
QString cannotChange(const char *key, const QString &why);

// "the maximum bits per colour cannot be 16: the output allows 6 to 12".
QString outsideRange(const char *key, const QString &value, qint64 least, qint64 most);

// For a read-back that found another value than the one sent: "the
// compositor accepted the VRR policy "always" but keeps "never"". server
// names the display service ("the compositor", "mutter", "the X server");
// the values are quoted, as text from outside may be in them.
QString notHeld(const char *server, const char *key, const QString &sent, const QString &held);

// The rotation words of set-rotation for a wl_output transform (0 … 7).
QString transformWord(int transform);

} // namespace Dispor::Wording
