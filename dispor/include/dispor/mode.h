#pragma once

#include "dispor/export.h"

#include <QList>
#include <QSharedDataPointer>
#include <QSharedPointer>
#include <QSize>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <iterator>
#include <optional>

// The public headers compile as C++17 and later; the library's state sits
// behind a pointer in each class, so that it can grow within one soname.

namespace Dispor {

// One mode an output offers. Immutable once made: the tool tells modes apart
// by object identity (the current mode is the same object as one of modes()).
class DISPOR_EXPORT Mode {
public:
    Mode(QString id, QSize size, float refreshRate);
    Mode(const Mode &other);
    Mode &operator=(const Mode &other);
    ~Mode();

    // The backend's name for the mode, unique within one output; the key of
    // the output's ModeList and what Output::setCurrentModeId() takes.
    const QString &id() const;
    // The size in pixels.
    QSize size() const;
    // In Hz.
    float refreshRate() const;

private:
    class Private;
    QSharedDataPointer<Private> d;
};

// Shared ownership; modes are never changed after they are made.
using ModePtr = QSharedPointer<Mode>;

// An output's modes keyed by their ids, walked in plain string order of the
// ids ("1", "10", "2"). A sorted array, implicitly shared: copies are cheap,
// and the list adds no allocation per mode to the modes themselves.
class DISPOR_EXPORT ModeList {
public:
    // A pointer into the list's array: valid while the list is unchanged.
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
        const_iterator &operator++()
        {
            ++m_at;
            return *this;
        }
        const_iterator operator++(int) { return const_iterator(m_at++); }
        const_iterator &operator--()
        {
            --m_at;
            return *this;
        }
        const_iterator operator--(int) { return const_iterator(m_at--); }
        const ModePtr &operator[](difference_type n) const { return m_at[n]; }
        const_iterator &operator+=(difference_type n)
        {
            m_at += n;
            return *this;
        }
        const_iterator &operator-=(difference_type n)
        {
            m_at -= n;
            return *this;
        }
        friend const_iterator operator+(const_iterator it, difference_type n) { return it += n; }
        friend const_iterator operator+(difference_type n, const_iterator it) { return it += n; }
        friend const_iterator operator-(const_iterator it, difference_type n) { return it -= n; }
        friend difference_type operator-(const_iterator a, const_iterator b) { return a.m_at - b.m_at; }
        friend bool operator==(const_iterator a, const_iterator b) { return a.m_at == b.m_at; }
        friend bool operator!=(const_iterator a, const_iterator b) { return a.m_at != b.m_at; }
        friend bool operator<(const_iterator a, const_iterator b) { return a.m_at < b.m_at; }
        friend bool operator>(const_iterator a, const_iterator b) { return a.m_at > b.m_at; }
        friend bool operator<=(const_iterator a, const_iterator b) { return a.m_at <= b.m_at; }
        friend bool operator>=(const_iterator a, const_iterator b) { return a.m_at >= b.m_at; }

    private:
        friend class ModeList;
        explicit const_iterator(const ModePtr *at) : m_at(at) {}
        const ModePtr *m_at = nullptr;
    };
    using iterator = const_iterator;

    ModeList();
    ModeList(const ModeList &other);
    ModeList(ModeList &&other) noexcept;
    ModeList &operator=(const ModeList &other);
    ModeList &operator=(ModeList &&other) noexcept;
    ~ModeList();

    qsizetype size() const;
    qsizetype count() const { return size(); }
    bool isEmpty() const { return size() == 0; }

    const_iterator begin() const;
    const_iterator end() const;
    const_iterator cbegin() const { return begin(); }
    const_iterator cend() const { return end(); }
    const_iterator constBegin() const { return begin(); }
    const_iterator constEnd() const { return end(); }

    // The mode with this id, or end().
    const_iterator find(const QString &id) const;
    bool contains(const QString &id) const { return find(id) != end(); }
    // The mode with this id, or null.
    ModePtr value(const QString &id) const;
    ModePtr operator[](const QString &id) const { return value(id); }
    // The first id; the list must not be empty.
    QString firstKey() const;
    QStringList keys() const;
    QList<ModePtr> values() const;

    // Adds the mode under its id, in place of a mode with the same id.
    void insert(const ModePtr &mode);
    // Removes the mode with this id; how many were removed (0 or 1).
    qsizetype remove(const QString &id);
    void clear();
    void reserve(qsizetype size);

    // The same modes: the same objects under the same ids.
    bool operator==(const ModeList &other) const;
    bool operator!=(const ModeList &other) const { return !(*this == other); }

private:
    friend class ModeListPrivate;
    class Private;
    // Null while the list is empty: an output without modes costs nothing.
    QSharedDataPointer<Private> d;
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

    bool operator==(const ModeTimings &other) const
    {
        return clock == other.clock && hdisplay == other.hdisplay && hsyncStart == other.hsyncStart &&
               hsyncEnd == other.hsyncEnd && htotal == other.htotal && hskew == other.hskew &&
               vdisplay == other.vdisplay && vsyncStart == other.vsyncStart && vsyncEnd == other.vsyncEnd &&
               vtotal == other.vtotal && vscan == other.vscan && flags == other.flags;
    }
    bool operator!=(const ModeTimings &other) const { return !(*this == other); }
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

    int32_t width = 0;     // pixels
    int32_t height = 0;    // pixels
    float refreshRate = 0; // Hz
    uint32_t flags = 0;    // Flag bits
    // Absent: width, height and rate describe the mode, and the backend
    // derives whatever else it needs.
    std::optional<ModeTimings> timings;

    // Float equality on the rate; timings equal when both lack them or both
    // have the same.
    bool operator==(const ModeInfo &other) const
    {
        return width == other.width && height == other.height && refreshRate == other.refreshRate &&
               flags == other.flags && timings == other.timings;
    }
    bool operator!=(const ModeInfo &other) const { return !(*this == other); }
};

} // namespace Dispor
