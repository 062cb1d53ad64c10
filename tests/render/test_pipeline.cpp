#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <iterator>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "math/kxassert.h"
#include "render/kxfrustum.h"
#include "tests/render/kxtestbmp.h"
#include "tests/render/kxtestmask.h"

namespace {

struct NormalVertex {
    float x, y, z, nx, ny, nz;
};
struct ColorVertex {
    float x, y, z;
    uint32_t color;
};

constexpr uint32_t kNormalFvf = KXFVF_XYZ | KXFVF_NORMAL;
constexpr uint32_t kColorFvf = KXFVF_XYZ | KXFVF_DIFFUSE;
constexpr uint32_t kDepthAtHalf = 32768;  // z = 0.5

// With identity transforms on a 64 x 48 frame this triangle covers
// (16, 36), (16, 12), (48, 36) on the screen at depth 0.5, clockwise: it
// faces the eye at the origin. (20, 30) lies inside it.
std::vector<NormalVertex> FrontTriangle(float nx = 0.0f, float ny = 0.0f, float nz = -1.0f)
{
    return {{-0.5f, -0.5f, 0.5f, nx, ny, nz}, {-0.5f, 0.5f, 0.5f, nx, ny, nz}, {0.5f, -0.5f, 0.5f, nx, ny, nz}};
}
constexpr int kInsideX = 20;
constexpr int kInsideY = 30;

// Radius 0.15 about the object's origin.
const std::vector<NormalVertex> kSmallTriangle = {
    {-0.1f, -0.1f, 0.0f, 0, 0, -1}, {-0.1f, 0.1f, 0.0f, 0, 0, -1}, {0.1f, -0.1f, 0.0f, 0, 0, -1}};

std::array<float, 3> Xyz(const KxVector3& v)
{
    return {v.x, v.y, v.z};
}

struct PipelineTest : KxDrawTest {
    void SetUp() override
    {
        KxDrawTest::SetUp();
        for (uint32_t transform : {KXTS_WORLD, KXTS_VIEW, KXTS_PROJECTION})
            SetTransform(transform, KxMatrix4::Identity());
        cleared = Frame();
    }
    ~PipelineTest() override
    {
        if (pBuffer)
            pBuffer->Release();
    }

    template <typename V>
    void Bind(uint32_t fvf, const std::vector<V>& vertices)
    {
        if (pBuffer)
            pBuffer->Release();
        const uint32_t length = uint32_t(vertices.size() * sizeof(V));
        t.device.CreateVertexBuffer(length, 0, fvf, 1, &pBuffer, nullptr);
        std::memcpy(pBuffer->data, vertices.data(), length);
        t.device.SetStreamSource(0, pBuffer, 0, sizeof(V));
    }

    // One white light toward -y without ambient light, so a lit colour is
    // the diffuse term alone: 255 x (n . (0, -1, 0)) per channel.
    void UseDiffuseLightOnly()
    {
        KxLight light;
        light.Diffuse = KxColor(1.0f, 1.0f, 1.0f, 1.0f);
        light.Direction = KxVector3(0.0f, 1.0f, 0.0f);
        t.device.SetLight(0, &light);
    }

    void SetTransform(uint32_t transform, const KxMatrix4& m) { t.device.SetTransform(transform, &m); }
    void SetZEnable(bool bOn) { t.device.SetRenderState(KXRS_ZENABLE, bOn ? 1 : 0); }
    bool Draw() { return t.device.DrawPrimitive(KXPT_TRIANGLELIST, 0, 0); }
    uint32_t Inside() const { return t.Color(kInsideX, kInsideY); }
    std::vector<bool> Visible() const { return t.device.GetTriangleVisible(); }

    std::vector<uint32_t> cleared;
    KxVertexBuffer* pBuffer = nullptr;
};

}  // namespace

