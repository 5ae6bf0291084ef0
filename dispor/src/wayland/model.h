#pragma once

#include "../remembered.h"
#include "client.h"
#include "custom_modes.h"

#include "dispor/config.h"

#include <QMap>
#include <QStringList>

namespace Dispor::Wayland {

// Output ids from head names: the same name gets the same id in every run,
// whatever order the compositor lists its heads in. Ids are 1 … 32768;
// names that collide take the next free id, in name order.
QMap<QString, int> assignIds(const QStringList &names);

// A name-based uuid from make, model and serial number where the head gives
// any of them, else from its name. Of heads that tell the same identity, the
// first by name keeps it and the others add their name, so that a uuid
// always names one output.
QMap<QString, QString> assignUuids(const std::vector<const HeadState *> &heads);

// The heads as outputs, by output id, with the scale and logical size as
// wlroots holds them, and each head's custom modes offered as modes too.
// A logical size the compositor's layout tells otherwise (by name) is the
// output's explicit logical size. A dark head is disabled; a disabled one
// has the place and shape remembered for it, else none known.
QMap<int, Output::Data> describe(const std::vector<const HeadState *> &heads, uint32_t version,
                                 const CustomModeLists &customModes,
                                 const QHash<QString, QSize> &laidOut = {},
                                 const RememberedOutputs &remembered = {});

// What an apply does.
struct Plan {
    bool configure = false;      // the compositor is to be changed
    QList<HeadSetting> settings; // then every head, with its settings
    // The outputs whose custom mode lists the snapshot changed: as fetched
    // and as wanted.
    CustomModeLists fetchedLists;
    CustomModeLists wantedLists;
    // What the outputs it switches off have, to remember before it is sent.
    RememberedOutputs switchedOff;
};

// The configuration that carries what the snapshot changed since it was
// fetched onto the heads as they are now. A head switched on is sent with
// its place and what the snapshot changed of its shape: the compositor
// brings back the rest as the head had it.
bool plan(const Config &config, const std::vector<const HeadState *> &heads, uint32_t version, Plan *planned,
          QString *reason, const RememberedOutputs &remembered = {});

} // namespace Dispor::Wayland
