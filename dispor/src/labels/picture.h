#pragma once

#include <cstdint>
#include <vector>

namespace Dispor::Labels {

// Pixels as wl_shm's ARGB8888 has them: one 32-bit word each, in the
// machine's byte order, row after row.
struct Picture {
    Picture(int w, int h, uint32_t colour) : width(w), height(h), pixels(size_t(w) * size_t(h), colour) {}

    int width;
    int height;
    std::vector<uint32_t> pixels;

    // The rectangle, clipped to the picture.
    void fill(int x, int y, int w, int h, uint32_t colour);
    // colour over the pixel at x,y by coverage (0-255); outside: nothing.
    void blend(int x, int y, uint32_t colour, uint8_t coverage);
};

} // namespace Dispor::Labels
