// Lines and pixels: what no filler reference reaches.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <functional>

#include "kxtestdevice.h"

namespace {

constexpr uint32_t kInk = 0x112233;

struct KxRect {
    int32_t xFirst, xLast, yFirst, yLast;
};

struct KxLineCase {
    std::function<void(KxSoftwareRenderDevice&)> draw;
    std::vector<KxRect> painted;
};

}  // namespace

TEST(Lines, PaintExactlyTheirPixels)
{
    const KxLineCase cases[] = {
        // Bresenham, x-major: err starts at 0 and steps y at once; backwards
        // the steps fall on other columns. y-major: err reaches exactly 0 on
        // the second row and does not step x.
        {[](auto& d) { d.DrawLine(0, 0, 4, 2, kInk); }, {{0, 0, 0, 0}, {1, 2, 1, 1}, {3, 4, 2, 2}}},
        {[](auto& d) { d.DrawLine(14, 2, 10, 0, kInk); }, {{10, 11, 0, 0}, {12, 13, 1, 1}, {14, 14, 2, 2}}},
        {[](auto& d) { d.DrawLine(20, 0, 21, 4, kInk); }, {{20, 20, 0, 2}, {21, 21, 3, 4}}},
        {[](auto& d) { d.DrawLine(-10, 5, 10, 5, kInk); }, {{0, 10, 5, 5}}},
        {[](auto& d) { d.DrawLine(30, 4, 30, 4, kInk); }, {{30, 30, 4, 4}}},  // length 0: one pixel
        {[](auto& d) { d.DrawHorizontalLine(70, -3, 2, kInk); }, {{0, 63, 2, 2}}},
        {[](auto& d) { d.DrawVerticalLine(5, 50, -10, kInk); }, {{5, 5, 0, 47}}},
        {[](auto& d) { d.DrawVerticalLine(7, INT_MAX, INT_MIN, kInk); }, {{7, 7, 0, 47}}},
        {[](auto& d) { d.PutPixel(63, 47, kInk); }, {{63, 63, 47, 47}}},
        // Wholly outside, or passing outside a corner.
        {[](auto& d) {
             for (auto [x, y] : {std::array{-1, 0}, {64, 0}, {0, -1}, {0, 48}, {INT_MIN, INT_MAX}})
                 d.PutPixel(x, y, kInk);
             for (int32_t y : {-1, 48})
                 d.DrawHorizontalLine(0, 63, y, kInk);
             d.DrawHorizontalLine(-20, -1, 5, kInk);
             for (int32_t x : {64, 1050253722})  // a fuzz find: 3 x overflowed forming the start
                 d.DrawHorizontalLine(x, INT_MAX, 5, kInk);
             d.DrawVerticalLine(-1, 0, 47, kInk);
             d.DrawVerticalLine(64, 0, 47, kInk);
             d.DrawLine(-10, -5, -1, 20, kInk);
             d.DrawLine(0, 48, 63, 100, kInk);
             d.DrawLine(-5, 3, 3, -5, kInk);
             d.DrawLine(INT_MIN, INT_MIN, INT_MAX, INT_MIN, kInk);
         },
         {}},
    };
    KxTestDevice t;
    for (const KxLineCase& c : cases) {
        t.device.Clear(0, nullptr, 3, 0, 1.0f, 0);
        c.draw(t.device);
        for (int32_t y = 0; y < 48; ++y)
            for (int32_t x = 0; x < 64; ++x) {
                bool bPainted = false;
                for (const KxRect& r : c.painted)
                    bPainted |= x >= r.xFirst && x <= r.xLast && y >= r.yFirst && y <= r.yLast;
                ASSERT_EQ(t.Color(x, y), bPainted ? kInk : 0u) << &c - cases << ": " << x << ", " << y;
                ASSERT_EQ(t.device.GetDepth(x, y), 65535u);
            }
    }
}
