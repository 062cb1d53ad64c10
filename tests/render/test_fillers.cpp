#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "kxtestdevice.h"
#include "kxtestmask.h"

namespace {

constexpr uint32_t kBackground = 0x203040;
constexpr uint32_t kWhite = 0xFFFFFF;

struct KxFillerTest : ::testing::Test {
    KxTestDevice t{64, 48};

    void SetUp() override { t.device.Clear(0, nullptr, 3, kBackground, 1.0f, 0); }

    KxMask Painted() const
    {
        return KxMaskOf(64, 48, [this](int32_t x, int32_t y) { return t.Color(x, y) != kBackground; });
    }

    KxMask Mask(const std::vector<KxRowSpan>& spans) const { return KxMaskFromSpans(64, 48, spans); }

    std::vector<uint8_t> Snapshot() const
    {
        const uint8_t* p = t.device.GetPixels();
        return std::vector<uint8_t>(p, p + t.device.GetRowStride() * t.device.GetHeight());
    }

    void Fill(const std::array<int32_t, 6>& v, uint32_t c0 = kWhite, uint32_t c1 = kWhite, uint32_t c2 = kWhite)
    {
        t.device.FillGouraudTriangle(v[0], v[1], v[2], v[3], v[4], v[5], c0, c1, c2);
    }
};

// The six orders of the three vertices (x, y pairs) of a triangle.
std::vector<std::array<int32_t, 6>> Orders(std::array<int32_t, 6> v)
{
    std::array<int, 3> index = {0, 1, 2};
    std::vector<std::array<int32_t, 6>> orders;
    do {
        orders.push_back({v[2 * index[0]], v[2 * index[0] + 1], v[2 * index[1]], v[2 * index[1] + 1],
                          v[2 * index[2]], v[2 * index[2] + 1]});
    } while (std::next_permutation(index.begin(), index.end()));
    return orders;
}

// Coverage of (10,0), (2,6), (18,12): split at row 6 at x = 14, worked out
// row by row in 16.16 (e.g. row 3 right edge: (10 << 16) + 3 x 43690).
std::vector<KxRowSpan> GeneralTriangleSpans()
{
    return {{0, 10, 10}, {1, 9, 11},  {2, 7, 11},  {3, 6, 12},  {4, 5, 13},  {5, 3, 13}, {6, 2, 14},
            {7, 5, 15},  {8, 7, 15},  {9, 10, 16}, {10, 13, 17}, {11, 15, 17}, {12, 18, 18}};
}

}  // namespace

TEST_F(KxFillerTest, FlatTopTriangleCoverageInEveryVertexOrder)
{
    // (10,10), (20,10), (15,20): edges at 20 - i/2 and 10 + (i + 1)/2 on row 10 + i.
    std::vector<KxRowSpan> spans;
    for (int32_t i = 0; i <= 10; ++i)
        spans.push_back({10 + i, 10 + (i + 1) / 2, 20 - i / 2});
    for (const auto& order : Orders({10, 10, 20, 10, 15, 20})) {
        SetUp();
        Fill(order);
        ASSERT_EQ(Painted(), Mask(spans));
    }
}

TEST_F(KxFillerTest, FlatBottomTriangleCoverageInEveryVertexOrder)
{
    std::vector<KxRowSpan> spans;
    for (int32_t i = 0; i <= 10; ++i)
        spans.push_back({10 + i, 15 - i / 2, 15 + (i + 1) / 2});
    for (const auto& order : Orders({15, 10, 10, 20, 20, 20})) {
        SetUp();
        Fill(order);
        ASSERT_EQ(Painted(), Mask(spans));
    }
}

TEST_F(KxFillerTest, GeneralTriangleIsSplitAndBothHalvesFillTheSplitRow)
{
    for (const auto& order : Orders({10, 0, 2, 6, 18, 12})) {
        SetUp();
        Fill(order);
        ASSERT_EQ(Painted(), Mask(GeneralTriangleSpans()));
    }

    // The halves on their own, with the split vertex (14, 6).
    const std::vector<KxRowSpan> all = GeneralTriangleSpans();
    SetUp();
    t.device.FillFlatBottomTriangle(10, 0, 2, 6, 14, 6, kWhite, kWhite, kWhite);
    EXPECT_EQ(Painted(), Mask({all.begin(), all.begin() + 7}));
    SetUp();
    t.device.FillFlatTopTriangle(14, 6, 2, 6, 18, 12, kWhite, kWhite, kWhite);
    EXPECT_EQ(Painted(), Mask({all.begin() + 6, all.end()}));
}

