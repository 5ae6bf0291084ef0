#pragma once

#include <QMap>
#include <QSharedPointer>
#include <QSize>
#include <QString>

#include <cstdint>
#include <optional>

namespace Dispor {

// One mode an output offers. Immutable once made: the tool tells modes apart
// by object identity (the current mode is the same object as one of modes()).
class Mode {
public:
    Mode(QString id, QSize size, float refreshRate)
        : m_id(std::move(id)), m_size(size), m_refreshRate(refreshRate) {}

    // The backend's name for the mode, unique within one output; the key of
    // the output's ModeList and what Output::setCurrentModeId() takes.
    QString id() const { return m_id; }
    // The size in pixels.
    QSize size() const { return m_size; }
    // In Hz.
    float refreshRate() const { return m_refreshRate; }

private:
    QString m_id;
    QSize m_size;
    float m_refreshRate;
};

// Shared ownership; modes are never changed after they are made.
using ModePtr = QSharedPointer<Mode>;
// Keyed by mode id; QMap walks the ids in plain string order ("1", "10", "2").
using ModeList = QMap<QString, ModePtr>;

// Explicit timings of a custom mode, as the kernel's DRM modes carry them.
struct ModeTimings {
    uint32_t clock = 0; // kHz
    uint16_t hdisplay = 0;
    uint16_t hsyncStart = 0;
    uint16_t hsyncEnd = 0;
    uint16_t htotal = 0;
    uint16_t hskew = 0;
    uint16_t vdisplay = 0;
    uint16_t vsyncStart = 0;
    uint16_t vsyncEnd = 0;
    uint16_t vtotal = 0;
    uint16_t vscan = 0;
    uint32_t flags = 0; // TimingFlag bits

    enum TimingFlag : uint32_t {
        PositiveHSync = 1,
        NegativeHSync = 2,
        PositiveVSync = 4,
        NegativeVSync = 8,
        Interlace = 16,
    };

    bool operator==(const ModeTimings &) const = default;
};

// A custom mode of an output: a resolution and rate, or explicit timings.
// An output's list is Output::customModes(); a program changes it with
// Output::setCustomModes() and applies it like any other change, where the
// output has Output::Capability::CustomModes.
struct ModeInfo {
    enum Flag : uint32_t {
        UserDefined = 1,     // set on every mode a user adds
        ReducedBlanking = 2, // the service derives reduced-blanking timings
    };

    int32_t width = 0;    // pixels
    int32_t height = 0;   // pixels
    float refreshRate = 0; // Hz
    uint32_t flags = 0;   // Flag bits
    // Absent: width, height and rate describe the mode, and the backend
    // derives whatever else it needs.
    std::optional<ModeTimings> timings;

    // Float equality on the rate; timings compared only when both have them.
    bool operator==(const ModeInfo &) const = default;
};

} // namespace Dispor
