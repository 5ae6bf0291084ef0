#include "ranking.h"

#include <algorithm>

namespace Dispor::Ranking {

QList<int> order(const QList<Entry> &entries)
{
    QList<Entry> ranked;
    ranked.reserve(entries.size());
    for (const Entry &entry : entries) {
        if (entry.ranked)
            ranked.append(entry);
    }
    std::sort(ranked.begin(), ranked.end(), [](const Entry &a, const Entry &b) {
        const uint64_t pa = a.priority ? a.priority : UINT64_MAX;
        const uint64_t pb = b.priority ? b.priority : UINT64_MAX;
        return pa != pb ? pa < pb : a.id < b.id;
    });
    QList<int> ids;
    ids.reserve(ranked.size());
    for (const Entry &entry : ranked)
        ids.append(entry.id);
    return ids;
}

void move(QList<int> &ranking, int id, uint32_t priority)
{
    const qsizetype from = ranking.indexOf(id);
    if (from < 0 || priority == 0)
        return;
    const qsizetype to = std::min<qsizetype>(priority, ranking.size()) - 1;
    ranking.move(from, to);
}

} // namespace Dispor::Ranking
