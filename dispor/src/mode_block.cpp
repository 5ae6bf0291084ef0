#include "mode_block.h"

#include <atomic>
#include <new>

namespace Dispor {

namespace {

thread_local ModeBlock *innermost = nullptr;

// Each piece of room starts with the block it came from (null: the heap's).
constexpr std::size_t Header = 8;

std::size_t roundUp(std::size_t size)
{
    return (size + 7) & ~std::size_t(7);
}

} // namespace

struct alignas(16) ModeBlock::Block {
    // One for each piece taken and not given back, and one for the
    // ModeBlock while it lives.
    std::atomic<std::size_t> refs{1};
    std::size_t slot;
    std::size_t capacity;
    std::size_t used = 0;

    unsigned char *room() { return reinterpret_cast<unsigned char *>(this + 1); }
    void release() noexcept
    {
        if (refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            this->~Block();
            ::operator delete(this);
        }
    }
};

ModeBlock::ModeBlock(std::size_t count) : m_count(count), m_outer(innermost)
{
    innermost = this;
}

ModeBlock::~ModeBlock()
{
    innermost = m_outer;
    if (m_block)
        m_block->release();
}

void *ModeBlock::takeHere(std::size_t size)
{
    const std::size_t slot = Header + roundUp(size);
    if (!m_block && m_count > 0) {
        void *memory = ::operator new(sizeof(Block) + slot * m_count);
        m_block = new (memory) Block;
        m_block->slot = slot;
        m_block->capacity = m_count;
    }
    if (!m_block || m_block->slot != slot || m_block->used == m_block->capacity)
        return nullptr;
    unsigned char *at = m_block->room() + slot * m_block->used++;
    m_block->refs.fetch_add(1, std::memory_order_relaxed);
    *reinterpret_cast<Block **>(at) = m_block;
    return at + Header;
}

void *ModeBlock::take(std::size_t size)
{
    if (innermost) {
        if (void *at = innermost->takeHere(size))
            return at;
    }
    auto *at = static_cast<unsigned char *>(::operator new(Header + size));
    *reinterpret_cast<Block **>(at) = nullptr;
    return at + Header;
}

void ModeBlock::give(void *at) noexcept
{
    unsigned char *start = static_cast<unsigned char *>(at) - Header;
    if (Block *block = *reinterpret_cast<Block **>(start))
        block->release();
    else
        ::operator delete(start);
}

} // namespace Dispor
