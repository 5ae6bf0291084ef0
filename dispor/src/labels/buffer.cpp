#include "buffer.h"

#include <wayland-client.h>

#include <cerrno>
#include <cstring>

#include <sys/mman.h>
#include <unistd.h>

namespace Dispor::Labels {

std::unique_ptr<Buffer> Buffer::create(wl_shm *shm, const Picture &picture, QString *why)
{
    const size_t stride = size_t(picture.width) * 4;
    const size_t size = stride * size_t(picture.height);
    const auto failed = [why](const char *what) {
        *why = u"cannot make "_qs + QLatin1StringView(what) +
               " for a label: " + QString::fromLocal8Bit(std::strerror(errno));
        return std::unique_ptr<Buffer>();
    };
    if (size == 0 || size > size_t(INT32_MAX)) {
        *why = u"a label of "_qs + QString::number(picture.width) + "x" + QString::number(picture.height) +
               " pixels cannot be shared with the compositor";
        return {};
    }
    const int fd = ::memfd_create("dispor-label", MFD_CLOEXEC);
    if (fd < 0)
        return failed("shared memory");
    if (::ftruncate(fd, off_t(size)) < 0) {
        auto result = failed("shared memory");
        ::close(fd);
        return result;
    }
    void *data = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (data == MAP_FAILED) {
        auto result = failed("a mapping");
        ::close(fd);
        return result;
    }
    std::memcpy(data, picture.pixels.data(), size);
    std::unique_ptr<Buffer> buffer(new Buffer);
    buffer->m_data = data;
    buffer->m_size = size;
    // The compositor maps the file itself: ours closes once the pool is sent.
    wl_shm_pool *pool = wl_shm_create_pool(shm, fd, int32_t(size));
    buffer->m_buffer = wl_shm_pool_create_buffer(pool, 0, picture.width, picture.height, int32_t(stride),
                                                 WL_SHM_FORMAT_ARGB8888);
    wl_shm_pool_destroy(pool);
    ::close(fd);
    return buffer;
}

Buffer::~Buffer()
{
    if (m_buffer)
        wl_buffer_destroy(m_buffer);
    if (m_data)
        ::munmap(m_data, m_size);
}

} // namespace Dispor::Labels
