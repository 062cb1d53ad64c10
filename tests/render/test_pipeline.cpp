#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "math/kxassert.h"
#include "render/kxfrustum.h"
#include "render/kxsoftwarerenderdevice.h"
#include "tests/render/kxtestdevice.h"

namespace {

struct NormalVertex {
    float x, y, z, nx, ny, nz;
};
struct TexturedVertex {
    float x, y, z, nx, ny, nz, u, v;
};
struct OneCoordinateVertex {
    float x, y, z, nx, ny, nz, u;
};
struct ColorVertex {
    float x, y, z;
    uint32_t color;
};
struct RhwVertex {
    float x, y, z, rhw;
    uint32_t color;
};

constexpr uint32_t kNormalFvf = KXFVF_XYZ | KXFVF_NORMAL;
constexpr uint32_t kTexturedFvf = KXFVF_XYZ | KXFVF_NORMAL | KXFVF_TEX1;
constexpr uint32_t kColorFvf = KXFVF_XYZ | KXFVF_DIFFUSE;

constexpr uint32_t kUntouchedDepth = 65535;
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
std::vector<NormalVertex> SmallTriangle()
{
    return {{-0.1f, -0.1f, 0.0f, 0, 0, -1}, {-0.1f, 0.1f, 0.0f, 0, 0, -1}, {0.1f, -0.1f, 0.0f, 0, 0, -1}};
}

KxMatrix4 Translation(float x, float y, float z)
{
    return KxMatrix4().SetTranslation(x, y, z);
}

void ExpectPlane(const KxPlane& p, float a, float b, float c, float d)
{
    EXPECT_EQ(p.a, a);
    EXPECT_EQ(p.b, b);
    EXPECT_EQ(p.c, c);
    EXPECT_EQ(p.d, d);
}

void ExpectVector(const KxVector3& v, float x, float y, float z)
{
    EXPECT_EQ(v.x, x);
    EXPECT_EQ(v.y, y);
    EXPECT_EQ(v.z, z);
}

// A 2 x 2 bitmap: the top-left texel holds the bytes 0x10, 0x20, 0x30, the
// bottom-right 0x40, 0x50, 0x60, the other two are white. Written beside
// the test, under the test's own name.
std::string WriteTexture()
{
    const uint8_t file[70] = {
        'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,          // file header
        40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0,        // info header: 2 x 2, 24 bits
        0, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        0xFF, 0xFF, 0xFF, 0x40, 0x50, 0x60, 0, 0,                // bottom row first
        0x10, 0x20, 0x30, 0xFF, 0xFF, 0xFF, 0, 0};               // top row
    const std::string path =
        std::string("pipeline_") + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".bmp";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(file, 1, sizeof(file), f);
        std::fclose(f);
    }
    return path;
}

void IgnoreAssert(const char*, const char*) {}

class PipelineTest : public ::testing::Test {
protected:
    PipelineTest()
    {
        const KxMatrix4 identity = KxMatrix4::Identity();
        t.device.SetTransform(KXTS_WORLD, &identity);
        t.device.SetTransform(KXTS_VIEW, &identity);
        t.device.SetTransform(KXTS_PROJECTION, &identity);
        Clear();
    }
    ~PipelineTest() override
    {
        if (pBuffer)
            pBuffer->Release();
        if (pTexture)
            pTexture->Release();
    }

    void Clear() { t.device.Clear(0, nullptr, KXCLEAR_TARGET | KXCLEAR_ZBUFFER, 0, 1.0f, 0); }

    template <typename V>
    void Bind(uint32_t fvf, const std::vector<V>& vertices)
    {
        KxVertexBuffer* pOld = pBuffer;
        const uint32_t length = uint32_t(vertices.size() * sizeof(V));
        t.device.CreateVertexBuffer(length, 0, fvf, 1, &pBuffer, nullptr);
        void* p = nullptr;
        ASSERT_TRUE(pBuffer->Lock(0, 0, &p, 0));
        std::memcpy(p, vertices.data(), length);
        pBuffer->Unlock();
        t.device.SetFVF(fvf);
        t.device.SetStreamSource(0, pBuffer, 0, sizeof(V));
        if (pOld)
            pOld->Release();
    }

