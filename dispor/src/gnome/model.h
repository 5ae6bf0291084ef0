#pragma once

#include "../remembered.h"
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
// Mutter forgets a disabled monitor's place and shape: one is described
// with what the record (by connector) kept, where restore() takes it, at
// its scale where mutter still lists that for the mode, else at the one
// mutter prefers; without a record they are unknown.
QMap<int, Output::Data> describe(const State &state, int power, const RememberedOutputs &remembered = {});

// Mutter's colour modes: BT.2100 is HDR with a wide gamut, one mode.
constexpr uint32_t defaultColorMode = 0;
constexpr uint32_t bt2100 = 1;
// "default", "BT.2100", else "mode N".
QString colorModeName(uint32_t mode);

// A luminance to set for a monitor in a colour mode; none: back to mutter's default.
struct LuminanceSetting {
    QString connector;
    uint32_t colorMode = 0;
    std::optional<double> luminance;
};

struct BacklightSetting {
    QString connector;
    int value = 0;
};

// What an apply sends: the logical monitors (where the layout or a colour
// mode changed), then luminances and backlight levels, each its own call.
struct Plan {
    bool layout = false;
    QList<LogicalSetting> logical; // every enabled monitor named
    QList<LuminanceSetting> luminance;
    QList<BacklightSetting> backlight;

    bool changes() const { return layout || !luminance.isEmpty() || !backlight.isEmpty(); }
};

// What the snapshot changed since it was fetched, carried onto the state as
// it is now (its disabled monitors as describe() gives them with the
// record); nothing when the snapshot changed nothing. A monitor switched on
// whose shape is unknown takes its preferred mode and mutter's preferred
// scale for it.
bool plan(const Config &config, const State &state, Plan *plan, QString *reason,
          const RememberedOutputs &remembered = {});

// What sets mutter back to `before` once `sent` was taken, all or in part:
// the logical monitors as they were where the layout was sent, and each
// level sent as it was.
Plan setBack(const State &before, const Plan &sent);

} // namespace Dispor::Gnome
