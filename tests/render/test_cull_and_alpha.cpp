// Through DrawPrimitive: which triangles each cull mode keeps, edge-on ones
// included; the alpha a vertex carries (the material's diffuse alpha, a
// diffuse colour's top byte), read back through the alpha test at the
// reference and on either side of it; and that the alpha changes nothing
// while no state reads it.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "kxtestdevice.h"

namespace {

struct KxLitVertex {  // format 0x112
    float x, y, z, nx, ny, nz, u, v;
};

struct KxColouredVertex {  // format 0x042: x and y in screen pixels
    float x, y, z;
    uint32_t color;
};

struct KxBufferRelease {
    void operator()(KxVertexBuffer* p) const { p->Release(); }
};
typedef std::unique_ptr<KxVertexBuffer, KxBufferRelease> KxBufferPtr;

template <typename Vertex>
KxBufferPtr Bind(KxSoftwareRenderDevice& d, uint32_t fvf, const std::vector<Vertex>& vertices)
{
    KxVertexBuffer* buffer = nullptr;
    d.CreateVertexBuffer(uint32_t(sizeof(Vertex) * vertices.size()), 0, fvf, 1, &buffer, nullptr);
    std::memcpy(buffer->data, vertices.data(), sizeof(Vertex) * vertices.size());
    d.SetFVF(fvf);
    d.SetStreamSource(0, buffer, 0, sizeof(Vertex));
    return KxBufferPtr(buffer);
}

// The eye at (0, 0, -10) looking at the origin.
void SetCamera(KxSoftwareRenderDevice& d)
{
    KxMatrix4 view, projection;
    view.SetLookAtLeftHanded(KxVector3(0, 0, -10), KxVector3(0, 0, 0), KxVector3(0, 1, 0));
    projection.SetPerspectiveLeftHanded(0.8f, 4.0f / 3.0f, 1.0f, 50.0f);
    d.SetTransform(KXTS_VIEW, &view);
    d.SetTransform(KXTS_PROJECTION, &projection);
}

bool Passes(uint32_t func, uint32_t a, uint32_t b)
{
    const bool results[] = {false, a < b, a == b, a <= b, a > b, a != b, a >= b, true};
    return results[func - 1];
}

}  // namespace

// Random triangles near the origin, a few in the plane x = 0 that holds the
// eye (edge-on), a few with two equal corners: every mode keeps what its
// rule says, on the vector path (groups of four) and the scalar one alike.
TEST(CullMode, EachModeKeepsWhatItsRuleSays)
{
    KxTestDevice t(64, 48);
    SetCamera(t.device);
    KxTestRandom r{std::mt19937(22)};
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE(round);
        std::vector<KxLitVertex> vertices(3 * size_t(r.Int(1, 30)));
        for (size_t i = 0; i < vertices.size(); ++i) {
            const int kind = int(i / 3 % 5);
            vertices[i] = {kind == 0 ? 0.0f : r.Uniform(-1, 1), r.Uniform(-1, 1), r.Uniform(-1, 1), 0, 0, -1, 0, 0};
            if (kind == 1 && i % 3 == 2)
                vertices[i] = vertices[i - 1];
        }
        const KxBufferPtr buffer = Bind(t.device, 0x112, vertices);
        const KxMatrix4 world = round % 2 ? KxMatrix4().SetIdentity() : KxMatrix4().SetRotationY(r.Uniform(-3, 3));
        t.device.SetTransform(KXTS_WORLD, &world);
        for (uint32_t mode : {KXCULL_NONE, KXCULL_CW, KXCULL_CCW}) {
            ASSERT_TRUE(t.device.SetRenderState(KXRS_CULLMODE, mode));
            t.device.DrawPrimitive(KXPT_TRIANGLELIST, 0, 0);
            std::vector<bool> expected;
            for (size_t i = 0; i < vertices.size(); i += 3) {
                KxVector3 p[3];
                for (int k = 0; k < 3; ++k) {
                    p[k] = KxVector3(vertices[i + k].x, vertices[i + k].y, vertices[i + k].z);
                    p[k].TransformPoint(world);
                }
                const float d = (KxVector3(0, 0, -10) - p[0]).Dot((p[1] - p[0]).Cross(p[2] - p[0]));
                expected.push_back(mode == KXCULL_NONE || (mode == KXCULL_CW ? d <= 0.0f : d >= 0.0f));
            }
            ASSERT_EQ(t.device.GetTriangleVisible(), expected) << "mode " << mode;
        }
    }
    t.device.SetRenderState(KXRS_CULLMODE, KXCULL_CCW);
}