    void BindTexture()
    {
        const std::string path = WriteTexture();
        ASSERT_TRUE(t.device.CreateTextureFromFile(path.c_str(), &pTexture));
        std::remove(path.c_str());
        t.device.SetTexture(0, pTexture);
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

    void SetWorld(const KxMatrix4& m) { t.device.SetTransform(KXTS_WORLD, &m); }
    void SetProjection(const KxMatrix4& m) { t.device.SetTransform(KXTS_PROJECTION, &m); }
    void SetZEnable(bool bOn) { t.device.SetRenderState(KXRS_ZENABLE, bOn ? 1 : 0); }
    bool Draw() { return t.device.DrawPrimitive(KXPT_TRIANGLELIST, 0, 0); }

    std::vector<uint8_t> Frame() const
    {
        const uint8_t* p = t.device.GetPixels();
        return std::vector<uint8_t>(p, p + t.device.GetRowStride() * t.device.GetHeight());
    }

    std::vector<uint32_t> Depths() const
    {
        std::vector<uint32_t> depths;
        for (int y = 0; y < t.device.GetHeight(); ++y)
            for (int x = 0; x < t.device.GetWidth(); ++x)
                depths.push_back(t.device.GetDepth(x, y));
        return depths;
    }

    void ExpectUntouched()
    {
        EXPECT_EQ(Frame(), std::vector<uint8_t>(Frame().size(), 0));
        EXPECT_EQ(Depths(), std::vector<uint32_t>(Depths().size(), kUntouchedDepth));
    }

    KxTestDevice t{64, 48};
    KxVertexBuffer* pBuffer = nullptr;
    KxTexture* pTexture = nullptr;
};

}  // namespace

TEST(Frustum, IdentityTransformsGiveTheDeviceVolume)
{
    KxFrustum f;
    f.Build(KxMatrix4::Identity(), KxMatrix4::Identity());
    ExpectVector(f.corners[0], -1.0f, -1.0f, 0.0f);
    ExpectVector(f.corners[2], 1.0f, -1.0f, 1.0f);
    ExpectVector(f.corners[4], -1.0f, 1.0f, 0.0f);
    ExpectVector(f.corners[6], 1.0f, 1.0f, 1.0f);
    ExpectPlane(f.planes[0], 0.0f, 1.0f, 0.0f, -1.0f);   // top
    ExpectPlane(f.planes[1], 0.0f, -1.0f, 0.0f, -1.0f);  // bottom
    ExpectPlane(f.planes[2], 0.0f, 0.0f, -1.0f, 0.0f);   // near
    ExpectPlane(f.planes[3], 0.0f, 0.0f, 1.0f, -1.0f);   // far
    ExpectPlane(f.planes[4], -1.0f, 0.0f, 0.0f, -1.0f);  // left
    ExpectPlane(f.planes[5], 1.0f, 0.0f, 0.0f, -1.0f);   // right
}

TEST(Frustum, ClassifiesSpheresAgainstUnboundedPlanes)
{
    KxFrustum f;
    f.Build(KxMatrix4::Identity(), KxMatrix4::Identity());
    const KxVector3 middle(0.0f, 0.0f, 0.5f);
    EXPECT_EQ(f.ClassifySphere(middle, 0.25f), KxFrustum::Inside);
    EXPECT_EQ(f.ClassifySphere(middle, 0.5f), KxFrustum::Inside);  // touching is not crossing
    EXPECT_EQ(f.ClassifySphere(middle, 0.50000006f), KxFrustum::Intersecting);
    EXPECT_EQ(f.ClassifySphere(KxVector3(3.0f, 0.0f, 0.5f), 0.5f), KxFrustum::Outside);
    // Outside the volume, but across the top plane's extension.
    EXPECT_EQ(f.ClassifySphere(KxVector3(3.0f, 1.0f, 0.5f), 0.1f), KxFrustum::Intersecting);
}

