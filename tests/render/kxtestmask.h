// Coverage masks: one string per row, '#' for a covered pixel, so that a
// failing comparison shows the shape.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct KxRowSpan {
    int32_t y, xFirst, xLast;
};

typedef std::vector<std::string> KxMask;

inline KxMask KxMaskFromSpans(int32_t width, int32_t height, const std::vector<KxRowSpan>& spans)
{
    KxMask mask(size_t(height), std::string(size_t(width), '.'));
    for (const KxRowSpan& span : spans)
        for (int32_t x = span.xFirst; x <= span.xLast; ++x)
            mask[size_t(span.y)][size_t(x)] = '#';
    return mask;
}

template <typename Covered>
KxMask KxMaskOf(int32_t width, int32_t height, Covered covered)
{
    KxMask mask(size_t(height), std::string(size_t(width), '.'));
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            if (covered(x, y))
                mask[size_t(y)][size_t(x)] = '#';
    return mask;
}
