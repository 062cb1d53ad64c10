#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "kxtestbmp.h"
#include "kxtestdevice.h"
#include "kxtestmask.h"

namespace {

constexpr uint32_t kBackground = 0x203040;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kWhiteTexel = 0xFEFEFE;  // a white texel under a white vertex: 255 -> 254
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

struct KxVertex {
    int32_t x, y;
    float z = 0.5f;
    uint32_t color = kWhite;
    float uOverW = 0.0f, vOverW = 0.0f, invW = 1.0f;
};

struct KxRasterizerTest : ::testing::Test {
    KxTestDevice t{64, 48};
    std::vector<std::unique_ptr<KxTexture>> textures;

    void SetUp() override { t.device.Clear(0, nullptr, 3, kBackground, 1.0f, 0); }

    // A texture of one row of texels, written to a file of its own.
    KxTexture* Texture(const std::vector<uint32_t>& row)
    {
        const std::string name = "raster" + std::to_string(textures.size()) + ".bmp";
        const std::string path = KxWriteTempFile(name, KxBmpFromTexels(int32_t(row.size()), 1, row));
        textures.push_back(std::make_unique<KxTexture>(path.c_str(), t.device.GetPixels(), 3));
        EXPECT_TRUE(textures.back()->IsLoaded());
        return textures.back().get();
    }

    void Triangle(const KxVertex& a, const KxVertex& b, const KxVertex& c)
    {
        t.device.RasterizeTriangle(a.x, a.y, a.z, b.x, b.y, b.z, c.x, c.y, c.z, a.color, b.color, c.color,
                                   a.uOverW, a.vOverW, b.uOverW, b.vOverW, c.uOverW, c.vOverW,
                                   a.invW, b.invW, c.invW);
    }

    // A span whose two ends share v's texture attributes.
    void Span(int32_t xA, int32_t xB, int32_t y, float zA, float zB, uint32_t colorA, uint32_t colorB,
              const KxVertex& v = {0, 0})
    {
        t.device.RasterizeSpan(xA, xB, y, zA, zB, colorA, colorB, v.uOverW, v.vOverW, v.uOverW, v.vOverW,
                               v.invW, v.invW);
    }

    void Pixel(int32_t x, int32_t y, float z, uint32_t color = kWhite, const KxVertex& v = {0, 0})
    {
        Span(x, x, y, z, z, color, color, v);
    }

    KxMask Painted() const
    {
        return KxMaskOf(64, 48, [this](int32_t x, int32_t y) { return t.Color(x, y) != kBackground; });
    }

    std::vector<uint8_t> Colors() const
    {
        const uint8_t* p = t.device.GetPixels();
        return std::vector<uint8_t>(p, p + t.device.GetRowStride() * 48);
    }

    std::vector<uint32_t> Depths() const
    {
        std::vector<uint32_t> depths;
        for (int32_t y = 0; y < 48; ++y)
            for (int32_t x = 0; x < 64; ++x)
                depths.push_back(t.device.GetDepth(x, y));
        return depths;
    }
};

std::vector<std::array<KxVertex, 3>> Orders(const std::array<KxVertex, 3>& v)
{
    std::array<int, 3> index = {0, 1, 2};
    std::vector<std::array<KxVertex, 3>> orders;
    do {
        orders.push_back({v[size_t(index[0])], v[size_t(index[1])], v[size_t(index[2])]});
    } while (std::next_permutation(index.begin(), index.end()));
    return orders;
}

}  // namespace

