// Distilled inputs the fuzzers failed on. Most faults were undefined
// behaviour that only the sanitizer builds (make test-asan) turn into a
// failure; the expectations pin the pixels the calls must still draw.
#include <gtest/gtest.h>

#include "tests/render/kxtestdevice.h"

namespace {

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kFar = 65535;

struct FuzzRegression : ::testing::Test {
    FuzzRegression() { t.device.Clear(0, nullptr, KXCLEAR_TARGET | KXCLEAR_ZBUFFER, 0, 1.0f, 0); }

    KxTestDevice t{61, 47};
};

}  // namespace

// An edge 28321 columns wide over one row: the edge walkers stepped once more
// after the last row, and that step left the 16.16 range (signed overflow).
TEST_F(FuzzRegression, RasterizerEdgeWiderThanHalfTheFixedPointRange)
{
    t.device.RasterizeTriangle(12617, 30, 0.5f, -15704, 31, 0.5f, 20, 31, 0.5f, kWhite, kWhite, kWhite,
                               0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f);
    EXPECT_EQ(t.device.GetDepth(0, 31), 32768u);
    EXPECT_EQ(t.device.GetDepth(20, 31), 32768u);
    EXPECT_EQ(t.device.GetDepth(21, 31), kFar);
    EXPECT_EQ(t.device.GetDepth(60, 30), kFar);
}

TEST_F(FuzzRegression, GouraudEdgeWiderThanHalfTheFixedPointRange)
{
    t.device.FillGouraudTriangle(12617, 30, -15704, 31, 20, 31, kWhite, kWhite, kWhite);
    EXPECT_EQ(t.Color(0, 31), kWhite);
    EXPECT_EQ(t.Color(20, 31), kWhite);
    EXPECT_EQ(t.Color(21, 31), 0u);
}

// Both ends right of the frame: the clamped span is empty, but its start
// pixel's address was formed from 3 x 1050253722 (signed overflow).
TEST_F(FuzzRegression, HorizontalLineWhollyRightOfTheFrame)
{
    t.device.DrawHorizontalLine(1050253722, 2000000000, 10, kWhite);
    t.device.DrawHorizontalLine(100, 200, 11, kWhite);
    for (int32_t x = 0; x < 61; ++x) {
        EXPECT_EQ(t.Color(x, 10), 0u) << x;
        EXPECT_EQ(t.Color(x, 11), 0u) << x;
    }
}
