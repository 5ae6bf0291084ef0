#pragma once

#include "client.h"

#include "dispor/config.h"

#include <QMap>
#include <QStringList>

namespace Dispor::Wayland {

// Output ids from head names: the same name gets the same id in every run,
// whatever order the compositor lists its heads in. Ids are 1 … 32768;
// names that collide take the next free id, in name order.
QMap<QString, int> assignIds(const QStringList &names);

// A name-based uuid from make, model and serial number where the head gives
// any of them, else from its name; one that two heads would share falls back
// to the name, so that a uuid always names one output.
QMap<QString, QString> assignUuids(const std::vector<const HeadState *> &heads);

Output::Type connectorType(const QString &name);

// wl_output.transform and the library's rotations, both ways; both rotate
// counter-clockwise. -1 for a value outside the other's range.
Output::Rotation rotationFromTransform(int transform);
int transformFromRotation(Output::Rotation rotation);

// The heads as outputs, by output id. power holds the heads whose power
// mode is known (true: on).
QMap<int, Output::Data> describe(const std::vector<const HeadState *> &heads, uint32_t version,
                                 const QList<std::pair<QString, bool>> &power);

// The configuration that carries what the snapshot changed since it was
// fetched onto the heads as they are now; every head is named. Sets
// *changed to false, with no settings, when the snapshot changed nothing.
bool plan(const Config &config, const std::vector<const HeadState *> &heads, uint32_t version,
          QList<HeadSetting> *settings, bool *changed, QString *reason);

} // namespace Dispor::Wayland
