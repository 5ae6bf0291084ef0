#include "picture.h"

#include <algorithm>

namespace Dispor::Labels {

void Picture::fill(int x, int y, int w, int h, uint32_t colour)
{
    const int left = std::max(x, 0), right = std::min(x + w, width);
    const int top = std::max(y, 0), bottom = std::min(y + h, height);
    for (int row = top; row < bottom; ++row)
        std::fill_n(pixels.begin() + ptrdiff_t(row) * width + left, std::max(right - left, 0), colour);
}

void Picture::blend(int x, int y, uint32_t colour, uint8_t coverage)
{
    if (x < 0 || y < 0 || x >= width || y >= height || coverage == 0)
        return;
    uint32_t &pixel = pixels[size_t(y) * size_t(width) + size_t(x)];
    uint32_t mixed = 0;
    // Channel by channel, both opaque: the result stays opaque.
    for (const int shift : {0, 8, 16, 24}) {
        const uint32_t over = colour >> shift & 0xff, under = pixel >> shift & 0xff;
        mixed |= (over * coverage + under * (255u - coverage) + 127u) / 255u << shift;
    }
    pixel = mixed;
}

} // namespace Dispor::Labels