TEST(Frustum, ContainsAnyVertexNeedsOneStrictlyInside)
{
    KxFrustum f;
    f.Build(KxMatrix4::Identity(), KxMatrix4::Identity());
    const KxVector3 inside(0.0f, 0.0f, 0.5f);
    const KxVector3 onPlane(1.0f, 0.0f, 0.5f);
    const KxVector3 outside(2.0f, 2.0f, 2.0f);
    EXPECT_TRUE(f.ContainsAnyVertex(outside, outside, inside));
    EXPECT_FALSE(f.ContainsAnyVertex(outside, onPlane, outside));
}

TEST(Frustum, LeftHandedCameraPlanesFaceOutward)
{
    KxMatrix4 view;
    view.SetLookAtLeftHanded(KxVector3(0.0f, 0.0f, -5.0f), KxVector3(0.0f, 0.0f, 0.0f), KxVector3(0.0f, 1.0f, 0.0f));
    KxMatrix4 projection;
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
    const KxAssertReporter previous = KxSetAssertReporter(IgnoreAssert);
    t.device.SetStreamSource(0, pBuffer, 0, sizeof(NormalVertex));
    KxSetAssertReporter(previous);
    EXPECT_FALSE(Draw());
    pBuffer->data = pData;
    ExpectUntouched();
}

TEST_F(PipelineTest, BackFacesAreCulledAndEdgeOnFacesDrawn)
{
    SetZEnable(false);
    Bind(kNormalFvf, FrontTriangle());
    EXPECT_TRUE(Draw());
    EXPECT_EQ(t.device.GetTriangleVisible(), std::vector<bool>{true});
    EXPECT_EQ(t.Color(kInsideX, kInsideY), 0xFFFFFFu);

    Clear();
    std::vector<NormalVertex> reversed = FrontTriangle();
    std::swap(reversed[1], reversed[2]);
    Bind(kNormalFvf, reversed);
    EXPECT_TRUE(Draw());
    EXPECT_EQ(t.device.GetTriangleVisible(), std::vector<bool>{false});
    ExpectUntouched();

    // In the plane x = 0, which holds the eye: seen edge-on from either side.
    const std::vector<NormalVertex> edgeOn = {
        {0.0f, -0.5f, 0.5f, 0, 0, -1}, {0.0f, 0.5f, 0.5f, 0, 0, -1}, {0.0f, 0.0f, 0.9f, 0, 0, -1}};
    KxVector3 p[3];
    for (int i = 0; i < 3; ++i)
        p[i] = KxVector3(edgeOn[i].x, edgeOn[i].y, edgeOn[i].z);
    EXPECT_TRUE(t.device.IsFrontFacing(p[0], p[1], p[2]));
    EXPECT_TRUE(t.device.IsFrontFacing(p[0], p[2], p[1]));
    Bind(kNormalFvf, edgeOn);
    EXPECT_TRUE(Draw());
    EXPECT_EQ(t.Color(32, 24), 0xFFFFFFu);
}

TEST_F(PipelineTest, ObjectOutsideTheFrustumIsRejectedWhole)
{
    Bind(kNormalFvf, SmallTriangle());
    const KxMatrix4 world = Translation(10.0f, 0.0f, 0.5f);
    SetWorld(world);
    EXPECT_FALSE(Draw());
    const KxVector3& centre = t.device.GetStreamSource()->boundsCentre;
    ExpectVector(centre, 10.0f, 0.0f, 0.5f);
    EXPECT_EQ(t.device.GetCombinedMatrix(), world);  // the later stages did not run
    ExpectUntouched();
}

