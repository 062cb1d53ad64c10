// Coverage masks (one string per row, '#' for a covered pixel, so that a
// failing comparison shows the shape) and a cleared 64 x 48 device to draw on.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "kxtestdevice.h"

struct KxRowSpan {
    int32_t y, xFirst, xLast;
};

typedef std::vector<std::string> KxMask;

inline KxMask KxMaskFromSpans(const std::vector<KxRowSpan>& spans)
{
    KxMask mask(48, std::string(64, '.'));
    for (const KxRowSpan& span : spans)
        for (int32_t x = span.xFirst; x <= span.xLast; ++x)
            mask[size_t(span.y)][size_t(x)] = '#';
    return mask;
}

// Triangles (x, y pairs) whose coverage both fillers must produce, worked out
// row by row in 16.16.
typedef std::array<int32_t, 2> KxPoint2;

struct KxCoverageCase {
    std::array<KxPoint2, 3> v;
    std::vector<KxRowSpan> spans;
};

inline std::vector<KxCoverageCase> KxCoverageCases()
{
    KxCoverageCase flatTop{{{{10, 10}, {20, 10}, {15, 20}}}, {}}, flatBottom{{{{15, 10}, {10, 20}, {20, 20}}}, {}};
    for (int32_t i = 0; i <= 10; ++i) {
        flatTop.spans.push_back({10 + i, 10 + (i + 1) / 2, 20 - i / 2});
        flatBottom.spans.push_back({10 + i, 15 - i / 2, 15 + (i + 1) / 2});
    }
    // Split at row 6 at x = 14 (row 3 right edge: (10 << 16) + 3 x 43690).
    const KxCoverageCase general{{{{10, 0}, {2, 6}, {18, 12}}},
                                 {{0, 10, 10}, {1, 9, 11}, {2, 7, 11}, {3, 6, 12}, {4, 5, 13}, {5, 3, 13}, {6, 2, 14},
                                  {7, 5, 15}, {8, 7, 15}, {9, 10, 16}, {10, 13, 17}, {11, 15, 17}, {12, 18, 18}}};
    return {flatTop, flatBottom, general};
}

// Three of the six vertex orders: as given, reversed, rotated.
template <typename T>
std::vector<std::array<T, 3>> KxVertexOrders(const std::array<T, 3>& v)
{
    return {v, {v[2], v[1], v[0]}, {v[1], v[2], v[0]}};
}

struct KxDrawTest : ::testing::Test {
    static constexpr uint32_t kBackground = 0x203040;
    static constexpr uint32_t kWhite = 0xFFFFFF;

    void SetUp() override { Clear(); }
    void Clear() { t.device.Clear(0, nullptr, 3, kBackground, 1.0f, 0); }

    KxMask Painted() const
    {
        KxMask mask(48, std::string(64, '.'));
        for (int32_t y = 0; y < 48; ++y)
            for (int32_t x = 0; x < 64; ++x)
                if (t.Color(x, y) != kBackground)
                    mask[size_t(y)][size_t(x)] = '#';
        return mask;
    }

    // Every colour byte and depth entry, to show that nothing changed.
    std::vector<uint32_t> Frame() const
    {
        const uint8_t* p = t.device.GetPixels();
        std::vector<uint32_t> frame(p, p + t.device.GetRowStride() * 48);
        for (int32_t y = 0; y < 48; ++y)
            for (int32_t x = 0; x < 64; ++x)
                frame.push_back(t.device.GetDepth(x, y));
        return frame;
    }

    KxTestDevice t{64, 48};
};
