#pragma once

#include "../output_data.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace Dispor::Virtual {

// The outputs of one document, in document order. Here `modes` holds the
// document's own modes only; the modes offered for custom modes are added
// when a snapshot is made (offerCustomModes, custom_mode_ids.h).
using Outputs = QList<Output::Data>;

// Reads a document strictly: on any fault returns false and sets fault to one
// line saying what is wrong ("output \"DP-1\": unknown key \"foo\""), without
// the file's name. Where like is given, a mode equal to one of like's
// output of the same id (id, size and rate) is taken from there rather than
// made again: a document read back while its snapshot lives then costs no
// second set of modes.
bool parseDocument(const QByteArray &bytes, Outputs *outputs, QString *fault,
                   const QMap<int, Output::Data> *like = nullptr);

// The same through QJsonDocument alone. parseDocument takes a quicker way
// for plain documents and comes here for the rest, so faults read the same.
// The quicker way costs a quarter of the instructions on a large set (128
// outputs of 100 modes: list-outputs --json 108 M against 441 M).
bool parseDocumentFully(const QByteArray &bytes, Outputs *outputs, QString *fault);

// The document text: indented, keys in a fixed order, values equal to their
// defaults left out. parseDocument reads it back to the same outputs.
QByteArray writeDocument(const Outputs &outputs);

// What a missing document stands for.
Outputs defaultSet();

// Checks what both a document and an applied result must satisfy: value
// ranges, enumeration values, mode references, replication sources. On a
// fault sets faulty to the output's index and fault to what is wrong.
bool checkOutputs(const Outputs &outputs, qsizetype *faulty, QString *fault);

} // namespace Dispor::Virtual