TEST_F(KxFillerTest, SplitVertexTruncatesTheSlopeBeforeMultiplying)
{
    // Long edge (20,0)-(21,6) at row 3: 3 x ((1 << 16) / 6) = 32766 rounds
    // to x = 20, where the exact 0.5 would round to 21.
    Fill({20, 0, 15, 3, 21, 6});
    EXPECT_EQ(t.Color(20, 3), kWhite);
    EXPECT_EQ(t.Color(21, 3), kBackground);
}

TEST_F(KxFillerTest, GouraudColoursAtTheVerticesAndTheSplit)
{
    // Black at the top, white at the bottom: the split colour on the long
    // edge is (6 x ((255 << 16) / 12) + 0x8000) >> 16 = 128 per channel.
    Fill({10, 0, 2, 6, 18, 12}, 0x000000, 0x0000FF, 0xFFFFFF);
    EXPECT_EQ(t.Color(10, 0), 0x000000u);
    EXPECT_EQ(t.Color(2, 6), 0x0000FFu);
    EXPECT_EQ(t.Color(14, 6), 0x808080u);
    EXPECT_EQ(t.Color(18, 12), 0xFFFFFFu);

    SetUp();
    Fill({0, 0, 4, 0, 0, 4}, 0x112233, 0x112233, 0x112233);
    const uint8_t* p = t.Pixel(1, 1);
    EXPECT_EQ(p[0], 0x11);  // blue byte first
    EXPECT_EQ(p[1], 0x22);
    EXPECT_EQ(p[2], 0x33);
}

