#include "virtual_backend.h"

#include "../changes.h"
#include "../custom_mode_ids.h"
#include "../ranking.h"
#include "../settle.h"
#include "../text.h"
#include "../wording.h"
#include "document.h"

#include <QFile>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Dispor::Virtual {

namespace {

using Data = Output::Data;
using Caps = Output::Capabilities;

// Which document a snapshot came from: its length and a 64-bit hash of its
// bytes, or "none" for the default set of a missing one. (Keeping the bytes
// themselves would hold a large document in memory for the snapshot's life.)
QByteArray stampOf(const QByteArray &bytes)
{
    static_assert(sizeof(size_t) == 8, "a 64-bit hash");
    return QByteArray::number(bytes.size()) + ':' + QByteArray::number(qHash(bytes, 0x5eed1));
}

const QByteArray absent = QByteArrayLiteral("none");

// Reads the document, or the default set when there is none.
bool load(Store &store, const Location &location, Outputs *outputs, QByteArray *stamp, QString *reason,
          const QMap<int, Data> *like = nullptr)
{
    QByteArray bytes;
    bool exists = false;
    if (!store.read(&bytes, &exists, reason))
        return false;
    *stamp = exists ? stampOf(bytes) : absent;
    if (!exists) {
        *outputs = defaultSet();
        return true;
    }
    QString fault;
    if (!parseDocument(bytes, outputs, &fault, like)) {
        *reason = shownPath(location.path) + ": " + fault;
        return false;
    }
    return true;
}

// Under the lock: reads the document again and, if it is still the one
// expected (when one is), lets change work on it and writes the result
// unless change refused it. *written names the document written. The
// modes of like, the snapshot the change comes from, are shared, not read
// again.
template <typename Change>
Applied update(const Location &location, Change change, const QByteArray *expected, QByteArray *written,
               QString *reason, const QMap<int, Data> *like = nullptr)
{
    Store store(location);
    bool missing = false;
    Outputs outputs;
    QByteArray stamp;
    if (!store.openDirectory(true, &missing, reason) || !store.lock(reason) ||
        !load(store, location, &outputs, &stamp, reason, like))
        return Applied::Refused;
    if (expected && stamp != *expected) {
        *reason = shownPath(location.path) + ": the document changed since it was read";
        return Applied::Conflict;
    }
    if (!change(outputs, reason))
        return Applied::Refused;
    const QByteArray bytes = writeDocument(outputs);
    // Only the text counts from here on: the outputs go before the check
    // reads them back, so that two copies are never held at once.
    outputs = Outputs();
    // Never leave a document behind that the next run could not read.
    if (bytes.size() > Store::maximumSize) {
        *reason = shownPath(location.path) + ": the new document would be larger than 16 MiB";
        return Applied::Refused;
    }
    Outputs check;
    QString fault;
    if (!parseDocument(bytes, &check, &fault, like)) {
        *reason = shownPath(location.path) + ": the new document would not load: " + fault;
        return Applied::Refused;
    }
    if (!store.write(bytes, reason))
        return Applied::Refused;
    if (written)
        *written = stampOf(bytes);
    return Applied::Done;
}

// A readable ICC profile has the signature "acsp" at offset 36. Only a
// regular file is opened: opening a device or a FIFO can act on it.
bool checkIccProfile(const QString &path, QString *why)
{
    const QByteArray name = QFile::encodeName(path);
    const auto unreadable = [why](int error) {
        *why = u"the file cannot be read: "_qs + QString::fromLocal8Bit(std::strerror(error));
        return false;
    };
    struct stat named;
    if (::stat(name.constData(), &named) < 0)
        return unreadable(errno);
    bool ok = false;
    if (S_ISREG(named.st_mode)) {
        const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (fd < 0)
            return unreadable(errno);
        // Still the file looked at: it may have been replaced in between.
        struct stat status;
        char signature[4] = {};
        ok = ::fstat(fd, &status) == 0 && status.st_dev == named.st_dev && status.st_ino == named.st_ino &&
             ::pread(fd, signature, sizeof signature, 36) == sizeof signature &&
             std::memcmp(signature, "acsp", sizeof signature) == 0;
        ::close(fd);
    }
    if (!ok)
        *why = QStringLiteral("the file is not an ICC profile");
    return ok;
}

// Takes into base what the snapshot (wanted) changed since it was fetched,
// refusing changes the output cannot carry out.
class Merge : public Changes::Merge {
public:
    using Changes::Merge::Merge;

    bool all()
    {
        return Changes::forEachProperty([this](auto member, const char *key, Caps need, Caps orNeed) {
            if (Changes::is(member, &Data::enabled))
                return takeEnabled();
            if (Changes::is(member, &Data::size))
                return takeSize();
            if constexpr (std::is_same_v<decltype(member), QString Data::*>) {
                if (member == &Data::iccProfilePath || member == &Data::hdrIccProfilePath)
                    return takeProfile(member, key, need);
            }
            return take(member, key, need, orNeed);
        });
    }

private:
    bool takeProfile(QString Data::*member, const char *key, Caps need)
    {
        if (!differs(member))
            return true;
        QString why;
        if (m_check && !(m_wanted.*member).isEmpty() && (m_base.capabilities & need) &&
            !checkIccProfile(m_wanted.*member, &why))
            return fail(u"cannot set "_qs + QLatin1StringView(Wording::setting(key)) + " to " +
                        quoted(m_wanted.*member) + ": " + why);
        return take(member, key, need);
    }

