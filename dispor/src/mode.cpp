#include "dispor/mode.h"

#include <algorithm>

namespace Dispor {

class Mode::Private : public QSharedData {
public:
    Private(QString id, QSize size, float refreshRate)
        : id(std::move(id)), size(size), refreshRate(refreshRate)
    {}

    QString id;
    QSize size;
    float refreshRate;
};

Mode::Mode(QString id, QSize size, float refreshRate) : d(new Private(std::move(id), size, refreshRate)) {}
Mode::Mode(const Mode &other) = default;
Mode &Mode::operator=(const Mode &other) = default;
Mode::~Mode() = default;

const QString &Mode::id() const
{
    return d->id;
}

QSize Mode::size() const
{
    return d->size;
}

float Mode::refreshRate() const
{
    return d->refreshRate;
}

class ModeList::Private : public QSharedData {
public:
    QList<ModePtr> modes; // sorted by id, ids unique
};

namespace {

// QString's order (by UTF-16 unit), compared in place: ids are short.
bool before(const QString &a, const QString &b)
{
    const qsizetype n = std::min(a.size(), b.size());
    const QChar *x = a.constData(), *y = b.constData();
    for (qsizetype i = 0; i < n; ++i) {
        if (x[i] != y[i])
            return x[i] < y[i];
    }
    return a.size() < b.size();
}

ModeList::const_iterator lowerBound(const ModeList &list, const QString &id)
{
    return std::lower_bound(list.begin(), list.end(), id,
                            [](const ModePtr &mode, const QString &key) { return before(mode->id(), key); });
}

} // namespace

ModeList::ModeList() = default;
ModeList::ModeList(const ModeList &other) = default;
ModeList::ModeList(ModeList &&other) noexcept = default;
ModeList &ModeList::operator=(const ModeList &other) = default;
ModeList &ModeList::operator=(ModeList &&other) noexcept = default;
ModeList::~ModeList() = default;

qsizetype ModeList::size() const
{
    return d ? d->modes.size() : 0;
}

ModeList::const_iterator ModeList::begin() const
{
    return const_iterator(d ? d->modes.constData() : nullptr);
}

ModeList::const_iterator ModeList::end() const
{
    return const_iterator(d ? d->modes.constData() + d->modes.size() : nullptr);
}

ModeList::const_iterator ModeList::find(const QString &id) const
{
    const const_iterator at = lowerBound(*this, id);
    return at != end() && (*at)->id() == id ? at : end();
}

ModePtr ModeList::value(const QString &id) const
{
    const const_iterator at = find(id);
    return at != end() ? *at : ModePtr();
}

QString ModeList::firstKey() const
{
    return d->modes.first()->id();
}

QStringList ModeList::keys() const
{
    QStringList ids;
    ids.reserve(size());
    for (const ModePtr &mode : *this)
        ids.append(mode->id());
    return ids;
}

QList<ModePtr> ModeList::values() const
{
    return d ? d->modes : QList<ModePtr>();
}

void ModeList::insert(const ModePtr &mode)
{
    if (!d)
        d = new Private;
    QList<ModePtr> &modes = d->modes;
    // Modes usually come in order: then no search.
    if (modes.isEmpty() || before(modes.last()->id(), mode->id())) {
        modes.append(mode);
        return;
    }
    const qsizetype at = lowerBound(*this, mode->id()) - begin();
    if (modes[at]->id() == mode->id())
        modes[at] = mode;
    else
        modes.insert(at, mode);
}

qsizetype ModeList::remove(const QString &id)
{
    const const_iterator at = find(id);
    if (at == end())
        return 0;
    const qsizetype index = at - begin();
    d->modes.removeAt(index);
    return 1;
}

void ModeList::clear()
{
    d.reset();
}

void ModeList::reserve(qsizetype size)
{
    if (!d)
        d = new Private;
    d->modes.reserve(size);
}

bool ModeList::operator==(const ModeList &other) const
{
    return d == other.d || values() == other.values();
}

} // namespace Dispor