TEST_F(KxRasterizerTest, FlatTopAndFlatBottomCoverageInEveryVertexOrder)
{
    t.device.SetTexture(0, Texture({kWhite}));
    std::vector<KxRowSpan> flatTop, flatBottom;
    for (int32_t i = 0; i <= 10; ++i) {
        flatTop.push_back({10 + i, 10 + (i + 1) / 2, 20 - i / 2});
        flatBottom.push_back({10 + i, 15 - i / 2, 15 + (i + 1) / 2});
    }
    for (const auto& v : Orders({KxVertex{10, 10}, KxVertex{20, 10}, KxVertex{15, 20}})) {
        SetUp();
        Triangle(v[0], v[1], v[2]);
        ASSERT_EQ(Painted(), KxMaskFromSpans(64, 48, flatTop));
    }
    for (const auto& v : Orders({KxVertex{15, 10}, KxVertex{10, 20}, KxVertex{20, 20}})) {
        SetUp();
        Triangle(v[0], v[1], v[2]);
        ASSERT_EQ(Painted(), KxMaskFromSpans(64, 48, flatBottom));
    }
    EXPECT_EQ(t.Color(15, 10), kWhiteTexel);
}

TEST_F(KxRasterizerTest, SplitTriangleStepsDepthExactly)
{
    // (8,0) z 0, (0,4) z 0.25, (8,8) z 1: split at (8,4) with z 0.5; every
    // slope is a power of two, so each depth is 65535 z + 0.5 truncated.
    t.device.SetTexture(0, Texture({kWhite}));
    std::vector<KxRowSpan> spans;
    for (int32_t y = 0; y <= 8; ++y)
        spans.push_back({y, y <= 4 ? 8 - 2 * y : 2 * (y - 4), 8});
    // Black, black, white: the split vertex gets channel (4 x 2088960 +
    // 32768) >> 16 = 128.
    const KxVertex corners[] = {{8, 0, 0.0f, 0x000000}, {0, 4, 0.25f, 0x000000}, {8, 8, 1.0f, kWhite}};
    for (const auto& v : Orders({corners[0], corners[1], corners[2]})) {
        SetUp();
        Triangle(v[0], v[1], v[2]);
        ASSERT_EQ(Painted(), KxMaskFromSpans(64, 48, spans));
        EXPECT_EQ(t.Color(8, 0), 0x000000u);
        EXPECT_EQ(t.Color(8, 4), 0x808080u);
        EXPECT_EQ(t.Color(8, 8), kWhiteTexel);
        const uint32_t row2[] = {8192, 10240, 12288, 14336, 16384};
        const uint32_t row6[] = {40959, 43007, 45055, 47103, 49151};
        for (int32_t i = 0; i < 5; ++i) {
            EXPECT_EQ(t.device.GetDepth(4 + i, 2), row2[i]) << i;
            EXPECT_EQ(t.device.GetDepth(4 + i, 6), row6[i]) << i;
        }
        for (int32_t x = 0; x <= 8; ++x)
            EXPECT_EQ(t.device.GetDepth(x, 4), x < 8 ? 2048u * uint32_t(8 + x) : 32768u) << x;
        EXPECT_EQ(t.device.GetDepth(8, 8), 65535u);
    }
}

TEST_F(KxRasterizerTest, SplitVertexTruncatesTheSlopeBeforeMultiplying)
{
    // Long edge (20,0)-(21,6) at row 3: 3 x ((1 << 16) / 6) = 32766 rounds
    // to x = 20, where the exact 0.5 would round to 21.
    t.device.SetTexture(0, Texture({kWhite}));
    Triangle({20, 0}, {15, 3}, {21, 6});
    EXPECT_EQ(t.Color(20, 3), kWhiteTexel);
    EXPECT_EQ(t.Color(21, 3), kBackground);
}

TEST_F(KxRasterizerTest, SameRowVerticesKeepTheirOrder)
{
    // Flat top: the edge from the second top vertex is end A, so the one
    // apex pixel takes its z, stepped as a float from that vertex. From
    // z = 1 ten steps land on depth 2, from z = 0 on depth 1.
    const float zApex = 0x1.8001800p-16f;  // 1.5 / 65535
    Triangle({0, 0, 0.0f}, {10, 0, 1.0f}, {5, 10, zApex});
    EXPECT_EQ(t.device.GetDepth(5, 10), 2u);
    SetUp();
    Triangle({10, 0, 1.0f}, {0, 0, 0.0f}, {5, 10, zApex});
    EXPECT_EQ(t.device.GetDepth(5, 10), 1u);
}

