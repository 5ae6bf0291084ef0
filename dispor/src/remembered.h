#pragma once

#include "output_data.h"
#include "store.h"

#include <QMap>

#include <optional>

namespace Dispor {

// What an output had when the library switched it off, for the servers
// that forget it (X11, mutter): kept for the session, beside the custom
// modes, and brought back when the output is switched on again.
struct Remembered {
    QString uuid; // the monitor's: another one on the connector gets nothing
    QString modeId;
    QSize modeSize;
    double refreshRate = 0; // Hz
    double scale = 1;
    Output::Rotation rotation = Output::Rotation::None;
    QPoint pos;

    bool operator==(const Remembered &) const = default;
};

// By connector name.
using RememberedOutputs = QMap<QString, Remembered>;

// What an enabled output has now, to remember.
Remembered rememberedOf(const Output::Data &d);
// Gives a disabled output what it had, where the record is its monitor's
// and the mode is still offered (by id, else by size and rate): sets
// placementKnown. False, changing nothing, otherwise.
bool restore(Output::Data &d, const Remembered &r);

// {"NAME": {"uuid": …, "modeId": …, "width": W, "height": H,
//  "refreshRate": R, "scale": S, "rotation": N, "x": X, "y": Y}, …}
QByteArray rememberedDocument(const RememberedOutputs &outputs);
bool parseRemembered(const QByteArray &bytes, RememberedOutputs *outputs, QString *fault);

// One display session's record, $XDG_RUNTIME_DIR/dispor/SESSION-disabled-outputs.json
// (else in /tmp/dispor-UID), SESSION percent-encoded.
class RememberedFile {
public:
    explicit RememberedFile(const QString &session);

    // Every record; none without a file.
    bool read(RememberedOutputs *outputs, QString *reason);
    // Under the file's lock: sets the records given, and drops those whose
    // value is empty. Writes nothing when nothing changes.
    bool update(const QMap<QString, std::optional<Remembered>> &changes, QString *reason);

private:
    Location m_location;
};

} // namespace Dispor