TEST_F(PipelineTest, SphereAcrossAPlaneExtensionGoesToThePerTriangleTest)
{
    Bind(kNormalFvf, SmallTriangle());
    SetWorld(Translation(3.0f, 1.0f, 0.5f));
    EXPECT_TRUE(Draw());
    EXPECT_EQ(t.device.GetTriangleVisible(), std::vector<bool>{false});
    ExpectUntouched();
}

TEST_F(PipelineTest, TriangleWithEveryVertexOutsideIsDropped)
{
    // Covers the whole view volume, yet no vertex lies inside it.
    Bind(kNormalFvf, std::vector<NormalVertex>{
                         {-5.0f, -5.0f, 0.5f, 0, 0, -1}, {0.0f, 10.0f, 0.5f, 0, 0, -1}, {5.0f, -5.0f, 0.5f, 0, 0, -1}});
    EXPECT_TRUE(Draw());
    EXPECT_EQ(t.device.GetTriangleVisible(), std::vector<bool>{false});
    ExpectUntouched();
}

TEST_F(PipelineTest, DrawsEveryCompleteTriangleWhateverTheArguments)
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
    EXPECT_TRUE(Draw());
    EXPECT_EQ(t.device.GetTriangleVisible(), std::vector<bool>(8, true));
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(t.Color(3 + 8 * k, 25), 0xFFFFFFu) << k;
    const std::vector<uint8_t> frame = Frame();

    Clear();
    EXPECT_TRUE(t.device.DrawPrimitive(1, 5, 1));
    EXPECT_EQ(Frame(), frame);
}

TEST_F(PipelineTest, ReadsOnlyVerticesInsideTheBuffer)
{
    // A binding stride of 12 counts six vertices in the 72 bytes; at the
    // format's 24 bytes a vertex only three fit.
    SetZEnable(false);
    Bind(kNormalFvf, FrontTriangle());
    t.device.SetStreamSource(0, pBuffer, 0, 12);
    EXPECT_EQ(t.device.GetVertexCount(), 6u);
    EXPECT_TRUE(Draw());
    EXPECT_EQ(t.device.GetTriangleVisible(), std::vector<bool>{true});
    EXPECT_EQ(t.Color(kInsideX, kInsideY), 0xFFFFFFu);
}

TEST_F(PipelineTest, NormalsReachLightingThroughTheInverseWorld)
{
    SetZEnable(false);
    UseDiffuseLightOnly();

    // Rotated about x by a = 30 degrees, (0, 0, -1) must arrive rotated by
    // -a: (0, -sin a, -cos a), lit to 255 x 0.5. The world's own 3x3 (or
    // the transpose of its inverse) would give (0, sin a, -cos a): black.
    Bind(kNormalFvf, FrontTriangle(0.0f, 0.0f, -1.0f));
    SetWorld(KxMatrix4().SetRotationX(0.5235988f));
    EXPECT_TRUE(Draw());
    EXPECT_EQ(t.Color(20, 36), 0x7F7F7Fu);

    // A translation leaves the normal as it is, unnormalised on this path.
    Clear();
    Bind(kNormalFvf, FrontTriangle(0.0f, -0.5f, 0.0f));
    SetWorld(Translation(0.0f, 0.0f, 0.25f));
    EXPECT_TRUE(Draw());
    EXPECT_EQ(t.Color(kInsideX, kInsideY), 0x7F7F7Fu);
}

TEST_F(PipelineTest, ZEnableSelectsTheFiller)
{
    // No texture is bound: the rasteriser writes depth only.
    Bind(kNormalFvf, FrontTriangle());
    EXPECT_TRUE(Draw());
    EXPECT_EQ(t.Color(kInsideX, kInsideY), 0u);
    EXPECT_EQ(t.device.GetDepth(kInsideX, kInsideY), kDepthAtHalf);

    // The Gouraud filler writes colour without depth.
    Clear();
    SetZEnable(false);
    EXPECT_TRUE(Draw());
    EXPECT_EQ(t.Color(kInsideX, kInsideY), 0xFFFFFFu);
    EXPECT_EQ(t.device.GetDepth(kInsideX, kInsideY), kUntouchedDepth);
}