TEST_F(KxRasterizerTest, TrianglesOnOneRowDrawNothing)
{
    t.device.SetTexture(0, Texture({kWhite}));
    const std::vector<uint8_t> colors = Colors();
    const std::vector<uint32_t> depths = Depths();
    Triangle({5, 5}, {10, 5}, {20, 5});
    EXPECT_EQ(Colors(), colors);
    EXPECT_EQ(Depths(), depths);
}

TEST_F(KxRasterizerTest, BothTrianglesDrawTheirSharedEdge)
{
    t.device.SetTexture(0, Texture({kWhite}));
    Triangle({0, 0}, {10, 0}, {10, 10});
    for (int32_t i = 0; i <= 10; ++i)
        ASSERT_EQ(t.Color(i, i), kWhiteTexel) << i;
    // Same depth: the second triangle passes on the edge (equal passes).
    Triangle({0, 0, 0.5f, 0x808080}, {0, 10, 0.5f, 0x808080}, {10, 10, 0.5f, 0x808080});
    for (int32_t i = 0; i <= 10; ++i)
        ASSERT_EQ(t.Color(i, i), 0x808080u) << i;
    EXPECT_EQ(t.Color(10, 0), kWhiteTexel);
}

TEST_F(KxRasterizerTest, LeftClippedSpanStartsWithAdvancedAttributes)
{
    // Black to white over x = -5..5: five skipped columns put colour 128
    // (5 x 1671168 rounded) and z 0.5 at column 0.
    t.device.SetTexture(0, Texture({kWhite}));
    Span(-5, 5, 2, 0.0f, 1.0f, 0x000000, 0xFFFFFF);
    EXPECT_EQ(t.Color(0, 2), 0x808080u);
    EXPECT_EQ(t.Color(1, 2), 0x989898u);  // channel 153, modulated to 152
    EXPECT_EQ(t.Color(5, 2), kWhiteTexel);
    EXPECT_EQ(t.Color(6, 2), kBackground);
    EXPECT_EQ(t.device.GetDepth(0, 2), 32768u);
    EXPECT_EQ(t.device.GetDepth(1, 2), 39321u);
    EXPECT_EQ(t.device.GetDepth(5, 2), 65535u);

    // Right clip: the slopes stay those of the whole span (channel 77 at 63).
    Span(60, 70, 3, 0.0f, 0.0f, 0x000000, 0xFFFFFF);
    EXPECT_EQ(t.Color(60, 3), 0x000000u);
    EXPECT_EQ(t.Color(63, 3), 0x4D4D4Du);
}

TEST_F(KxRasterizerTest, SpanEdgeCases)
{
    t.device.SetTexture(0, Texture({kWhite}));
    // Both ends on one column: one pixel with end A's values.
    Span(7, 7, 1, 0.5f, 0.0f, 0x808080, 0xFFFFFF);
    EXPECT_EQ(t.Color(7, 1), 0x808080u);
    EXPECT_EQ(t.device.GetDepth(7, 1), 32768u);
    EXPECT_EQ(Painted(), KxMaskFromSpans(64, 48, {{1, 7, 7}}));

    const std::vector<uint8_t> colors = Colors();
    const std::vector<uint32_t> depths = Depths();
    Span(0, 63, -1, 0.0f, 0.0f, kWhite, kWhite);
    Span(0, 63, 48, 0.0f, 0.0f, kWhite, kWhite);
    Span(-30, -1, 5, 0.0f, 0.0f, kWhite, kWhite);
    Span(64, INT32_MAX, 5, 0.0f, 0.0f, kWhite, kWhite);
    EXPECT_EQ(Colors(), colors);
    EXPECT_EQ(Depths(), depths);

    // The widest span fills its row.
    Span(INT32_MIN, INT32_MAX, 9, 0.5f, 0.5f, kWhite, kWhite);
    EXPECT_EQ(Painted(), KxMaskFromSpans(64, 48, {{1, 7, 7}, {9, 0, 63}}));
}

