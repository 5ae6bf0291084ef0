#pragma once

#include "output_data.h"

#include <QList>
#include <QMap>
#include <QSize>
#include <QString>

// What a server that shows one output's picture on others allows, written
// once: which output may mirror which, and the mode a replica takes.
namespace Dispor::Mirroring {

// How a refusal names the output a source itself mirrors: by name, or as
// "another output".
enum class Chain { Named, Unnamed };

// Why `replica` (enabled, with a replication source) cannot mirror its
// source among `outputs` (the outputs as they are to be): the output
// itself, no output, one that is off, one that mirrors in turn. Empty when
// it may. Without the replica's name in front.
QString refusal(const Output::Data &replica, const QMap<int, Output::Data> &outputs, Chain chain);

// A mode the replica could show its source's picture in.
struct Candidate {
    QString id;
    QSize size;
    float refreshRate = 0;
};

// Of the candidates (in the server's order) of the source's size, the one
// nearest the source's refresh rate, the first of equals; empty when none.
QString modeFor(const QList<Candidate> &candidates, QSize size, float refreshRate);

// The refusal when modeFor found none, without the replica's name.
QString noModeRefusal(const QString &source, QSize size);

} // namespace Dispor::Mirroring
