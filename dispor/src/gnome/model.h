#pragma once

#include "client.h"

#include "dispor/config.h"

#include <QMap>

// What mutter reports as the library's outputs, and the configuration that
// carries a snapshot's changes back; no bus involved.
namespace Dispor::Gnome {

// Output ids from connector names: the same name gets the same id in every
// run, whatever order mutter lists its monitors in. Ids are 1 … 32768.
QMap<QString, int> assignIds(const QStringList &connectors);

// The scale from listed that the wanted one means: the listed one within
// printedScaleTolerance of it, or for a quarter step the listed scale
// nearest to it; else nullopt.
std::optional<double> listedScale(double wanted, const QList<double> &listed);
// A listed scale written to 0.01 % (or six digits) is still that scale.
constexpr double printedScaleTolerance = 0.0001;

// The monitors as outputs, by output id; power is PowerSaveMode (0 … 3).
QMap<int, Output::Data> describe(const State &state, int power);

// The logical monitors that carry what the snapshot changed since it was
// fetched onto the state as it is now; every enabled monitor is named. Sets
// *changed to false, with no settings, when the snapshot changed nothing.
bool plan(const Config &config, const State &state, QList<LogicalSetting> *settings, bool *changed,
          QString *reason);

} // namespace Dispor::Gnome