TEST_F(KxRasterizerTest, DepthConversionAndTheLessOrEqualTest)
{
    t.device.SetTexture(0, Texture({kWhite}));
    struct Case {
        float z;
        bool bPasses;
        uint32_t depth;  // stored afterwards
    };
    const Case cases[] = {
        {1.0f, true, 65535},            // equal to the cleared depth
        {0.5f, true, 32768},
        {0.0f, true, 0},
        {-1.0f / 65535.0f, true, 0},    // -0.5 truncates to 0
        {-2.0f / 65535.0f, false, 65535},  // -1: low 32 bits 0xFFFFFFFF
        {1.00001f, false, 65535},       // 65536
        {65538.0f, true, 65534},        // 2^32 + 65534: the low 32 bits pass
        {kNaN, false, 65535},
        {kInf, false, 65535},
        {-kInf, false, 65535},
    };
    int32_t x = 0;
    for (const Case& c : cases) {
        Pixel(x, 0, c.z);
        EXPECT_EQ(t.Color(x, 0) == kWhiteTexel, c.bPasses) << "z = " << c.z;
        EXPECT_EQ(t.device.GetDepth(x, 0), c.depth) << "z = " << c.z;
        ++x;
    }

    // A later fragment at the same depth passes and rewrites; a farther one fails.
    Pixel(1, 0, 0.5f, 0x808080);
    EXPECT_EQ(t.Color(1, 0), 0x808080u);
    Pixel(1, 0, 0.50002f, kWhite);  // 32769
    EXPECT_EQ(t.Color(1, 0), 0x808080u);
    EXPECT_EQ(t.device.GetDepth(1, 0), 32768u);
}

TEST_F(KxRasterizerTest, TestAndWriteDepthComparesUnsignedAndRewrites)
{
    EXPECT_FALSE(t.device.TestAndWriteDepth(3, 3, 65536));
    EXPECT_TRUE(t.device.TestAndWriteDepth(3, 3, 65535));
    EXPECT_TRUE(t.device.TestAndWriteDepth(3, 3, 100));
    EXPECT_EQ(t.device.GetDepth(3, 3), 100u);
    EXPECT_FALSE(t.device.TestAndWriteDepth(3, 3, 101));
    EXPECT_TRUE(t.device.TestAndWriteDepth(3, 3, 100));
    EXPECT_FALSE(t.device.TestAndWriteDepth(3, 3, 0xFFFFFFFF));
    for (auto [x, y] : std::vector<std::pair<int32_t, int32_t>>{{-1, 0}, {64, 0}, {0, -1}, {0, 48}})
        EXPECT_FALSE(t.device.TestAndWriteDepth(x, y, 0));

    // The 32-bit format keeps the full value.
    t.device.CreateDepthBuffer(1);
    EXPECT_FALSE(t.device.TestAndWriteDepth(3, 3, 70000));
    t.device.Clear(0, nullptr, 3, kBackground, 2.0f, 0);
    EXPECT_TRUE(t.device.TestAndWriteDepth(3, 3, 70000));
    EXPECT_EQ(t.device.GetDepth(3, 3), 70000u);
}

TEST_F(KxRasterizerTest, TexelsAreModulatedByTheVertexColour)
{
    // Texel bytes (255 x 3), (128 x 3), (1 x 3), 0, then 0x10 0x20 0x30.
    t.device.SetTexture(0, Texture({0xFFFFFF, 0x808080, 0x010101, 0x000000, 0x102030, 0, 0, 0}));
    const uint32_t expected[] = {0xFEFEFE, 0x808080, 0x010101, 0x000000, 0x102030};
    for (int32_t column = 0; column < 5; ++column) {
        KxVertex v{0, 0};
        v.uOverW = float(column + 1) / 8.0f;  // W x s = column + 1
        Pixel(column, 0, 0.5f, kWhite, v);
        EXPECT_EQ(t.Color(column, 0), expected[column]) << column;
    }
    // Byte k of the texel is scaled by the vertex channel in bits 16-8k.
    Pixel(0, 1, 0.5f, 0x4080FF);
    EXPECT_EQ(t.Color(0, 1), 0x4080FEu);
}

