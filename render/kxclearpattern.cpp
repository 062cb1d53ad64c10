#include "render/kxclearpattern.h"

#include <algorithm>
#include <cstring>

void KxClearPattern::Prepare(uint32_t color, int32_t width, int32_t rowStride)
{
    if (lines.empty() || color != patternColor || width != patternWidth || rowStride != patternStride)
        Build(color, width, rowStride);
}

void KxClearPattern::FillRows(uint8_t* pixels, int32_t rowStride, int32_t first, int32_t end) const
{
    // The source stays in the cache; blocks of a few rows, from and to
    // cache-line starts, let the processor copy whole lines.
    for (int32_t y = first; y < end; y += kRows) {
        const int32_t rows = std::min(kRows, end - y);
        std::memcpy(pixels + size_t(y) * size_t(rowStride), Bytes(), size_t(rows) * size_t(rowStride));
    }
}

void KxClearPattern::Build(uint32_t color, int32_t width, int32_t rowStride)
{
    patternColor = color;
    patternWidth = width;
    patternStride = rowStride;
    const size_t bytes = size_t(rowStride) * kRows;
    lines.assign((bytes + sizeof(KxCacheLine) - 1) / sizeof(KxCacheLine), KxCacheLine{});
    for (int32_t y = 0; y < kRows; ++y) {
        uint8_t* row = Bytes() + size_t(y) * size_t(rowStride);
        for (int32_t x = 0; x < width; ++x) {
            row[3 * size_t(x) + 0] = uint8_t(color >> 16);
            row[3 * size_t(x) + 1] = uint8_t(color >> 8);
            row[3 * size_t(x) + 2] = uint8_t(color);
        }
    }
}