TEST_F(PipelineTest, TexturedPathNormalisesNormalsAndReadsTextureCoordinates)
{
    BindTexture();
    // White vertex colour modulates 0x10, 0x20, 0x30 to themselves.
    constexpr uint32_t kTopLeftTexel = 0x102030;

    // Without texture coordinates u/w and v/w are 0: the top-left texel.
    Bind(kNormalFvf, FrontTriangle());
    EXPECT_TRUE(Draw());
    EXPECT_EQ(t.Color(kInsideX, kInsideY), kTopLeftTexel);
    EXPECT_EQ(t.device.GetDepth(kInsideX, kInsideY), kDepthAtHalf);

    // A normal of length 0.5 is normalised first: full light, not half.
    Clear();
    UseDiffuseLightOnly();
    Bind(kNormalFvf, FrontTriangle(0.0f, -0.5f, 0.0f));
    EXPECT_TRUE(Draw());
    EXPECT_EQ(t.Color(kInsideX, kInsideY), kTopLeftTexel);

    // u = v = 1 samples the bottom-right texel.
    Clear();
    std::vector<TexturedVertex> textured;
    for (const NormalVertex& v : FrontTriangle())
        textured.push_back({v.x, v.y, v.z, 0.0f, -1.0f, 0.0f, 1.0f, 1.0f});
    Bind(kTexturedFvf, textured);
    EXPECT_TRUE(Draw());
    EXPECT_EQ(t.Color(kInsideX, kInsideY), 0x405060u);

    // A set of one coordinate has no v: v/w is 0, the top row. Nothing is
    // read past the last vertex.
    Clear();
    std::vector<OneCoordinateVertex> oneCoordinate;
    for (const NormalVertex& v : FrontTriangle())
        oneCoordinate.push_back({v.x, v.y, v.z, 0.0f, -1.0f, 0.0f, 1.0f});
    Bind(kTexturedFvf | (3u << 16), oneCoordinate);
    EXPECT_TRUE(Draw());
    EXPECT_EQ(t.Color(kInsideX, kInsideY), 0xFEFEFEu);  // top-right, white scaled to 254
}

TEST_F(PipelineTest, ShadeModesOtherThanGouraudDrawNothing)
{
    Bind(kNormalFvf, FrontTriangle());
    for (uint32_t mode : {1u, 3u}) {
        t.device.SetRenderState(KXRS_SHADEMODE, mode);
        EXPECT_TRUE(Draw());
        ExpectUntouched();
    }
    t.device.SetRenderState(KXRS_SHADEMODE, KXSHADE_GOURAUD);
    EXPECT_TRUE(Draw());
    EXPECT_EQ(t.device.GetDepth(kInsideX, kInsideY), kDepthAtHalf);
}

TEST_F(PipelineTest, PreTransformedFormatsDrawNothing)
{
    SetZEnable(false);
    const std::vector<RhwVertex> screen = {
        {10, 10, 0.5f, 1, 0xFFFFFF}, {10, 40, 0.5f, 1, 0xFFFFFF}, {50, 40, 0.5f, 1, 0xFFFFFF}};
    Bind(KXFVF_XYZRHW | KXFVF_DIFFUSE, screen);
    EXPECT_TRUE(Draw());
    ExpectUntouched();

    // Both position bits: still pre-transformed, even with more triangles
    // than the previous draw flagged.
    std::vector<ColorVertex> both;
    for (int i = 0; i < 6; ++i)
        both.push_back({float(10 + 5 * i), float(10 + 6 * i), 0.5f, 0xFFFFFF});
    Bind(KXFVF_XYZ | KXFVF_XYZRHW | KXFVF_DIFFUSE, both);
    EXPECT_TRUE(Draw());
    ExpectUntouched();
}

