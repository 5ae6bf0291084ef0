#pragma once

#include <cstddef>

namespace Dispor {

// While one lives, the modes this thread makes take their state from one
// allocation sized for count of them, rather than one each: a reader makes
// an output's hundreds of modes at once. The block is freed with the last
// mode made from it, so copies may outlive the list.
class ModeBlock {
public:
    explicit ModeBlock(std::size_t count);
    ~ModeBlock();
    ModeBlock(const ModeBlock &) = delete;
    ModeBlock &operator=(const ModeBlock &) = delete;

    // Room for one mode's state of size bytes (aligned for 8): from the
    // innermost block of this thread while it has room, else from the heap.
    static void *take(std::size_t size);
    // Gives back what take() gave.
    static void give(void *at) noexcept;

private:
    struct Block;
    void *takeHere(std::size_t size);

    std::size_t m_count;
    Block *m_block = nullptr; // made at the first take: a list of reused modes needs none
    ModeBlock *m_outer;
};

} // namespace Dispor