TEST(Frustum, IdentityTransformsGiveTheDeviceVolume)
{
    KxFrustum f;
    f.Build(KxMatrix4::Identity(), KxMatrix4::Identity());
    EXPECT_EQ(Xyz(f.corners[0]), (std::array<float, 3>{-1, -1, 0}));
    EXPECT_EQ(Xyz(f.corners[2]), (std::array<float, 3>{1, -1, 1}));
    EXPECT_EQ(Xyz(f.corners[4]), (std::array<float, 3>{-1, 1, 0}));
    EXPECT_EQ(Xyz(f.corners[6]), (std::array<float, 3>{1, 1, 1}));
    const KxPlane planes[6] = {{0, 1, 0, -1}, {0, -1, 0, -1}, {0, 0, -1, 0},  // top, bottom, near
                               {0, 0, 1, -1}, {-1, 0, 0, -1}, {1, 0, 0, -1}};  // far, left, right
    for (int i = 0; i < 6; ++i)
        EXPECT_TRUE(f.planes[i] == planes[i]) << i;

    const KxVector3 middle(0.0f, 0.0f, 0.5f);
    EXPECT_EQ(f.ClassifySphere(middle, 0.25f), KxFrustum::Inside);
    EXPECT_EQ(f.ClassifySphere(middle, 0.5f), KxFrustum::Inside);  // touching is not crossing
    EXPECT_EQ(f.ClassifySphere(middle, 0.50000006f), KxFrustum::Intersecting);
    EXPECT_EQ(f.ClassifySphere(KxVector3(3.0f, 0.0f, 0.5f), 0.5f), KxFrustum::Outside);
    // Outside the volume, but across the top plane's extension.
    EXPECT_EQ(f.ClassifySphere(KxVector3(3.0f, 1.0f, 0.5f), 0.1f), KxFrustum::Intersecting);

    const KxVector3 onPlane(1.0f, 0.0f, 0.5f), outside(2.0f, 2.0f, 2.0f);
    EXPECT_TRUE(f.ContainsAnyVertex(outside, outside, middle));
    EXPECT_FALSE(f.ContainsAnyVertex(outside, onPlane, outside));  // strictly inside only
}

TEST(Frustum, DistancesAreRoundedToFloatBeforeTheRadiusTest)
{
    // A box 4 wide: this centre lies 2 - 2^-30 from the right plane, below
    // the radius 2 in double but equal to it once rounded to float, so the
    // sphere touches that plane and stays inside.
    KxFrustum f;
    const KxPlane planes[6] = {{0, 1, 0, -4}, {0, -1, 0, -4}, {0, 0, -1, -4},
                               {0, 0, 1, -4}, {-1, 0, 0, -4}, {1, 0, 0, -2}};
    std::copy(std::begin(planes), std::end(planes), f.planes);
    const KxVector3 centre(0x1p-30f, 0.0f, 0.0f);
    EXPECT_EQ(f.ClassifySphere(centre, 2.0f), KxFrustum::Inside);
    EXPECT_EQ(f.ClassifySphere(centre, 2.0000002f), KxFrustum::Intersecting);
}

TEST(Frustum, LeftHandedCameraPlanesFaceOutward)
{
    KxMatrix4 view, projection;
    view.SetLookAtLeftHanded(KxVector3(0.0f, 0.0f, -5.0f), KxVector3(0.0f, 0.0f, 0.0f), KxVector3(0.0f, 1.0f, 0.0f));
    projection.SetPerspectiveLeftHanded(0.7853982f, 4.0f / 3.0f, 1.0f, 100.0f);
    KxFrustum f;
    f.Build(view, projection);
    EXPECT_EQ(f.ClassifySphere(KxVector3(0.0f, 0.0f, 0.0f), 1.0f), KxFrustum::Inside);
    EXPECT_EQ(f.ClassifySphere(KxVector3(0.0f, 0.0f, -10.0f), 1.0f), KxFrustum::Outside);  // behind the eye
    EXPECT_EQ(f.ClassifySphere(KxVector3(0.0f, 0.0f, 200.0f), 1.0f), KxFrustum::Outside);  // beyond far
}

TEST_F(PipelineTest, WithoutVertexDataNothingIsDrawn)
{
    EXPECT_FALSE(Draw());  // no buffer bound yet
    Bind(kNormalFvf, FrontTriangle());
    uint8_t* pData = pBuffer->data;
    pBuffer->data = nullptr;
    const KxAssertReporter previous = KxSetAssertReporter([](const char*, const char*) {});
    t.device.SetStreamSource(0, pBuffer, 0, sizeof(NormalVertex));
    KxSetAssertReporter(previous);
    EXPECT_FALSE(Draw());
    pBuffer->data = pData;
    EXPECT_EQ(Frame(), cleared);
}