// One triangle wound one way, then the other: the clockwise one is the
// front face, drawn under the default mode, and the two culling modes draw
// opposite ones.
TEST(CullMode, OppositeModesDrawOppositeWindings)
{
    KxTestDevice t(64, 48);
    SetCamera(t.device);
    t.device.SetRenderState(KXRS_LIGHTING, 0);  // black on the grey clear
    const std::vector<KxLitVertex> clockwise = {{-2, -2, 0, 0, 0, -1, 0, 0}, {0, 2, 0, 0, 0, -1, 0, 0},
                                                {2, -2, 0, 0, 0, -1, 0, 0}};
    const std::vector<KxLitVertex> counter = {clockwise[0], clockwise[2], clockwise[1]};
    const KxTexturePtr white = KxMakeTexture(1, 1, {0xFFFFFF});
    t.device.SetTexture(0, white.get());
    const struct {
        uint32_t mode;
        bool bClockwiseDrawn, bCounterDrawn;
    } cases[] = {{KXCULL_CCW, true, false}, {KXCULL_CW, false, true}, {KXCULL_NONE, true, true}};
    for (const auto& c : cases) {
        t.device.SetRenderState(KXRS_CULLMODE, c.mode);
        for (const auto* winding : {&clockwise, &counter}) {
            t.device.Clear(0, nullptr, 3, 0x808080, 1.0f, 0);
            const KxBufferPtr buffer = Bind(t.device, 0x112, *winding);
            t.device.DrawPrimitive(KXPT_TRIANGLELIST, 0, 1);
            EXPECT_EQ(t.Color(32, 24) == 0, winding == &clockwise ? c.bClockwiseDrawn : c.bCounterDrawn) << c.mode;
        }
    }
    t.device.SetRenderState(KXRS_CULLMODE, KXCULL_CCW);
}

// The alpha test passes when the fragment's alpha FUNC the reference holds:
// each function, references at the ends and inside, alphas one below, at
// and one above. A flat alpha on the Gouraud filler, and on the rasteriser
// with an opaque texel, which leaves it as it is.
TEST(AlphaTest, AtTheReferenceAndEitherSide)
{
    KxTestDevice t(16, 16);
    const KxTexturePtr white = KxMakeTexture(1, 1, {0xFFFFFF});
    t.device.SetTexture(0, white.get());
    t.device.SetRenderState(KXRS_ALPHATESTENABLE, 1);
    for (bool bRasterizer : {false, true}) {
        for (uint32_t func = KXCMP_NEVER; func <= KXCMP_ALWAYS; ++func) {
            for (uint32_t ref : {0u, 1u, 128u, 254u, 255u}) {
                for (int32_t alpha = int32_t(ref) - 1; alpha <= int32_t(ref) + 1; ++alpha) {
                    if (alpha < 0 || alpha > 255)
                        continue;
                    t.device.SetRenderState(KXRS_ALPHAFUNC, func);
                    t.device.SetRenderState(KXRS_ALPHAREF, ref);
                    t.device.Clear(0, nullptr, 3, 0x000000, 1.0f, 0);
                    const uint32_t color = uint32_t(alpha) << 24 | 0xFFFFFF;
                    if (bRasterizer)
                        t.device.RasterizeTriangle(0, 0, 0.5f, 15, 0, 0.5f, 0, 15, 0.5f, color, color, color, 0.5f,
                                                   0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 1, 1, 1);
                    else
                        t.device.FillGouraudTriangle(0, 0, 15, 0, 0, 15, color, color, color);
                    const bool bDrawn = Passes(func, uint32_t(alpha), ref);
                    EXPECT_EQ(t.Color(3, 3) != 0, bDrawn) << bRasterizer << " " << func << " " << ref << " " << alpha;
                    // A fragment the alpha test drops writes no depth either.
                    EXPECT_EQ(t.device.GetDepth(3, 3), bDrawn && bRasterizer ? 32768u : 65535u);
                }
            }
        }
    }
}