TEST_F(PipelineTest, DiffuseOnlyPositionsReachTheFillerAsTheyStand)
{
    // The projection only widens the view volume to hold the screen
    // positions; the filler gets the buffer positions, rounded.
    SetProjection(KxMatrix4().SetScaling(1.0f / 64.0f, 1.0f / 48.0f, 1.0f));
    const uint32_t color = 0xAB563412;  // bits 24-31 are not drawn
    Bind(kColorFvf, std::vector<ColorVertex>{
                        {9.5f, 10.0f, 0.5f, color}, {9.5f, 30.0f, 0.5f, color}, {40.0f, 30.0f, 0.5f, color}});
    EXPECT_TRUE(Draw());
    EXPECT_EQ(t.Color(12, 28), 0x563412u);
    EXPECT_EQ(t.Color(10, 20), 0x563412u);  // 9.5 rounds to 10
    EXPECT_EQ(t.Color(9, 20), 0u);
    EXPECT_EQ(t.Color(30, 12), 0u);
    EXPECT_EQ(t.device.GetDepth(12, 28), kUntouchedDepth);
}

TEST_F(PipelineTest, ScreenPositionsFillersCannotTakeAreSkipped)
{
    // A vertex far out on the screen.
    SetProjection(KxMatrix4().SetScaling(1.0f / 64.0f, 1.0f / 48.0f, 1.0f));
    Bind(kColorFvf, std::vector<ColorVertex>{
                        {10.0f, 10.0f, 0.5f, 0xFFFFFF}, {10.0f, 30.0f, 0.5f, 0xFFFFFF}, {1e30f, 30.0f, 0.5f, 0xFFFFFF}});
    EXPECT_TRUE(Draw());
    ExpectUntouched();

    // A vertex in the eye's plane: w = 0 gives non-finite screen values.
    KxMatrix4 projection;
    SetProjection(projection.SetPerspectiveLeftHanded(1.5707964f, 1.0f, 0.1f, 10.0f));
    Bind(kNormalFvf, std::vector<NormalVertex>{
                         {0.5f, 0.0f, 0.0f, 0, -1, 0}, {-0.5f, -0.5f, 1.0f, 0, -1, 0}, {-0.5f, 0.5f, 1.0f, 0, -1, 0}});
    for (bool bZEnable : {true, false}) {
        SetZEnable(bZEnable);
        EXPECT_TRUE(Draw());
        EXPECT_EQ(t.device.GetTriangleVisible(), std::vector<bool>{true});
        ExpectUntouched();
    }
}

TEST_F(PipelineTest, CombinedMatrixComposesTheStagesInOrder)
{
    const KxClipVolume clip = {0.0f, 1.0f, 1.0f, 1.0f, 0.0f, 1.0f};
    t.device.SetClipVolume(&clip);
    const KxMatrix4 world = Translation(0.1f, 0.2f, 0.5f);
    const KxMatrix4 view = KxMatrix4().SetRotationY(0.1f);
    const KxMatrix4 projection = KxMatrix4().SetScaling(0.5f, 0.5f, 0.5f);
    SetWorld(world);
    t.device.SetTransform(KXTS_VIEW, &view);
    SetProjection(projection);
    Bind(kNormalFvf, SmallTriangle());

    EXPECT_TRUE(Draw());
    EXPECT_EQ(t.device.GetCombinedMatrix(),
              world * view * projection * t.device.GetClipMatrix() * t.device.GetViewportMatrix());
    t.device.SetRenderState(KXRS_CLIPPING, 0);
    EXPECT_TRUE(Draw());
    EXPECT_EQ(t.device.GetCombinedMatrix(), world * view * projection * t.device.GetViewportMatrix());
}