TEST_F(PipelineTest, BackFacesAreCulledAndEdgeOnFacesDrawn)
{
    SetZEnable(false);
    Bind(kNormalFvf, FrontTriangle());
    EXPECT_TRUE(Draw());
    EXPECT_EQ(Visible(), std::vector<bool>{true});
    EXPECT_EQ(Inside(), 0xFFFFFFu);

    Clear();
    std::vector<NormalVertex> reversed = FrontTriangle();
    std::swap(reversed[1], reversed[2]);
    Bind(kNormalFvf, reversed);
    EXPECT_TRUE(Draw());
    EXPECT_EQ(Visible(), std::vector<bool>{false});
    EXPECT_EQ(Frame(), cleared);

    // In the plane x = 0, which holds the eye: seen edge-on from either side.
    const KxVector3 p[3] = {{0.0f, -0.5f, 0.5f}, {0.0f, 0.5f, 0.5f}, {0.0f, 0.0f, 0.9f}};
    EXPECT_TRUE(t.device.IsFrontFacing(p[0], p[1], p[2]));
    EXPECT_TRUE(t.device.IsFrontFacing(p[0], p[2], p[1]));
    Bind(kNormalFvf, std::vector<NormalVertex>{{p[0].x, p[0].y, p[0].z, 0, 0, -1}, {p[1].x, p[1].y, p[1].z, 0, 0, -1},
                                               {p[2].x, p[2].y, p[2].z, 0, 0, -1}});
    EXPECT_TRUE(Draw());
    EXPECT_EQ(t.Color(32, 24), 0xFFFFFFu);
}

TEST_F(PipelineTest, FrustumCullingOfObjectsAndTriangles)
{
    // Wholly outside: rejected before the later stages run.
    Bind(kNormalFvf, kSmallTriangle);
    const KxMatrix4 world = KxMatrix4().SetTranslation(10.0f, 0.0f, 0.5f);
    SetTransform(KXTS_WORLD, world);
    EXPECT_FALSE(Draw());
    EXPECT_EQ(Xyz(pBuffer->boundsCentre), (std::array<float, 3>{10.0f, 0.0f, 0.5f}));
    EXPECT_EQ(t.device.GetCombinedMatrix(), world);

    // Across a plane's extension outside the volume: the per-triangle test
    // drops it.
    SetTransform(KXTS_WORLD, KxMatrix4().SetTranslation(3.0f, 1.0f, 0.5f));
    EXPECT_TRUE(Draw());
    EXPECT_EQ(Visible(), std::vector<bool>{false});

    // Covers the whole view volume, yet no vertex lies inside it.
    SetTransform(KXTS_WORLD, KxMatrix4::Identity());
    Bind(kNormalFvf, std::vector<NormalVertex>{
                         {-5.0f, -5.0f, 0.5f, 0, 0, -1}, {0.0f, 10.0f, 0.5f, 0, 0, -1}, {5.0f, -5.0f, 0.5f, 0, 0, -1}});
    EXPECT_TRUE(Draw());
    EXPECT_EQ(Visible(), std::vector<bool>{false});
    EXPECT_EQ(Frame(), cleared);
}

TEST_F(PipelineTest, DrawsEveryCompleteTriangleInsideTheBufferWhateverTheArguments)
{
    SetZEnable(false);
    // Eight small triangles in a row, then two vertices that make no triangle.
    std::vector<NormalVertex> vertices;
    for (int k = 0; k < 8; ++k) {
        const float x = -0.875f + 0.25f * k;
        vertices.push_back({x - 0.1f, -0.1f, 0.5f, 0, 0, -1});
        vertices.push_back({x - 0.1f, 0.1f, 0.5f, 0, 0, -1});
        vertices.push_back({x + 0.1f, -0.1f, 0.5f, 0, 0, -1});
    }
    vertices.push_back({-1.0f, -1.0f, 0.5f, 0, 0, -1});
    vertices.push_back({1.0f, 1.0f, 0.5f, 0, 0, -1});
    Bind(kNormalFvf, vertices);
    EXPECT_TRUE(t.device.DrawPrimitive(1, 5, 1));
    EXPECT_EQ(Visible(), std::vector<bool>(8, true));
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(t.Color(3 + 8 * k, 25), 0xFFFFFFu) << k;

    // A binding stride of 12 counts six vertices in the 72 bytes; at the
    // format's 24 bytes a vertex only three fit.
    Bind(kNormalFvf, FrontTriangle());
    t.device.SetStreamSource(0, pBuffer, 0, 12);
    EXPECT_EQ(t.device.GetVertexCount(), 6u);
    EXPECT_TRUE(Draw());
    EXPECT_EQ(Visible(), std::vector<bool>{true});
    EXPECT_EQ(Inside(), 0xFFFFFFu);
}