TEST_F(KxFillerTest, TrianglesOnOneRowDrawNothing)
{
    const std::vector<uint8_t> before = Snapshot();
    Fill({5, 5, 10, 5, 20, 5});
    t.device.FillFlatTopTriangle(5, 5, 10, 5, 20, 5, kWhite, kWhite, kWhite);
    t.device.FillFlatBottomTriangle(5, 5, 10, 5, 20, 5, kWhite, kWhite, kWhite);
    t.device.FillFlatBottomTriangle(5, 5, 10, 5, 20, 9, kWhite, kWhite, kWhite);  // y0 = y1
    t.device.FillFlatTopTriangle(5, 5, 10, 9, 20, 5, kWhite, kWhite, kWhite);     // y0 = y2
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(KxFillerTest, BothTrianglesDrawTheirSharedEdge)
{
    Fill({0, 0, 10, 0, 10, 10}, 0xFF0000, 0xFF0000, 0xFF0000);
    for (int32_t i = 0; i <= 10; ++i)
        ASSERT_EQ(t.Color(i, i), 0xFF0000u) << i;
    Fill({0, 0, 0, 10, 10, 10}, 0x00FF00, 0x00FF00, 0x00FF00);
    for (int32_t i = 0; i <= 10; ++i)
        ASSERT_EQ(t.Color(i, i), 0x00FF00u) << i;
    EXPECT_EQ(t.Color(10, 0), 0xFF0000u);
    EXPECT_EQ(t.Color(0, 10), 0x00FF00u);
}

TEST_F(KxFillerTest, SpanClampedAtTheLeftStartsWithItsFirstColour)
{
    // n = 5 after the clamp: the gradient is 51 << 16 per pixel.
    t.device.DrawGouraudSpan(-5, 5, 3, 0x000000, 0xFFFFFF);
    for (uint32_t x = 0; x <= 5; ++x)
        EXPECT_EQ(t.Color(int32_t(x), 3), 51 * x * 0x010101u) << x;
    EXPECT_EQ(t.Color(6, 3), kBackground);
}

TEST_F(KxFillerTest, SpanEndsAreOrderedAndChannelsInterpolateApart)
{
    // Blue at x = 3 to green at x = 7: gradients of -/+ 63.75 per pixel.
    t.device.DrawGouraudSpan(7, 3, 1, 0x00FF00, 0xFF0000);
    const uint32_t expected[] = {0xFF0000, 0xBF4000, 0x808000, 0x40BF00, 0x00FF00};
    for (int32_t i = 0; i < 5; ++i)
        EXPECT_EQ(t.Color(3 + i, 1), expected[i]) << i;
    EXPECT_EQ(t.Color(2, 1), kBackground);
    EXPECT_EQ(t.Color(8, 1), kBackground);

    SetUp();
    t.device.DrawGouraudSpan(60, 100, 2, 0x000000, 0xFFFFFF);  // clamped at 63, gradient over 3
    EXPECT_EQ(t.Color(63, 2), 0xFFFFFFu);
}

TEST_F(KxFillerTest, SpansAndHorizontalLinesOutsideTheBufferDrawNothing)
{
    const std::vector<uint8_t> before = Snapshot();
    for (int32_t y : {-1, 48}) {
        t.device.DrawGouraudSpan(0, 63, y, kWhite, kWhite);
        t.device.DrawHorizontalLine(0, 63, y, kWhite);
    }
    t.device.DrawGouraudSpan(-20, -1, 5, kWhite, kWhite);
    t.device.DrawGouraudSpan(64, 90, 5, kWhite, kWhite);
    t.device.DrawHorizontalLine(-20, -1, 5, kWhite);
    t.device.DrawHorizontalLine(64, INT32_MAX, 5, kWhite);
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(KxFillerTest, HorizontalAndVerticalLinesAreClippedToTheBuffer)
{
    t.device.DrawHorizontalLine(70, -3, 2, 0x112233);
    t.device.DrawVerticalLine(5, 50, -10, 0x445566);
    t.device.DrawVerticalLine(7, INT32_MAX, INT32_MIN, 0x778899);
    t.device.DrawVerticalLine(-1, 0, 47, kWhite);
    t.device.DrawVerticalLine(64, 0, 47, kWhite);
    std::vector<KxRowSpan> spans = {{2, 0, 63}};
    for (int32_t y = 0; y < 48; ++y) {
        spans.push_back({y, 5, 5});
        spans.push_back({y, 7, 7});
    }
    EXPECT_EQ(Painted(), Mask(spans));
    EXPECT_EQ(t.Color(0, 2), 0x112233u);
    EXPECT_EQ(t.Color(5, 47), 0x445566u);
    EXPECT_EQ(t.Color(7, 0), 0x778899u);
}

TEST_F(KxFillerTest, PutPixelWritesInsideAndSkipsOutside)
{
    t.device.PutPixel(1, 1, 0x112233);
    EXPECT_EQ(t.Pixel(1, 1)[0], 0x11);
    EXPECT_EQ(t.Pixel(1, 1)[1], 0x22);
    EXPECT_EQ(t.Pixel(1, 1)[2], 0x33);
    const std::vector<uint8_t> before = Snapshot();
    const std::vector<std::pair<int32_t, int32_t>> outside = {{-1, 0}, {64, 0}, {0, -1}, {0, 48}, {INT32_MIN, INT32_MAX}};
    for (auto [x, y] : outside)
        t.device.PutPixel(x, y, kWhite);
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(KxFillerTest, LinesAreClippedToTheBuffer)
{
    t.device.DrawLine(-10, 5, 10, 5, kWhite);
    EXPECT_EQ(Painted(), Mask({{5, 0, 10}}));

    SetUp();
    const std::vector<uint8_t> before = Snapshot();
    t.device.DrawLine(-10, -5, -1, 20, kWhite);  // wholly left
    t.device.DrawLine(0, 48, 63, 100, kWhite);   // wholly below
    t.device.DrawLine(-5, 3, 3, -5, kWhite);     // passes outside the corner
    t.device.DrawLine(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MIN, kWhite);
    EXPECT_EQ(Snapshot(), before);

    t.device.DrawLine(3, 4, 3, 4, kWhite);  // length 0: one pixel
    EXPECT_EQ(Painted(), Mask({{4, 3, 3}}));
}

TEST_F(KxFillerTest, BresenhamTiesStepAsWritten)
{
    // x-major, err starts at 0 and steps y at once; backwards the steps fall
    // on other columns.
    t.device.DrawLine(0, 0, 4, 2, kWhite);
    EXPECT_EQ(Painted(), Mask({{0, 0, 0}, {1, 1, 2}, {2, 3, 4}}));
    SetUp();
    t.device.DrawLine(4, 2, 0, 0, kWhite);
    EXPECT_EQ(Painted(), Mask({{0, 0, 1}, {1, 2, 3}, {2, 4, 4}}));
    // y-major: err reaches exactly 0 on the second row and does not step x.
    SetUp();
    t.device.DrawLine(0, 0, 1, 4, kWhite);
    EXPECT_EQ(Painted(), Mask({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 1, 1}, {4, 1, 1}}));
}

TEST(ClipLine, EndpointsMoveToTheEdgesWithRounding)
{
    struct Case {
        int32_t in[4];
        int32_t rect[4];  // xmin, xmax, ymin, ymax
        bool bVisible;
        int32_t out[4];
    };
    const Case cases[] = {
        // Inside: unchanged.
        {{1, 2, 30, 40}, {0, 63, 0, 47}, true, {1, 2, 30, 40}},
        // y = 5/20 x 10 + 0 + 0.5 = 3 after truncation.
        {{-10, 0, 10, 5}, {0, 63, 0, 47}, true, {0, 3, 10, 5}},
        // x = 5/20 x 10 + 5 + 0.5 = 8 after truncation.
        {{5, -10, 10, 10}, {0, 63, 0, 47}, true, {8, 0, 10, 10}},
        // Through two corners: the leftover region bits move each end twice.
        {{-10, -10, 100, 100}, {0, 63, 0, 47}, true, {0, 0, 47, 47}},
        // Moving to y = 0 puts x on the edge; the leftover bit 1 then faces
        // a vertical segment, and the end stays.
        {{-1, -100, 0, 100}, {0, 63, 0, 150}, true, {0, 0, 0, 100}},
        // Both ends on one outside side.
        {{-5, 3, -1, 40}, {0, 63, 0, 47}, false, {}},
        // Outside the corner: moved to x = 0 it lands at y = -1.
        {{-5, 3, 3, -5}, {0, 63, 0, 47}, false, {}},
        // The rounding makes the outside end bounce between two edges; what
        // stays is the end already inside.
        {{1, 2, -2, -1}, {-12, -2, -7, -1}, true, {-2, -1, -2, -1}},
        {{-22, -30, 75, 115}, {-6, -6, -7, -6}, true, {-6, -6, -6, -6}},
    };
    for (const Case& c : cases) {
        int32_t x0 = c.in[0], y0 = c.in[1], x1 = c.in[2], y1 = c.in[3];
        const bool bVisible = KxSoftwareRenderDevice::ClipLine(x0, y0, x1, y1, c.rect[0], c.rect[1], c.rect[2], c.rect[3]);
        ASSERT_EQ(bVisible, c.bVisible) << c.in[0] << "," << c.in[1] << " " << c.in[2] << "," << c.in[3];
        if (bVisible) {
            EXPECT_EQ(x0, c.out[0]);
            EXPECT_EQ(y0, c.out[1]);
            EXPECT_EQ(x1, c.out[2]);
            EXPECT_EQ(y1, c.out[3]);
        }
    }
}

TEST_F(KxFillerTest, TrianglesBeyondTheFixedPointRangeAreNotDrawn)
{
    const std::vector<uint8_t> before = Snapshot();
    Fill({0, 0, 16384, 0, 0, 30});
    Fill({0, 0, 10, 0, 0, -16384});
    Fill({-16384, 5, 10, 0, 0, 30});
    Fill({INT32_MIN, INT32_MIN, INT32_MAX, 0, 0, INT32_MAX});
    t.device.FillFlatBottomTriangle(0, 0, -20, INT32_MAX, 20, INT32_MAX, kWhite, kWhite, kWhite);
    t.device.FillFlatTopTriangle(-20, 0, 20, 0, 0, 16384, kWhite, kWhite, kWhite);
    EXPECT_EQ(Snapshot(), before);

    // Just inside the range the arithmetic holds: rows 0 to 29 reach past
    // the right edge, row 30 is the apex.
    Fill({0, 0, 16383, 0, 0, 30});
    std::vector<KxRowSpan> spans = {{30, 0, 0}};
    for (int32_t y = 0; y < 30; ++y)
        spans.push_back({y, 0, 63});
    EXPECT_EQ(Painted(), Mask(spans));
}
