// Distilled inputs the fuzzers failed on. Most faults were undefined
// behaviour that only the sanitizer builds (make test-asan) turn into a
// failure; the expectations pin the pixels the calls must still draw.
#include <gtest/gtest.h>

#include <tuple>

#include "tests/render/kxtestdevice.h"

namespace {

constexpr uint32_t kWhite = 0xFFFFFF;

}  // namespace

// An edge 28321 columns wide over one row: the edge walkers stepped once more
// after the last row, and that step left the 16.16 range (signed overflow).
// The rasteriser (no texture bound: depth only) and the Gouraud filler both
// draw row 31 up to x = 20.
TEST(FuzzRegression, EdgeWiderThanHalfTheFixedPointRange)
{
    for (bool bRasterizer : {false, true}) {
        KxTestDevice t(61, 47);
        t.device.Clear(0, nullptr, KXCLEAR_TARGET | KXCLEAR_ZBUFFER, 0, 1.0f, 0);
        if (bRasterizer)
            t.device.RasterizeTriangle(12617, 30, 0.5f, -15704, 31, 0.5f, 20, 31, 0.5f, kWhite, kWhite, kWhite, 0, 0,
                                       0, 0, 0, 0, 1, 1, 1);
        else
            t.device.FillGouraudTriangle(12617, 30, -15704, 31, 20, 31, kWhite, kWhite, kWhite);
        auto at = [&](int32_t x, int32_t y) { return bRasterizer ? t.device.GetDepth(x, y) : t.Color(x, y); };
        const uint32_t drawn = bRasterizer ? 32768 : kWhite, untouched = bRasterizer ? 65535 : 0;
        for (auto [x, y, expected] : {std::tuple{0, 31, drawn}, {20, 31, drawn}, {21, 31, untouched}, {60, 30, untouched}})
            EXPECT_EQ(at(x, y), expected) << bRasterizer << " " << x << ", " << y;
    }
}

// Both ends right of the frame: the clamped span is empty, but its start
// pixel's address was formed from 3 x 1050253722 (signed overflow).
TEST(FuzzRegression, HorizontalLineWhollyRightOfTheFrame)
{
    KxTestDevice t(61, 47);
    t.device.Clear(0, nullptr, KXCLEAR_TARGET, 0, 1.0f, 0);
    t.device.DrawHorizontalLine(1050253722, 2000000000, 10, kWhite);
    t.device.DrawHorizontalLine(100, 200, 11, kWhite);
    for (int32_t x = 0; x < 61; ++x)
        ASSERT_TRUE(t.Color(x, 10) == 0 && t.Color(x, 11) == 0) << x;
}