TEST_F(PipelineTest, NormalsReachLightingThroughTheInverseWorld)
{
    SetZEnable(false);
    UseDiffuseLightOnly();
    // Rotated about x by a = 30 degrees, (0, 0, -1) must arrive rotated by
    // -a: (0, -sin a, -cos a), lit to 255 x 0.5. The world's own 3x3 (or
    // the transpose of its inverse) would give (0, sin a, -cos a): black.
    Bind(kNormalFvf, FrontTriangle(0.0f, 0.0f, -1.0f));
    SetTransform(KXTS_WORLD, KxMatrix4().SetRotationX(0.5235988f));
    EXPECT_TRUE(Draw());
    EXPECT_EQ(t.Color(20, 36), 0x7F7F7Fu);

    // A translation leaves the normal as it is, unnormalised on this path.
    Clear();
    Bind(kNormalFvf, FrontTriangle(0.0f, -0.5f, 0.0f));
    SetTransform(KXTS_WORLD, KxMatrix4().SetTranslation(0.0f, 0.0f, 0.25f));
    EXPECT_TRUE(Draw());
    EXPECT_EQ(Inside(), 0x7F7F7Fu);
}

TEST_F(PipelineTest, ZEnableAndShadeModeSelectTheFiller)
{
    // No texture is bound: the rasteriser writes depth only.
    Bind(kNormalFvf, FrontTriangle());
    EXPECT_TRUE(Draw());
    EXPECT_EQ(Inside(), kBackground);
    EXPECT_EQ(t.device.GetDepth(kInsideX, kInsideY), kDepthAtHalf);

    // Flat and Phong shading draw nothing.
    for (uint32_t mode : {1u, 3u}) {
        Clear();
        t.device.SetRenderState(KXRS_SHADEMODE, mode);
        EXPECT_TRUE(Draw());
        EXPECT_EQ(Frame(), cleared);
    }

    // The Gouraud filler writes colour without depth.
    Clear();
    t.device.SetRenderState(KXRS_SHADEMODE, KXSHADE_GOURAUD);
    SetZEnable(false);
    EXPECT_TRUE(Draw());
    EXPECT_EQ(Inside(), 0xFFFFFFu);
    EXPECT_EQ(t.device.GetDepth(kInsideX, kInsideY), 65535u);
}

TEST_F(PipelineTest, TexturedPathNormalisesNormalsAndReadsTextureCoordinates)
{
    // Top-left texel bytes 0x10 0x20 0x30 (unchanged under a white vertex),
    // bottom-right 0x40 0x50 0x60, the other two white.
    KxTexture texture(KxWriteTempFile("pipeline.bmp", KxBmpFromTexels(2, 2, {0x102030, kWhite, kWhite, 0x405060}))
                          .c_str(),
                      nullptr, 3);
    t.device.SetTexture(0, &texture);

    // Without texture coordinates u/w and v/w are 0: the top-left texel.
    Bind(kNormalFvf, FrontTriangle());
    EXPECT_TRUE(Draw());
    EXPECT_EQ(Inside(), 0x102030u);
    EXPECT_EQ(t.device.GetDepth(kInsideX, kInsideY), kDepthAtHalf);

    // A normal of length 0.5 is normalised first: full light, not half.
    Clear();
    UseDiffuseLightOnly();
    Bind(kNormalFvf, FrontTriangle(0.0f, -0.5f, 0.0f));
    EXPECT_TRUE(Draw());
    EXPECT_EQ(Inside(), 0x102030u);

    // u = v = 1 samples the bottom-right texel; a set of one coordinate has
    // no v, so v/w is 0: the top row (white scaled to 254). Nothing is read
    // past the last vertex.
    const uint32_t texturedFvf = kNormalFvf | KXFVF_TEX1;
    std::vector<std::array<float, 8>> textured;
    std::vector<std::array<float, 7>> oneCoordinate;
    for (const NormalVertex& v : FrontTriangle()) {
        textured.push_back({v.x, v.y, v.z, 0.0f, -1.0f, 0.0f, 1.0f, 1.0f});
        oneCoordinate.push_back({v.x, v.y, v.z, 0.0f, -1.0f, 0.0f, 1.0f});
    }
    Clear();
    Bind(texturedFvf, textured);
    EXPECT_TRUE(Draw());
    EXPECT_EQ(Inside(), 0x405060u);
    Clear();
    Bind(texturedFvf | (3u << 16), oneCoordinate);
    EXPECT_TRUE(Draw());
    EXPECT_EQ(Inside(), 0xFEFEFEu);
    t.device.SetTexture(0, nullptr);
}