// The vertex alpha of lit vertices is the diffuse material's alpha a,
// trunc(a x 255 + 0.5) limited to 0..255, the same with any light; with
// lighting off it is 255. Read back with the alpha test: EQUAL to the
// expected byte draws, to either neighbour not.
TEST(VertexAlpha, MaterialDiffuseAlphaOfLitVertices)
{
    KxTestDevice t(64, 48);
    SetCamera(t.device);
    const KxTexturePtr white = KxMakeTexture(1, 1, {0xFFFFFF});
    t.device.SetTexture(0, white.get());
    const KxBufferPtr buffer = Bind(t.device, 0x112, std::vector<KxLitVertex>{{-3, -3, 0, 0, 0, -1, 0, 0},
                                                                             {0, 3, 0, 0.3f, 0, -1, 0, 0},
                                                                             {3, -3, 0, 0, 0.5f, -1, 0, 0}});
    t.device.SetRenderState(KXRS_ALPHATESTENABLE, 1);
    t.device.SetRenderState(KXRS_ALPHAFUNC, KXCMP_EQUAL);
    const struct {
        float materialAlpha;
        bool bLighting;
        int32_t expected;
    } cases[] = {{1.0f, true, 255},  {0.0f, true, 0},     {0.5f, true, 128},     {0.2f, true, 51},
                 {0.9f, true, 229},  {1.5f, true, 255},   {-0.25f, true, 0},     {0.998f, true, 254},
                 {0.0f, false, 255}, {0.5f, false, 255},  {0.001f, true, 0},     {0.003f, true, 1}};
    for (const auto& c : cases) {
        KxMaterial material = t.device.GetMaterial();
        material.Diffuse.a = c.materialAlpha;
        t.device.SetMaterial(&material);
        t.device.SetRenderState(KXRS_LIGHTING, c.bLighting);
        for (int32_t ref = c.expected - 1; ref <= c.expected + 1; ++ref) {
            if (ref < 0 || ref > 255)
                continue;
            t.device.SetRenderState(KXRS_ALPHAREF, uint32_t(ref));
            t.device.Clear(0, nullptr, 3, 0x000000, 1.0f, 0);
            t.device.DrawPrimitive(KXPT_TRIANGLELIST, 0, 1);
            EXPECT_EQ(t.device.GetDepth(32, 24) != 65535u, ref == c.expected) << c.materialAlpha << " " << ref;
        }
    }
    KxMaterial material = t.device.GetMaterial();
    material.Diffuse.a = 1.0f;
    t.device.SetMaterial(&material);
}