TEST_F(KxRasterizerTest, TheHighestBoundStageDecides)
{
    KxTexture* low = Texture({0x0A141E});
    KxTexture* high = Texture({0x28323C});
    t.device.SetTexture(0, low);
    t.device.SetTexture(3, high);
    Pixel(0, 0, 0.5f);
    EXPECT_EQ(t.Color(0, 0), 0x28323Cu);
    t.device.SetTexture(3, nullptr);
    Pixel(1, 0, 0.5f);
    EXPECT_EQ(t.Color(1, 0), 0x0A141Eu);
}

TEST_F(KxRasterizerTest, WithNoStageBoundOnlyTheDepthChanges)
{
    const std::vector<uint8_t> colors = Colors();
    Triangle({2, 2, 0.25f}, {12, 2, 0.25f}, {2, 12, 0.25f});
    EXPECT_EQ(Colors(), colors);
    EXPECT_EQ(t.device.GetDepth(2, 2), 16384u);
    EXPECT_EQ(t.device.GetDepth(2, 12), 16384u);
    EXPECT_EQ(t.device.GetDepth(13, 2), 65535u);
}

TEST_F(KxRasterizerTest, TextureCoordinatesAreDividedByInvW)
{
    t.device.SetTexture(0, Texture({0x000000, 0x010101, 0x020202, 0x030303}));
    KxVertex v{0, 0};
    v.uOverW = 0.25f;
    v.invW = 0.25f;  // s = 1: the last column, not the first
    Pixel(0, 0, 0.5f, kWhite, v);
    EXPECT_EQ(t.Color(0, 0), 0x030303u);

    // 1 / invW stays in double: s = float(1000.0000000 x 0.00075f) = 0.75
    // (column 2), where a float reciprocal would give 0.74999994 (column 1).
    v.uOverW = 0.00075f;
    v.invW = 0.001f;
    Pixel(1, 0, 0.5f, kWhite, v);
    EXPECT_EQ(t.Color(1, 0), 0x020202u);
    v.uOverW = 0.0035f;
    v.invW = 0.007f;
    Pixel(2, 0, 0.5f, kWhite, v);
    EXPECT_EQ(t.Color(2, 0), 0x010101u);

    // invW = 0 gives infinite or NaN coordinates: clamped to the image.
    v.invW = 0.0f;
    Pixel(3, 0, 0.5f, kWhite, v);
    EXPECT_EQ(t.Color(3, 0), 0x030303u);
    v.uOverW = 0.0f;
    Pixel(4, 0, 0.5f, kWhite, v);
    EXPECT_EQ(t.Color(4, 0), 0x000000u);
}

TEST_F(KxRasterizerTest, TrianglesBeyondTheFixedPointRangeAreNotDrawn)
{
    t.device.SetTexture(0, Texture({kWhite}));
    const std::vector<uint8_t> colors = Colors();
    const std::vector<uint32_t> depths = Depths();
    Triangle({0, 0}, {16384, 0}, {0, 30});
    Triangle({0, 0}, {10, 0}, {0, -16384});
    Triangle({INT32_MIN, INT32_MIN}, {INT32_MAX, 0}, {0, INT32_MAX});
    t.device.RasterizeFlatBottom(0, 0, 0.5f, -20, INT32_MAX, 0.5f, 20, INT32_MAX, 0.5f, kWhite, kWhite, kWhite,
                                 0, 0, 0, 0, 0, 0, 1, 1, 1);
    t.device.RasterizeFlatTop(-20, 0, 0.5f, 20, 0, 0.5f, 0, -16384, 0.5f, kWhite, kWhite, kWhite,
                              0, 0, 0, 0, 0, 0, 1, 1, 1);
    EXPECT_EQ(Colors(), colors);
    EXPECT_EQ(Depths(), depths);

    Triangle({0, 0}, {16383, 0}, {0, 30});
    std::vector<KxRowSpan> spans = {{30, 0, 0}};
    for (int32_t y = 0; y < 30; ++y)
        spans.push_back({y, 0, 63});
    EXPECT_EQ(Painted(), KxMaskFromSpans(64, 48, spans));
}
