#pragma once

#include <QList>
#include <QSharedPointer>
#include <QSize>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <compare>
#include <cstdint>
#include <iterator>
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
    const QString &id() const { return m_id; }
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

// An output's modes keyed by their ids, walked in plain string order of the
// ids ("1", "10", "2"). A sorted array, implicitly shared: copies are cheap,
// and the list adds no allocation per mode to the modes themselves.
class ModeList {
public:
    class const_iterator {
    public:
        using iterator_category = std::random_access_iterator_tag;
        using difference_type = qsizetype;
        using value_type = ModePtr;
        using pointer = const ModePtr *;
        using reference = const ModePtr &;

        const_iterator() = default;
        const ModePtr &operator*() const { return *m_at; }
        const ModePtr *operator->() const { return m_at; }
        const ModePtr &value() const { return *m_at; }
        const QString &key() const { return (*m_at)->id(); }
        const_iterator &operator++() { ++m_at; return *this; }
        const_iterator operator++(int) { return const_iterator(m_at++); }
        const_iterator &operator--() { --m_at; return *this; }
        const_iterator operator--(int) { return const_iterator(m_at--); }
        const ModePtr &operator[](difference_type n) const { return m_at[n]; }
        const_iterator &operator+=(difference_type n) { m_at += n; return *this; }
        const_iterator &operator-=(difference_type n) { m_at -= n; return *this; }
        friend const_iterator operator+(const_iterator it, difference_type n) { return it += n; }
        friend const_iterator operator+(difference_type n, const_iterator it) { return it += n; }
        friend const_iterator operator-(const_iterator it, difference_type n) { return it -= n; }
        friend difference_type operator-(const_iterator a, const_iterator b) { return a.m_at - b.m_at; }
        friend bool operator==(const_iterator a, const_iterator b) { return a.m_at == b.m_at; }
        friend auto operator<=>(const_iterator a, const_iterator b) { return a.m_at <=> b.m_at; }

    private:
        friend class ModeList;
        explicit const_iterator(const ModePtr *at) : m_at(at) {}
        const ModePtr *m_at = nullptr;
    };
    using iterator = const_iterator;

    qsizetype size() const { return m_modes.size(); }
    qsizetype count() const { return m_modes.size(); }
    bool isEmpty() const { return m_modes.isEmpty(); }

    const_iterator begin() const { return const_iterator(m_modes.constData()); }
    const_iterator end() const { return const_iterator(m_modes.constData() + m_modes.size()); }
    const_iterator cbegin() const { return begin(); }
    const_iterator cend() const { return end(); }
    const_iterator constBegin() const { return begin(); }
    const_iterator constEnd() const { return end(); }

    // The mode with this id, or end().
    const_iterator find(const QString &id) const
    {
        const const_iterator at = lowerBound(id);
        return at != end() && (*at)->id() == id ? at : end();
    }
    bool contains(const QString &id) const { return find(id) != end(); }
    // The mode with this id, or null.
    ModePtr value(const QString &id) const
    {
        const const_iterator at = find(id);
        return at != end() ? *at : ModePtr();
    }
    ModePtr operator[](const QString &id) const { return value(id); }
    QString firstKey() const { return m_modes.first()->id(); }
    QStringList keys() const
    {
        QStringList ids;
        ids.reserve(m_modes.size());
        for (const ModePtr &mode : m_modes)
            ids.append(mode->id());
        return ids;
    }
    QList<ModePtr> values() const { return m_modes; }

    // Adds the mode under its id, in place of a mode with the same id.
    void insert(const ModePtr &mode)
    {
        // Modes usually come in order: then no search.
        if (m_modes.isEmpty() || before(m_modes.last()->id(), mode->id())) {
            m_modes.append(mode);
            return;
        }
        const qsizetype at = lowerBound(mode->id()) - begin();
        if (m_modes[at]->id() == mode->id())
            m_modes[at] = mode;
        else
            m_modes.insert(at, mode);
    }
    // Removes the mode with this id; how many were removed (0 or 1).
    qsizetype remove(const QString &id)
    {
        const const_iterator at = find(id);
        if (at == end())
            return 0;
        m_modes.removeAt(at - begin());
        return 1;
    }
    void clear() { m_modes.clear(); }

    // The same modes: the same objects under the same ids.
    friend bool operator==(const ModeList &a, const ModeList &b) { return a.m_modes == b.m_modes; }
    friend bool operator!=(const ModeList &a, const ModeList &b) { return !(a == b); }
    void reserve(qsizetype size) { m_modes.reserve(size); }

private:
    // QString's order (by UTF-16 unit), compared in place: ids are short.
    static bool before(const QString &a, const QString &b)
    {
        const qsizetype n = std::min(a.size(), b.size());
        const QChar *x = a.constData(), *y = b.constData();
        for (qsizetype i = 0; i < n; ++i) {
            if (x[i] != y[i])
                return x[i] < y[i];
        }
        return a.size() < b.size();
    }
    const_iterator lowerBound(const QString &id) const
    {
        return std::lower_bound(begin(), end(), id,
                                [](const ModePtr &mode, const QString &key) { return before(mode->id(), key); });
    }

    QList<ModePtr> m_modes; // sorted by id, ids unique
};

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
