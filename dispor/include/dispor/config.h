#pragma once

#include "dispor/export.h"
#include "dispor/output.h"

#include <QMap>

#include <memory>

namespace Dispor {

// One snapshot of all outputs. Changes stay in the snapshot until a
// SetConfigOperation applies them; it applies only what changed here.
//
// Made by GetConfigOperation and shared through ConfigPtr; the outputs are
// shared too (OutputPtr), so a change through any copy of an OutputPtr is a
// change of this snapshot. Nothing here talks to a display server or
// blocks. Not thread-safe.
class DISPOR_EXPORT Config {
public:
    // An empty snapshot, or one of the given outputs; such a snapshot has no
    // origin and cannot be applied (for tests and tools that build their own).
    Config();
    explicit Config(OutputList outputs);
    // A copy is a snapshot of its own, of the same outputs (OutputPtr is
    // shared) and the same origin.
    Config(const Config &other);
    Config &operator=(const Config &other);
    ~Config();

    // Every output the backend knows, connected or not, by id.
    OutputList outputs() const;
    // The connected outputs only, enabled or not, by id.
    OutputList connectedOutputs() const;
    // The output with this id, or null.
    OutputPtr output(int id) const;
    // The output ranked 1, or null.
    OutputPtr primaryOutput() const;

    // Moves the output to rank min(priority, n) among the n enabled,
    // connected outputs, shifting the others and keeping their order. An
    // output outside that ranking (disabled, disconnected) stays at 0, and
    // so does every other output outside it; priority 0 changes nothing.
    void setOutputPriority(const OutputPtr &output, uint32_t priority);

    // The output's pixel size divided by its scale, rounded, with width and
    // height swapped for quarter turns.
    QSize logicalSizeForOutputInt(const Output &output) const;
    QSize logicalSizeForOutputInt(const OutputPtr &output) const;

private:
    // The backends' access to the origin, in the library's private headers.
    friend class ConfigPrivate;

    // The outputs and where the snapshot came from, as the library keeps
    // it for applying it.
    class Private;
    std::unique_ptr<Private> d;
};

// Shared ownership: the snapshot lives as long as its last pointer.
using ConfigPtr = QSharedPointer<Config>;

} // namespace Dispor