    // The pixel size counts as changed only when the size it gives changed:
    // set-mode sets the mode's size, which the document leaves out.
    bool takeSize()
    {
        if (Output(m_wanted).size() == Output(m_fetched).size())
            return true;
        m_changed = true;
        m_base.size = m_wanted.size;
        return true;
    }
};

bool isRanked(const Data &d)
{
    return LayoutRules::isLit(d);
}

QList<int> ranking(const Outputs &outputs)
{
    QList<Ranking::Entry> entries;
    entries.reserve(outputs.size());
    for (const Data &d : outputs)
        entries.append({d.id, d.priority, isRanked(d)});
    return Ranking::order(entries);
}

bool applyTo(const Config &config, Outputs &outputs, QString *reason)
{
    QHash<int, qsizetype> index;
    index.reserve(outputs.size());
    for (qsizetype i = 0; i < outputs.size(); ++i)
        index.insert(outputs[i].id, i);
    QList<int> ranks = ranking(outputs);
    const ConfigOrigin &origin = originOf(config);

    QString disabled;  // the first enabled, connected output this apply switched off
    QSet<int> joining; // switched on or no longer mirroring, with no place asked for
    for (const OutputPtr &output : config.outputs()) {
        const auto fetched = origin.fetched.constFind(output->id());
        if (fetched == origin.fetched.constEnd())
            continue; // not from the service: nothing to compare with
        const auto at = index.constFind(output->id());
        if (at == index.constEnd()) {
            Data scratch = *fetched;
            Merge probe(*fetched, output->data(), scratch, reason, false);
            probe.all();
            if (probe.changed()) {
                *reason = output->name() + ": the output no longer exists";
                return false;
            }
            continue;
        }
        Data &base = outputs[*at];
        const Data was = base;
        if (!Merge(*fetched, output->data(), base, reason).all())
            return false;
        if (LayoutRules::switchedOff(was, base) && disabled.isEmpty())
            disabled = base.name;
        if (LayoutRules::joins(was, base, output->pos() != fetched->pos))
            joining.insert(base.id);
    }

    qsizetype faulty = 0;
    QString fault;
    if (!checkOutputs(outputs, &faulty, &fault)) {
        *reason = outputs[faulty].name + ": " + fault;
        return false;
    }
    QList<const Data *> all;
    QList<Data *> placed;
    for (Data &d : outputs) {
        all.append(&d);
        placed.append(&d);
    }
    *reason = LayoutRules::noneLeftLit(all, disabled);
    if (!reason->isEmpty())
        return false;
    LayoutRules::placeJoining(placed, joining,
                              [](const Data &d) { return Output(d).explicitLogicalSizeInt(); });

    // Outputs that left the ranking drop out, those that joined it come last
    // (in id order), then the requests are replayed in the order made.
    const QSet<int> wasRanked(ranks.cbegin(), ranks.cend());
    QList<int> joined;
    for (const Data &d : outputs) {
        if (isRanked(d) && !wasRanked.contains(d.id))
            joined.append(d.id);
    }
    std::sort(joined.begin(), joined.end());
    ranks.removeIf([&](int id) { return !isRanked(outputs[index.value(id)]); });
    ranks += joined;
    for (const auto &[id, priority] : origin.priorityRequests)
        Ranking::move(ranks, id, priority);
    for (Data &d : outputs)
        d.priority = 0;
    for (qsizetype i = 0; i < ranks.size(); ++i)
        outputs[index.value(ranks[i])].priority = uint32_t(i + 1);
    return true;
}

} // namespace

bool VirtualBackend::fetch(ConfigPtr *config, QString *reason)
{
    Store store(m_location);
    bool missing = false;
    Outputs outputs;
    if (!store.openDirectory(false, &missing, reason))
        return false;
    QByteArray stamp = absent;
    if (missing)
        outputs = defaultSet();
    else if (!load(store, m_location, &outputs, &stamp, reason))
        return false;

    OutputList list;
    ConfigOrigin origin;
    origin.stamp = std::move(stamp);
    for (Data &d : outputs) {
        offerCustomModes(d);
        origin.fetched.insert(d.id, d);
        list.insert(d.id, OutputPtr::create(std::move(d)));
    }
    *config = ConfigPtr::create(std::move(list));
    originOf(**config) = std::move(origin);
    return true;
}

Applied VirtualBackend::apply(const Config &config, QByteArray *stamp, QString *reason)
{
    return update(
        m_location, [&config](Outputs &outputs, QString *why) { return applyTo(config, outputs, why); },
        &originOf(config).stamp, stamp, reason, &originOf(config).fetched);
}

bool VirtualBackend::setDpms(Output::DpmsMode mode, QString *reason)
{
    return update(
               m_location,
               [mode](Outputs &outputs, QString *) {
                   for (Data &d : outputs) {
                       if (d.connected)
                           d.dpms = mode;
                   }
                   return true;
               },
               nullptr, nullptr, reason) == Applied::Done;
}

std::shared_ptr<Backend> createVirtualBackend(QString *reason)
{
    Location location;
    if (!locate(&location, reason))
        return {};
    return std::make_shared<VirtualBackend>(std::move(location));
}

} // namespace Dispor::Virtual