// Vertices with diffuse colours carry their top byte as alpha, interpolated
// like the other channels.
TEST(VertexAlpha, DiffuseColourTopByte)
{
    KxTestDevice t(32, 32);
    // A frustum around the screen positions, so that it keeps them.
    const KxMatrix4 projection = KxMatrix4().SetOrthographicLeftHanded(200, 200, -1, 1);
    t.device.SetTransform(KXTS_PROJECTION, &projection);
    t.device.SetRenderState(KXRS_ALPHATESTENABLE, 1);
    t.device.SetRenderState(KXRS_ALPHAFUNC, KXCMP_GREATEREQUAL);
    t.device.SetRenderState(KXRS_ALPHAREF, 100);
    // Alpha 0 at the left, 200 at the right, 24 columns apart: columns from
    // 12 on (alpha 100 and more) pass.
    const KxBufferPtr buffer = Bind(t.device, 0x042, std::vector<KxColouredVertex>{{4, 4, 0, 0x00FFFFFF},
                                                                                 {28, 4, 0, 0xC8FFFFFF},
                                                                                 {4, 20, 0, 0x00FFFFFF}});
    t.device.Clear(0, nullptr, 3, 0x000000, 1.0f, 0);
    t.device.DrawPrimitive(KXPT_TRIANGLELIST, 0, 1);
    for (int32_t x = 4; x <= 27; ++x)
        EXPECT_EQ(t.Color(x, 4) != 0, x >= 16) << x;  // 200 x 12 / 24 = 100 at column 16
}

// While neither the alpha test nor blending is on, vertex alphas change no
// byte, under any depth state: the same scene with opaque and with random
// alphas draws the same frame.
TEST(VertexAlpha, ChangesNothingWhileNoStateReadsIt)
{
    KxTestDevice opaque(64, 48), seeThrough(64, 48);
    KxTestRandom r{std::mt19937(5)};
    const KxTexturePtr texture = KxMakeTexture(4, 4, KxDistinctTexels(16));
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        std::vector<KxLitVertex> lit(30);
        std::vector<KxColouredVertex> coloured(30);
        for (size_t i = 0; i < lit.size(); ++i) {
            lit[i] = {r.Uniform(-3, 3), r.Uniform(-3, 3), r.Uniform(-2, 2), r.Uniform(-1, 1), r.Uniform(-1, 1), -1,
                      r.Uniform(0, 1), r.Uniform(0, 1)};
            coloured[i] = {r.Uniform(-5, 70), r.Uniform(-5, 55), 0, uint32_t(r.rng()) & 0xFFFFFF};
        }
        const uint32_t zFunc = uint32_t(r.Int(1, 8)), zWrite = r.Chance(50);
        for (KxTestDevice* t : {&opaque, &seeThrough}) {
            const bool bAlpha = t == &seeThrough;
            SetCamera(t->device);
            t->device.SetTexture(0, texture.get());
            t->device.SetRenderState(KXRS_ZFUNC, zFunc);
            t->device.SetRenderState(KXRS_ZWRITEENABLE, zWrite);
            t->device.Clear(0, nullptr, 3, 0x204060, 0.7f, 0);
            KxMaterial material = t->device.GetMaterial();
            material.Diffuse.a = bAlpha ? r.Uniform(0, 1) : 1.0f;
            t->device.SetMaterial(&material);
            std::vector<KxColouredVertex> colours = coloured;
            for (KxColouredVertex& v : colours)
                v.color |= bAlpha ? uint32_t(r.rng()) << 24 : 0;
            const KxBufferPtr litBuffer = Bind(t->device, 0x112, lit);
            t->device.DrawPrimitive(KXPT_TRIANGLELIST, 0, 0);
            // Screen positions inside the frustum, every winding drawn.
            const KxMatrix4 projection = KxMatrix4().SetOrthographicLeftHanded(200, 200, -20, 20);
            t->device.SetTransform(KXTS_PROJECTION, &projection);
            t->device.SetRenderState(KXRS_CULLMODE, KXCULL_NONE);
            const KxBufferPtr colouredBuffer = Bind(t->device, 0x042, colours);
            const std::vector<uint32_t> before = t->Frame();
            t->device.DrawPrimitive(KXPT_TRIANGLELIST, 0, 0);
            ASSERT_NE(t->Frame(), before);
            t->device.SetRenderState(KXRS_CULLMODE, KXCULL_CCW);
        }
        ASSERT_EQ(opaque.Frame(), seeThrough.Frame());
    }
}
