#pragma once

#include "picture.h"

#include <QString>

#include <memory>

struct wl_buffer;
struct wl_shm;

namespace Dispor::Labels {

// A picture in shared memory, as a wl_buffer the compositor reads.
class Buffer {
public:
    // Null with a one-line reason when the memory cannot be had.
    static std::unique_ptr<Buffer> create(wl_shm *shm, const Picture &picture, QString *why);
    ~Buffer();
    Buffer(const Buffer &) = delete;
    Buffer &operator=(const Buffer &) = delete;

    wl_buffer *get() const { return m_buffer; }

private:
    Buffer() = default;

    wl_buffer *m_buffer = nullptr;
    void *m_data = nullptr;
    size_t m_size = 0;
};

} // namespace Dispor::Labels