TEST_F(PipelineTest, PreTransformedFormatsDrawNothing)
{
    SetZEnable(false);
    Bind(KXFVF_XYZRHW | KXFVF_DIFFUSE, std::vector<std::array<float, 5>>{
                                           {10, 10, 0.5f, 1, 0}, {10, 40, 0.5f, 1, 0}, {50, 40, 0.5f, 1, 0}});
    EXPECT_TRUE(Draw());
    EXPECT_EQ(Frame(), cleared);

    // Both position bits: still pre-transformed, even with more triangles
    // than the previous draw flagged.
    std::vector<ColorVertex> both;
    for (int i = 0; i < 6; ++i)
        both.push_back({float(10 + 5 * i), float(10 + 6 * i), 0.5f, 0xFFFFFF});
    Bind(KXFVF_XYZ | KXFVF_XYZRHW | KXFVF_DIFFUSE, both);
    EXPECT_TRUE(Draw());
    EXPECT_EQ(Frame(), cleared);
}

TEST_F(PipelineTest, DiffuseOnlyPositionsReachTheFillerAsTheyStand)
{
    // The projection only widens the view volume to hold the screen
    // positions; the filler gets the buffer positions, rounded.
    SetTransform(KXTS_PROJECTION, KxMatrix4().SetScaling(1.0f / 64.0f, 1.0f / 48.0f, 1.0f));
    const uint32_t color = 0xAB563412;  // bits 24-31 are not drawn
    Bind(kColorFvf, std::vector<ColorVertex>{
                        {9.5f, 10.0f, 0.5f, color}, {9.5f, 30.0f, 0.5f, color}, {40.0f, 30.0f, 0.5f, color}});
    EXPECT_TRUE(Draw());
    EXPECT_EQ(t.Color(12, 28), 0x563412u);
    EXPECT_EQ(t.Color(10, 20), 0x563412u);  // 9.5 rounds to 10
    EXPECT_EQ(t.Color(9, 20), kBackground);
    EXPECT_EQ(t.Color(30, 12), kBackground);
    EXPECT_EQ(t.device.GetDepth(12, 28), 65535u);

    // A vertex far out on the screen: not drawn.
    Clear();
    Bind(kColorFvf, std::vector<ColorVertex>{
                        {10.0f, 10.0f, 0.5f, kWhite}, {10.0f, 30.0f, 0.5f, kWhite}, {1e30f, 30.0f, 0.5f, kWhite}});
    EXPECT_TRUE(Draw());
    EXPECT_EQ(Frame(), cleared);
}

TEST_F(PipelineTest, VertexInTheEyePlaneIsSkipped)
{
    // w = 0 gives non-finite screen values, which neither filler takes.
    SetTransform(KXTS_PROJECTION, KxMatrix4().SetPerspectiveLeftHanded(1.5707964f, 1.0f, 0.1f, 10.0f));
    Bind(kNormalFvf, std::vector<NormalVertex>{
                         {0.5f, 0.0f, 0.0f, 0, -1, 0}, {-0.5f, -0.5f, 1.0f, 0, -1, 0}, {-0.5f, 0.5f, 1.0f, 0, -1, 0}});
    for (bool bZEnable : {true, false}) {
        SetZEnable(bZEnable);
        EXPECT_TRUE(Draw());
        EXPECT_EQ(Visible(), std::vector<bool>{true});
        EXPECT_EQ(Frame(), cleared);
    }
}

TEST_F(PipelineTest, CombinedMatrixComposesTheStagesInOrder)
{
    const KxClipVolume clip = {0.0f, 1.0f, 1.0f, 1.0f, 0.0f, 1.0f};
    t.device.SetClipVolume(&clip);
    const KxMatrix4 world = KxMatrix4().SetTranslation(0.1f, 0.2f, 0.5f);
    const KxMatrix4 view = KxMatrix4().SetRotationY(0.1f);
    const KxMatrix4 projection = KxMatrix4().SetScaling(0.5f, 0.5f, 0.5f);
    SetTransform(KXTS_WORLD, world);
    SetTransform(KXTS_VIEW, view);
    SetTransform(KXTS_PROJECTION, projection);
    Bind(kNormalFvf, kSmallTriangle);
    EXPECT_TRUE(Draw());
    EXPECT_EQ(t.device.GetCombinedMatrix(),
              world * view * projection * t.device.GetClipMatrix() * t.device.GetViewportMatrix());
    t.device.SetRenderState(KXRS_CLIPPING, 0);
    EXPECT_TRUE(Draw());
    EXPECT_EQ(t.device.GetCombinedMatrix(), world * view * projection * t.device.GetViewportMatrix());
}
