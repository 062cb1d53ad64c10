#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "kxtestbmp.h"
#include "kxtestmask.h"

namespace {

constexpr uint32_t kWhiteTexel = 0xFEFEFE;  // a white texel under a white vertex: 255 -> 254
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

struct KxVertex {
    int32_t x, y;
    float z = 0.5f;
    uint32_t color = 0xFFFFFF;
    float uOverW = 0.0f, vOverW = 0.0f, invW = 1.0f;
};

// Stage 0 holds a single white texel unless a test binds something else.
struct KxRasterizerTest : KxDrawTest {
    void SetUp() override
    {
        KxDrawTest::SetUp();
        t.device.SetTexture(0, Texture({kWhite}));
    }

    // A texture of one row of texels, written to a file of its own.
    KxTexture* Texture(const std::vector<uint32_t>& row)
    {
        const std::string name = "raster" + std::to_string(textures.size()) + ".bmp";
        const std::string path = KxWriteTempFile(name, KxBmpFromTexels(int32_t(row.size()), 1, row));
        textures.push_back(std::make_unique<KxTexture>(path.c_str(), t.device.GetPixels(), 3));
        EXPECT_TRUE(textures.back()->IsLoaded());
        return textures.back().get();
    }

    void Triangle(const std::array<KxVertex, 3>& v)
    {
        t.device.RasterizeTriangle(v[0].x, v[0].y, v[0].z, v[1].x, v[1].y, v[1].z, v[2].x, v[2].y, v[2].z,
                                   v[0].color, v[1].color, v[2].color, v[0].uOverW, v[0].vOverW, v[1].uOverW,
                                   v[1].vOverW, v[2].uOverW, v[2].vOverW, v[0].invW, v[1].invW, v[2].invW);
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

    std::vector<std::unique_ptr<KxTexture>> textures;
};

}  // namespace

TEST_F(KxRasterizerTest, SplitTriangleStepsDepthAndColourExactly)
{
    // (8,0) z 0, (0,4) z 0.25, (8,8) z 1: split at (8,4) with z 0.5; every
    // slope is a power of two, so each depth is 65535 z + 0.5 truncated.
    // Black, black, white: the split vertex gets channel (4 x 2088960 +
    // 32768) >> 16 = 128.
    std::vector<KxRowSpan> spans;
    for (int32_t y = 0; y <= 8; ++y)
        spans.push_back({y, y <= 4 ? 8 - 2 * y : 2 * (y - 4), 8});
    const uint32_t row2[] = {8192, 10240, 12288, 14336, 16384};
    const uint32_t row6[] = {40959, 43007, 45055, 47103, 49151};
    for (const auto& v : KxVertexOrders<KxVertex>({{{8, 0, 0.0f, 0}, {0, 4, 0.25f, 0}, {8, 8, 1.0f, kWhite}}})) {
        Clear();
        Triangle(v);
        ASSERT_EQ(Painted(), KxMaskFromSpans(spans));
        EXPECT_EQ(t.Color(8, 0), 0x000000u);
        EXPECT_EQ(t.Color(8, 4), 0x808080u);
        EXPECT_EQ(t.Color(8, 8), kWhiteTexel);
        for (int32_t i = 0; i < 5; ++i) {
            EXPECT_EQ(t.device.GetDepth(4 + i, 2), row2[i]) << i;
            EXPECT_EQ(t.device.GetDepth(4 + i, 6), row6[i]) << i;
        }
        for (int32_t x = 0; x <= 8; ++x)
            EXPECT_EQ(t.device.GetDepth(x, 4), x < 8 ? 2048u * uint32_t(8 + x) : 32768u) << x;
        EXPECT_EQ(t.device.GetDepth(8, 8), 65535u);
    }
}

TEST_F(KxRasterizerTest, SameRowVerticesKeepTheirOrder)
{
    // Flat top: the edge from the second top vertex is end A, so the one
    // apex pixel takes its z, stepped as a float from that vertex. From
    // z = 1 ten steps land on depth 2, from z = 0 on depth 1.
    const float zApex = 0x1.8001800p-16f;  // 1.5 / 65535
    Triangle({{{0, 0, 0.0f}, {10, 0, 1.0f}, {5, 10, zApex}}});
    EXPECT_EQ(t.device.GetDepth(5, 10), 2u);
    Clear();
    Triangle({{{10, 0, 1.0f}, {0, 0, 0.0f}, {5, 10, zApex}}});
    EXPECT_EQ(t.device.GetDepth(5, 10), 1u);
}

TEST_F(KxRasterizerTest, ClippedSpansKeepTheSlopesOfTheWholeSpan)
{
    // Black to white over x = -5..5: five skipped columns put colour 128
    // (5 x 1671168 rounded) and z 0.5 at column 0.
    Span(-5, 5, 2, 0.0f, 1.0f, 0x000000, 0xFFFFFF);
    EXPECT_EQ(t.Color(0, 2), 0x808080u);
    EXPECT_EQ(t.Color(1, 2), 0x989898u);  // channel 153, modulated to 152
    EXPECT_EQ(t.Color(5, 2), kWhiteTexel);
    EXPECT_EQ(t.device.GetDepth(0, 2), 32768u);
    EXPECT_EQ(t.device.GetDepth(1, 2), 39321u);
    EXPECT_EQ(t.device.GetDepth(5, 2), 65535u);
    // Right clip: channel 77 at 63.
    Span(60, 70, 3, 0.0f, 0.0f, 0x000000, 0xFFFFFF);
    EXPECT_EQ(t.Color(60, 3), 0x000000u);
    EXPECT_EQ(t.Color(63, 3), 0x4D4D4Du);
    // Both ends on one column: one pixel with end A's values.
    Span(7, 7, 1, 0.5f, 0.0f, 0x808080, 0xFFFFFF);
    EXPECT_EQ(t.Color(7, 1), 0x808080u);
    EXPECT_EQ(t.device.GetDepth(7, 1), 32768u);
    Span(INT32_MIN, INT32_MAX, 9, 0.5f, 0.5f, kWhite, kWhite);
    EXPECT_EQ(Painted(), KxMaskFromSpans({{1, 7, 7}, {2, 0, 5}, {3, 60, 63}, {9, 0, 63}}));
}

TEST_F(KxRasterizerTest, HalvesAndSpansOutsideTheirRangeDrawNothing)
{
    const std::vector<uint32_t> before = Frame();
    t.device.RasterizeFlatBottom(0, 0, 0.5f, -20, INT32_MAX, 0.5f, 20, INT32_MAX, 0.5f, kWhite, kWhite, kWhite,
                                 0, 0, 0, 0, 0, 0, 1, 1, 1);
    t.device.RasterizeFlatTop(-20, 0, 0.5f, 20, 0, 0.5f, 0, KxSoftwareRenderDevice::kMaxScreenCoordinate, 0.5f,
                              kWhite, kWhite, kWhite, 0, 0, 0, 0, 0, 0, 1, 1, 1);
    Span(0, 63, -1, 0.0f, 0.0f, kWhite, kWhite);
    Span(0, 63, 48, 0.0f, 0.0f, kWhite, kWhite);
    Span(-30, -1, 5, 0.0f, 0.0f, kWhite, kWhite);
    Span(64, INT32_MAX, 5, 0.0f, 0.0f, kWhite, kWhite);
    EXPECT_EQ(Frame(), before);
}

TEST_F(KxRasterizerTest, DepthConversionAndTheLessOrEqualTest)
{
    const struct {
        float z;
        bool bPasses;
        uint32_t depth;  // stored afterwards
    } cases[] = {
        {1.0f, true, 65535},               // equal to the cleared depth
        {0.5f, true, 32768},
        {0.0f, true, 0},
        {-1.0f / 65535.0f, true, 0},       // -0.5 truncates to 0
        {-2.0f / 65535.0f, false, 65535},  // -1: low 32 bits 0xFFFFFFFF
        {1.00001f, false, 65535},          // 65536
        {65538.0f, true, 65534},           // 2^32 + 65534: the low 32 bits pass
        {kNaN, false, 65535},
        {kInf, false, 65535},
        {-kInf, false, 65535},
    };
    int32_t x = 0;
    for (const auto& c : cases) {
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
    KxSoftwareRenderDevice& d = t.device;
    EXPECT_FALSE(d.TestAndWriteDepth(3, 3, 65536));
    EXPECT_TRUE(d.TestAndWriteDepth(3, 3, 65535));
    EXPECT_TRUE(d.TestAndWriteDepth(3, 3, 100));
    EXPECT_FALSE(d.TestAndWriteDepth(3, 3, 101));
    EXPECT_TRUE(d.TestAndWriteDepth(3, 3, 100));
    EXPECT_FALSE(d.TestAndWriteDepth(3, 3, 0xFFFFFFFF));
    EXPECT_EQ(d.GetDepth(3, 3), 100u);
    for (auto [x, y] : {KxPoint2{-1, 0}, {64, 0}, {0, -1}, {0, 48}})
        EXPECT_FALSE(d.TestAndWriteDepth(x, y, 0));

    // The 32-bit format keeps the full value.
    d.CreateDepthBuffer(1);
    EXPECT_FALSE(d.TestAndWriteDepth(3, 3, 70000));
    d.Clear(0, nullptr, 3, kBackground, 2.0f, 0);
    EXPECT_TRUE(d.TestAndWriteDepth(3, 3, 70000));
    EXPECT_TRUE(d.TestAndWriteDepth(3, 3, 70000));
    EXPECT_EQ(d.GetDepth(3, 3), 70000u);
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
    // Stages are 0 to 7; binding null unbinds and reports false.
    EXPECT_TRUE(t.device.SetTexture(0, Texture({0x0A141E})));
    EXPECT_TRUE(t.device.SetTexture(7, Texture({0x28323C})));
    EXPECT_FALSE(t.device.SetTexture(8, textures[0].get()));
    Pixel(0, 0, 0.5f);
    EXPECT_EQ(t.Color(0, 0), 0x28323Cu);
    EXPECT_FALSE(t.device.SetTexture(7, nullptr));
    Pixel(1, 0, 0.5f);
    EXPECT_EQ(t.Color(1, 0), 0x0A141Eu);
}

TEST_F(KxRasterizerTest, WithNoStageBoundOnlyTheDepthChanges)
{
    t.device.SetTexture(0, nullptr);
    Triangle({{{2, 2, 0.25f}, {12, 2, 0.25f}, {2, 12, 0.25f}}});
    EXPECT_EQ(Painted(), KxMaskFromSpans({}));
    EXPECT_EQ(t.device.GetDepth(2, 2), 16384u);
    EXPECT_EQ(t.device.GetDepth(2, 12), 16384u);
    EXPECT_EQ(t.device.GetDepth(13, 2), 65535u);
}

TEST_F(KxRasterizerTest, TextureCoordinatesAreDividedByInvW)
{
    t.device.SetTexture(0, Texture({0x000000, 0x010101, 0x020202, 0x030303}));
    const struct {
        float uOverW, invW;
        uint32_t texel;
    } cases[] = {
        {0.25f, 0.25f, 0x030303},  // s = 1: the last column, not the first
        // 1 / invW stays in double: s = float(1000.0000000 x 0.00075f) = 0.75
        // (column 2), where a float reciprocal would give 0.74999994 (column 1).
        {0.00075f, 0.001f, 0x020202},
        {0.0035f, 0.007f, 0x010101},
        // invW = 0 gives infinite or NaN coordinates: clamped to the image.
        {0.0035f, 0.0f, 0x030303},
        {0.0f, 0.0f, 0x000000},
    };
    int32_t x = 0;
    for (const auto& c : cases) {
        KxVertex v{0, 0};
        v.uOverW = c.uOverW;
        v.invW = c.invW;
        Pixel(x, 0, 0.5f, kWhite, v);
        EXPECT_EQ(t.Color(x++, 0), c.texel) << c.uOverW << " / " << c.invW;
    }
}
