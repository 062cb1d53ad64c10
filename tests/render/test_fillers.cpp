#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "kxtestbmp.h"
#include "kxtestmask.h"

namespace {

struct KxFillerTest : KxDrawTest {
    void Fill(const std::array<KxPoint2, 3>& v, uint32_t c0 = kWhite, uint32_t c1 = kWhite, uint32_t c2 = kWhite)
    {
        t.device.FillGouraudTriangle(v[0][0], v[0][1], v[1][0], v[1][1], v[2][0], v[2][1], c0, c1, c2);
    }
};

// The Gouraud filler and the textured rasteriser (a white texel, depth 0.5)
// walk their edges alike: the same coverage, split and range rules.
struct KxBothFillersTest : KxFillerTest, ::testing::WithParamInterface<bool> {
    void SetUp() override
    {
        KxFillerTest::SetUp();
        t.device.SetTexture(0, &white);
    }

    void Fill(const std::array<KxPoint2, 3>& v, uint32_t c = kWhite)
    {
        if (!GetParam())
            return KxFillerTest::Fill(v, c, c, c);
        t.device.RasterizeTriangle(v[0][0], v[0][1], 0.5f, v[1][0], v[1][1], 0.5f, v[2][0], v[2][1], 0.5f, c, c, c,
                                   0, 0, 0, 0, 0, 0, 1, 1, 1);
    }

