#pragma once

#include <QList>

#include <cstdint>

namespace Dispor::Ranking {

struct Entry {
    int id = 0;
    uint32_t priority = 0;
    bool ranked = false; // enabled and connected
};

// The ranked outputs' ids, best first: by priority with 0 after every other
// value, ties by id, so that an uneven hand-written ranking still has one order.
QList<int> order(const QList<Entry> &entries);

// Moves id to rank min(priority, n), keeping the others' order. Ids outside
// the ranking and priority 0 change nothing.
void move(QList<int> &ranking, int id, uint32_t priority);

} // namespace Dispor::Ranking