    KxTexture white{KxWriteTempFile("fillers.bmp", KxBmpFromTexels(1, 1, {kWhite})).c_str(), nullptr, 3};
};

INSTANTIATE_TEST_SUITE_P(Fillers, KxBothFillersTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Rasterizer" : "Gouraud"; });

}  // namespace

TEST_P(KxBothFillersTest, CoverageInSeveralVertexOrders)
{
    for (const KxCoverageCase& c : KxCoverageCases()) {
        for (const auto& order : KxVertexOrders(c.v)) {
            Clear();
            Fill(order);
            ASSERT_EQ(Painted(), KxMaskFromSpans(c.spans));
        }
    }
}

TEST_P(KxBothFillersTest, SplitVertexTruncatesTheSlopeBeforeMultiplying)
{
    // Long edge (20,0)-(21,6) at row 3: 3 x ((1 << 16) / 6) = 32766 rounds
    // to x = 20, where the exact 0.5 would round to 21.
    Fill({{{20, 0}, {15, 3}, {21, 6}}});
    EXPECT_NE(t.Color(20, 3), kBackground);
    EXPECT_EQ(t.Color(21, 3), kBackground);
}

TEST_P(KxBothFillersTest, BothTrianglesDrawTheirSharedEdge)
{
    // At the same depth the second triangle passes on the edge.
    Fill({{{0, 0}, {10, 0}, {10, 10}}}, 0xFF0000);
    const uint32_t first = t.Color(10, 0);
    for (int32_t i = 0; i <= 10; ++i)
        ASSERT_EQ(t.Color(i, i), first) << i;
    Fill({{{0, 0}, {0, 10}, {10, 10}}}, 0x00FF00);
    const uint32_t second = t.Color(0, 10);
    EXPECT_NE(second, first);
    for (int32_t i = 0; i <= 10; ++i)
        ASSERT_EQ(t.Color(i, i), second) << i;
    EXPECT_EQ(t.Color(10, 0), first);
}

TEST_P(KxBothFillersTest, TrianglesOnOneRowOrBeyondTheFixedPointRangeDrawNothing)
{
    const int32_t limit = KxSoftwareRenderDevice::kMaxScreenCoordinate;
    const std::vector<uint32_t> before = Frame();
    Fill({{{5, 5}, {10, 5}, {20, 5}}});
    Fill({{{0, 0}, {limit, 0}, {0, 30}}});
    Fill({{{0, 0}, {10, 0}, {0, -limit}}});
    Fill({{{-limit, 5}, {10, 0}, {0, 30}}});
    Fill({{{INT32_MIN, INT32_MIN}, {INT32_MAX, 0}, {0, INT32_MAX}}});
    EXPECT_EQ(Frame(), before);

    // Just inside the range: rows 0 to 29 reach past the right edge, row 30
    // is the apex.
    Fill({{{0, 0}, {limit - 1, 0}, {0, 30}}});
    std::vector<KxRowSpan> spans = {{30, 0, 0}};
    for (int32_t y = 0; y < 30; ++y)
        spans.push_back({y, 0, 63});
    EXPECT_EQ(Painted(), KxMaskFromSpans(spans));
}

TEST_F(KxFillerTest, BothHalvesOfASplitTriangleFillTheSplitRow)
{
    const std::vector<KxRowSpan> all = KxCoverageCases()[2].spans;
    t.device.FillFlatBottomTriangle(10, 0, 2, 6, 14, 6, kWhite, kWhite, kWhite);
    EXPECT_EQ(Painted(), KxMaskFromSpans({all.begin(), all.begin() + 7}));
    Clear();
    t.device.FillFlatTopTriangle(14, 6, 2, 6, 18, 12, kWhite, kWhite, kWhite);
    EXPECT_EQ(Painted(), KxMaskFromSpans({all.begin() + 6, all.end()}));
}

TEST_F(KxFillerTest, GouraudColoursAtTheVerticesAndTheSplit)
{
    // Black at the top, white at the bottom: the split colour on the long
    // edge is (6 x ((255 << 16) / 12) + 0x8000) >> 16 = 128 per channel.
    Fill({{{10, 0}, {2, 6}, {18, 12}}}, 0x000000, 0x0000FF, 0xFFFFFF);
    EXPECT_EQ(t.Color(10, 0), 0x000000u);
    EXPECT_EQ(t.Color(2, 6), 0x0000FFu);
    EXPECT_EQ(t.Color(14, 6), 0x808080u);
    EXPECT_EQ(t.Color(18, 12), 0xFFFFFFu);
    EXPECT_EQ(t.Color(7, 3), 0x0B0B75u);  // a span of the upper half: 0x000080 at x = 6 to 0x404040 at x = 12
}

TEST_F(KxFillerTest, HalvesSpansLinesAndPixelsOutsideTheirRangeDrawNothing)
{
    KxSoftwareRenderDevice& d = t.device;
    // Halves on one row (y0 = y1, y0 = y2) or beyond the fixed-point range.
    d.FillFlatTopTriangle(5, 5, 10, 5, 20, 5, kWhite, kWhite, kWhite);
    d.FillFlatBottomTriangle(5, 5, 10, 5, 20, 9, kWhite, kWhite, kWhite);
    d.FillFlatTopTriangle(5, 5, 10, 9, 20, 5, kWhite, kWhite, kWhite);
    d.FillFlatBottomTriangle(0, 0, -20, INT32_MAX, 20, INT32_MAX, kWhite, kWhite, kWhite);
    d.FillFlatTopTriangle(-20, 0, 20, 0, 0, KxSoftwareRenderDevice::kMaxScreenCoordinate, kWhite, kWhite, kWhite);
    // Spans, lines and pixels wholly outside.
    for (int32_t y : {-1, 48}) {
        d.DrawGouraudSpan(0, 63, y, kWhite, kWhite);
        d.DrawHorizontalLine(0, 63, y, kWhite);
    }
    d.DrawGouraudSpan(-20, -1, 5, kWhite, kWhite);
    d.DrawGouraudSpan(64, 90, 5, kWhite, kWhite);
    d.DrawHorizontalLine(-20, -1, 5, kWhite);
    d.DrawHorizontalLine(64, INT32_MAX, 5, kWhite);
    d.DrawVerticalLine(-1, 0, 47, kWhite);
    d.DrawVerticalLine(64, 0, 47, kWhite);
    for (auto [x, y] : {KxPoint2{-1, 0}, {64, 0}, {0, -1}, {0, 48}, {INT32_MIN, INT32_MAX}})
        d.PutPixel(x, y, kWhite);
    d.DrawLine(-10, -5, -1, 20, kWhite);  // wholly left
    d.DrawLine(0, 48, 63, 100, kWhite);   // wholly below
    d.DrawLine(-5, 3, 3, -5, kWhite);     // passes outside the corner
    d.DrawLine(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MIN, kWhite);
    EXPECT_EQ(Painted(), KxMaskFromSpans({}));
}

TEST_F(KxFillerTest, SpansAreOrderedClampedAndInterpolatedPerChannel)
{
    // Blue at x = 3 to green at x = 7: gradients of -/+ 63.75 per pixel.
    t.device.DrawGouraudSpan(7, 3, 1, 0x00FF00, 0xFF0000);
    const uint32_t expected[] = {0xFF0000, 0xBF4000, 0x808000, 0x40BF00, 0x00FF00};
    for (int32_t i = 0; i < 5; ++i)
        EXPECT_EQ(t.Color(3 + i, 1), expected[i]) << i;
    // Clamped at the left the span starts with its first colour; n = 5 after
    // the clamp gives a gradient of 51 << 16 per pixel.
    t.device.DrawGouraudSpan(-5, 5, 3, 0x000000, 0xFFFFFF);
    for (uint32_t x = 0; x <= 5; ++x)
        EXPECT_EQ(t.Color(int32_t(x), 3), 51 * x * 0x010101u) << x;
    t.device.DrawGouraudSpan(60, 100, 2, 0x000000, 0xFFFFFF);  // clamped at 63, gradient over 3
    EXPECT_EQ(t.Color(63, 2), 0xFFFFFFu);
    EXPECT_EQ(Painted(), KxMaskFromSpans({{1, 3, 7}, {3, 0, 5}, {2, 60, 63}}));
}

TEST_F(KxFillerTest, LinesAndPixelsAreClippedToTheBuffer)
{
    t.device.DrawHorizontalLine(70, -3, 2, 0x112233);
    t.device.DrawVerticalLine(5, 50, -10, 0x445566);
    t.device.DrawVerticalLine(7, INT32_MAX, INT32_MIN, 0x778899);
    t.device.DrawLine(-10, 5, 10, 5, kWhite);
    t.device.DrawLine(30, 4, 30, 4, kWhite);  // length 0: one pixel
    t.device.PutPixel(40, 40, 0xAABBCC);
    std::vector<KxRowSpan> spans = {{2, 0, 63}, {5, 0, 10}, {4, 30, 30}, {40, 40, 40}};
    for (int32_t y = 0; y < 48; ++y) {
        spans.push_back({y, 5, 5});
        spans.push_back({y, 7, 7});
    }
    EXPECT_EQ(Painted(), KxMaskFromSpans(spans));
    EXPECT_EQ(t.Color(0, 2), 0x112233u);
    EXPECT_EQ(t.Color(5, 47), 0x445566u);
    EXPECT_EQ(t.Color(7, 0), 0x778899u);
    EXPECT_EQ(t.Color(40, 40), 0xAABBCCu);
}

TEST_F(KxFillerTest, BresenhamTiesStepAsWritten)
{
    // x-major, err starts at 0 and steps y at once; backwards the steps fall
    // on other columns. y-major: err reaches exactly 0 on the second row and
    // does not step x.
    t.device.DrawLine(0, 0, 4, 2, kWhite);
    t.device.DrawLine(14, 2, 10, 0, kWhite);
    t.device.DrawLine(20, 0, 21, 4, kWhite);
    EXPECT_EQ(Painted(), KxMaskFromSpans({{0, 0, 0}, {1, 1, 2}, {2, 3, 4}, {0, 10, 11}, {1, 12, 13}, {2, 14, 14},
                                          {0, 20, 20}, {1, 20, 20}, {2, 20, 20}, {3, 21, 21}, {4, 21, 21}}));
}

TEST(ClipLine, EndpointsMoveToTheEdgesWithRounding)
{
    const struct {
        int32_t in[4];
        int32_t rect[4];  // xmin, xmax, ymin, ymax
        bool bVisible;
        std::array<int32_t, 4> out;
    } cases[] = {
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
        {{-5, 3, -1, 40}, {0, 63, 0, 47}, false, {}},  // both ends on one outside side
        {{-5, 3, 3, -5}, {0, 63, 0, 47}, false, {}},   // moved to x = 0 it lands at y = -1
        // The rounding makes the outside end bounce between two edges; what
        // stays is the end already inside.
        {{1, 2, -2, -1}, {-12, -2, -7, -1}, true, {-2, -1, -2, -1}},
        {{-22, -30, 75, 115}, {-6, -6, -7, -6}, true, {-6, -6, -6, -6}},
    };
    for (const auto& c : cases) {
        std::array<int32_t, 4> p = {c.in[0], c.in[1], c.in[2], c.in[3]};
        const bool bVisible = KxSoftwareRenderDevice::ClipLine(p[0], p[1], p[2], p[3], c.rect[0], c.rect[1],
                                                               c.rect[2], c.rect[3]);
        EXPECT_EQ(bVisible, c.bVisible) << c.in[0] << "," << c.in[1] << " " << c.in[2] << "," << c.in[3];
        if (bVisible && c.bVisible) {
            EXPECT_EQ(p, c.out) << c.in[0] << "," << c.in[1] << " " << c.in[2] << "," << c.in[3];
        }
    }
}
