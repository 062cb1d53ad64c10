// The primitive pipeline against a plain transcription of its algorithm:
// vertices read through the format cursor one component at a time, every
// triangle transformed and lit on its own, the normal matrix formed per
// triangle, triangles that cross the near plane or the guard band through
// the clipper's transcription. Random scenes, formats and states; the
// frame, the depth buffer and every piece of state a draw leaves behind
// must agree. The fillers are shared: the edge and span references check
// them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <tuple>
#include <utility>
#include <vector>

#include "kxclipreference.h"
#include "kxtestdevice.h"

namespace {

constexpr int32_t kBand = KxSoftwareRenderDevice::kGuardBand;

uint32_t State(const KxSoftwareRenderDevice& d, uint32_t code)
{
    uint32_t value = 0;
    d.GetRenderState(code, &value);
    return value;
}

template <typename T>
T Read(const uint8_t* p)
{
    T value;
    std::memcpy(&value, p, sizeof(T));
    return value;
}

int32_t Screen(float value)
{
    const double rounded = double(value) + 0.5;
    return std::fabs(rounded) < 2147483648.0 ? int32_t(rounded) : KxSoftwareRenderDevice::kMaxScreenCoordinate;
}

uint32_t LowByte(double value)
{
    if (!(value > -9223372036854775808.0 && value < 9223372036854775808.0))
        return 0;
    return uint32_t(int64_t(value)) & 0xFFu;
}

// The material colours as the reference's lighting last took them, as a
// new device's start.
KxColor heldAmbient(0, 0, 0, 1), heldDiffuse(0, 0, 0, 1), heldSpecular(0, 0, 0, 1);

// The draw as first written, on a copy of the state it reads.
struct KxReferencePipeline {
    const KxSoftwareRenderDevice& d;  // the device under test, for its state
    KxMatrix4 world, view, projection;
    std::vector<bool>& visible;
    std::map<int, KxLightSet> lights = d.GetLights();
    KxMatrix4 combined{}, clipSpace{};
    KxVector3 centre{};

    uint32_t Light(KxVector3 n)
    {
        if (!State(d, KXRS_LIGHTING))
            return 0;
        const uint32_t a = State(d, KXRS_AMBIENT);
        const KxColor global(float(double(a & 0xFF) / 255.0), float(double((a >> 8) & 0xFF) / 255.0),
                             float(double((a >> 16) & 0xFF) / 255.0), 1.0f);
        const KxMaterial& m = d.GetMaterial();
        for (auto [code, held, source] : {std::tuple{KXRS_AMBIENTMATERIALSOURCE, &heldAmbient, &m.Ambient},
                                          {KXRS_DIFFUSEMATERIALSOURCE, &heldDiffuse, &m.Diffuse},
                                          {KXRS_SPECULARMATERIALSOURCE, &heldSpecular, &m.Specular}})
            if (State(d, code) == 0)
                *held = *source;
        const bool bSpecular = State(d, KXRS_SPECULARENABLE) != 0;
        KxColor sa, sd, ss;
        for (const auto& [index, set] : lights) {
            if (!set.enabled)
                continue;
            const KxVector3 l = set.light.Direction;
            sa.AddClamped(set.light.Ambient);
            sd.AddClamped(heldDiffuse.Modulate(set.light.Diffuse).Scale(std::max(n.Dot(l), 0.0f)));
            if (bSpecular) {
                const KxVector3 sum = KxVector3(view.m[0][2], view.m[1][2], view.m[2][2]) + l;
                const float s = n.Dot(sum / sum.Length());
                ss.AddClamped(set.light.Specular.Scale(std::pow(s > 0.0f ? s : 0.0f, m.Power)));
            }
        }
        KxColor t = heldAmbient.Modulate(global.Add(sa));
        t.AddClamped(sd);
        if (bSpecular)
            t.AddClamped(heldSpecular.Modulate(ss));
        t.AddClamped(m.Emissive);
        if (t.a == 0.0f)
            return 0;
        return LowByte(double(t.r) * 255.0 / double(t.a)) | (LowByte(double(t.g) * 255.0 / double(t.a)) << 8) |
               (LowByte(double(t.b) * 255.0 / double(t.a)) << 16);
    }

    // Each triangle's three positions, through the format cursor.
    std::vector<KxVector3> Positions(KxFvf& f, uint32_t n)
    {
        std::vector<KxVector3> p;
        f.Rewind();
        for (uint32_t i = 0; i < 3 * n; ++i, f.NextVertex())
            p.push_back(Read<KxVector3>(f.Seek(0, KXFVF_XYZ)));
        return p;
    }

    bool Draw(const KxVertexBuffer& buffer, KxSoftwareRenderDevice& target)
    {
        uint32_t fvf = 0;
        d.GetFVF(&fvf);
        KxFvf f;
        f.SetFormat(fvf);
        f.SetData(buffer.data);
        const uint32_t n =
            f.GetStride() > 0 ? std::min(d.GetVertexCount(), buffer.length / uint32_t(f.GetStride())) / 3 : 0;
        if (f.HasComponent(KXFVF_XYZRHW))
            return true;
        combined = world;
        if (f.HasComponent(KXFVF_XYZ)) {  // back faces
            std::vector<KxVector3> p = Positions(f, n);
            visible.resize(n, false);
            for (uint32_t i = 0; i < n; ++i) {
                for (int k = 0; k < 3; ++k)
                    p[3 * i + k].TransformPoint(combined);
                const KxVector3 normal = (p[3 * i + 1] - p[3 * i]).Cross(p[3 * i + 2] - p[3 * i]);
                visible[i] = (d.GetEyePosition() - p[3 * i]).Dot(normal) >= 0.0f;
            }
        }
        combined *= view;  // the frustum
        centre = KxVector3(0, 0, 0);
        centre.TransformPoint(world);
        if (State(d, KXRS_LIGHTING))
            for (auto& [index, set] : lights)
                if (set.enabled)
                    set.light.Direction = -set.storedDirection;
        KxFrustum frustum;
        frustum.Build(view, projection);
        const int side = frustum.ClassifySphere(centre, buffer.boundsRadius);
        if (side == KxFrustum::Outside)
            return false;
        if (side == KxFrustum::Intersecting && f.HasComponent(KXFVF_XYZ)) {
            std::vector<KxVector3> p = Positions(f, n);
            for (uint32_t i = 0; i < n; ++i) {
                if (!visible[i])
                    continue;
                for (int k = 0; k < 3; ++k)
                    p[3 * i + k].TransformPoint(world);
                // Culled when all three are outside one and the same plane.
                for (const KxPlane& plane : frustum.planes) {
                    int nOutside = 0;
                    for (int k = 0; k < 3; ++k) {
                        const KxVector3& q = p[3 * i + k];
                        nOutside += double(plane.a) * q.x + double(plane.b) * q.y + double(plane.c) * q.z +
                                        double(plane.d) >=
                                    0.0;
                    }
                    if (nOutside == 3)
                        visible[i] = false;
                }
            }
        }
        combined *= projection;
        if (State(d, KXRS_CLIPPING))
            combined *= d.GetClipMatrix();
        clipSpace = combined;
        combined *= d.GetViewportMatrix();
        if (State(d, KXRS_SHADEMODE) == 2 && f.HasComponent(KXFVF_XYZ))
            DrawTriangles(f, n, target);
        return true;
    }

    void DrawTriangles(KxFvf& f, uint32_t n, KxSoftwareRenderDevice& target)
    {
        const bool bNormals = f.HasComponent(KXFVF_NORMAL), bTex = f.HasComponent(KXFVF_TEX1);
        if (!bNormals && !f.HasComponent(KXFVF_DIFFUSE))
            return;
        f.Rewind();
        for (uint32_t i = 0; i < n; ++i) {
            KxVector3 p[3], normal[3];
            float u[3] = {}, v[3] = {};
            uint32_t c[3] = {};
            int32_t x[3], y[3];
            for (int k = 0; k < 3; ++k, f.NextVertex()) {
                p[k] = Read<KxVector3>(f.Seek(0, KXFVF_XYZ));
                if (!bNormals) {
                    c[k] = Read<uint32_t>(f.Seek(KXFVF_XYZ, KXFVF_DIFFUSE));
                    continue;
                }
                normal[k] = Read<KxVector3>(f.Seek(KXFVF_XYZ, KXFVF_NORMAL));
                if (bTex) {
                    const uint8_t* t = f.Seek(KXFVF_NORMAL, KXFVF_TEX1);
                    u[k] = Read<float>(t);
                    if (((f.GetFormat() >> 16) & 3u) != 3)
                        v[k] = Read<float>(t + 4);
                }
            }
            if (!visible[i])
                continue;
            if (!bNormals) {
                target.FillGouraudTriangle(Screen(p[0].x), Screen(p[0].y), Screen(p[1].x), Screen(p[1].y),
                                           Screen(p[2].x), Screen(p[2].y), c[0], c[1], c[2]);
                continue;
            }
            // The depth-tested path normalises the normals, the Gouraud one not.
            const KxMatrix4 normalMatrix = world.Inverse().AffineCopy();
            const bool bDepth = State(d, KXRS_ZENABLE);
            const KxVector3 object[3] = {p[0], p[1], p[2]};
            float uw[3], vw[3], iw[3], ws[3];
            double nearDistance[3];
            for (int k = 0; k < 3; ++k) {
                nearDistance[k] = KxRefNear(p[k].x, p[k].y, p[k].z, clipSpace);
                const float w = p[k].TransformPoint(combined);
                ws[k] = w;
                x[k] = Screen(p[k].x);
                y[k] = Screen(p[k].y);
                normal[k].TransformNormal(normalMatrix);
                c[k] = Light(bDepth ? normal[k].Normalized() : normal[k]);
                uw[k] = bTex ? float(double(u[k]) / w) : 0.0f;
                vw[k] = bTex ? float(double(v[k]) / w) : 0.0f;
                iw[k] = float(1.0 / w);
            }
            // In front of the near plane, 0 < w < infinity, inside the band.
            bool bUnclipped = true;
            for (int k = 0; k < 3; ++k)
                bUnclipped = bUnclipped && nearDistance[k] >= 0.0 && ws[k] > 0.0f && std::isfinite(ws[k]) &&
                             std::abs(x[k]) <= kBand && std::abs(y[k]) <= kBand;
            if (!bUnclipped) {
                KxRefClipVertex h[3];
                for (int k = 0; k < 3; ++k)
                    h[k] = KxRefHomogeneous(object[k].x, object[k].y, object[k].z, u[k], v[k], c[k], combined,
                                            clipSpace);
                const std::vector<KxRefClipVertex> polygon = KxRefClip(h[0], h[1], h[2], kBand);
                for (size_t j = 2; j < polygon.size(); ++j)
                    Fill(target, bDepth, KxRefProject(polygon[0], bTex), KxRefProject(polygon[j - 1], bTex),
                         KxRefProject(polygon[j], bTex));
                continue;
            }
            Fill(target, bDepth, {x[0], y[0], p[0].z, c[0], uw[0], vw[0], iw[0]},
                 {x[1], y[1], p[1].z, c[1], uw[1], vw[1], iw[1]}, {x[2], y[2], p[2].z, c[2], uw[2], vw[2], iw[2]});
        }
    }

    static void Fill(KxSoftwareRenderDevice& target, bool bDepth, const KxRefScreenVertex& a,
                     const KxRefScreenVertex& b, const KxRefScreenVertex& c)
    {
        if (!bDepth)
            target.FillGouraudTriangle(a.x, a.y, b.x, b.y, c.x, c.y, a.color, b.color, c.color);
        else
            target.RasterizeTriangle(a.x, a.y, a.z, b.x, b.y, b.z, c.x, c.y, c.z, a.color, b.color, c.color,
                                     a.uOverW, a.vOverW, b.uOverW, b.vOverW, c.uOverW, c.vOverW, a.invW, b.invW,
                                     c.invW);
    }
};

// Formats with and without normals, colours, texture sets of each size, and
// a pre-transformed one.
constexpr uint32_t kFormats[] = {0x112, 0x152, 0x1D2, 0x012, 0x042, 0x142, 0x10112, 0x20112, 0x30112,
                                 0x212, 0x002, 0x104, 0x052};

struct KxRandomScene : KxTestRandom {
    KxColor Color()
    {
        const float alpha = Chance(80) ? 1.0f : Uniform(0.0f, 1.5f);
        return KxColor(Uniform(-0.2f, 1.2f), Uniform(0.0f, 1.0f), Uniform(0.0f, 1.0f), alpha);
    }

    // A few coordinates far off the screen, behind the eye or not finite.
    float Coordinate(float spread)
    {
        const int pick = Int(0, 199);
        if (pick < 2)
            return pick == 0 ? 1e30f : std::nanf("");
        return pick < 6 ? Uniform(-4000.0f, 4000.0f) : Uniform(-spread, spread);
    }

    // Positions, then normals and texture coordinates where the format has
    // them; colours keep random bits. Positions without normals are screen
    // positions, so they are spread over the frame.
    std::vector<uint8_t> Vertices(uint32_t fvf, uint32_t count)
    {
        const int32_t stride = KxFvf::ComputeVertexSize(fvf);
        std::vector<uint8_t> bytes(size_t(stride) * count + size_t(Int(0, 40)));
        for (uint8_t& b : bytes)
            b = uint8_t(Int(0, 255));
        const bool bNormal = fvf & KXFVF_NORMAL, bColor = fvf & (KXFVF_DIFFUSE | KXFVF_SPECULAR);
        const float spread = (Chance(30) ? 3.0f : 1.0f) * (bNormal ? 1.0f : 40.0f);
        for (uint32_t i = 0; i < count; ++i) {
            for (int32_t k = 0; 4 * k + 4 <= stride && (k < 3 || (k < 6 && bNormal) || !bColor); ++k) {
                const float value = k < 3                 ? Coordinate(spread)
                                    : k < 6 && bNormal ? Uniform(-1.0f, 1.0f)
                                                       : Uniform(-0.5f, 1.5f);
                std::memcpy(bytes.data() + size_t(i) * size_t(stride) + 4 * k, &value, 4);
            }
        }
        return bytes;
    }

    KxMatrix4 World()
    {
        KxMatrix4 m = KxMatrix4().SetRotationXYZ(Uniform(-3, 3), Uniform(-3, 3), Uniform(-3, 3));
        if (Chance(50))
            m *= KxMatrix4().SetScaling(Uniform(0.3f, 2.0f), Uniform(0.3f, 2.0f), Uniform(0.3f, 2.0f));
        m *= KxMatrix4().SetTranslation(Uniform(-2, 2), Uniform(-2, 2), Uniform(-1, 6));
        if (Chance(10))
            m.m[0][3] = Uniform(-0.1f, 0.1f);  // not affine: w varies
        return m;
    }

    void SetState(KxSoftwareRenderDevice& d)
    {
        for (auto [code, percent] : {std::pair{KXRS_ZENABLE, 70}, {KXRS_LIGHTING, 90}, {KXRS_SPECULARENABLE, 40},
                                     {KXRS_CLIPPING, 50}})
            d.SetRenderState(code, Chance(percent));
        d.SetRenderState(KXRS_SHADEMODE, Chance(90) ? 2 : 1);
        d.SetRenderState(KXRS_AMBIENT, Chance(50) ? 0 : uint32_t(rng()));
        for (uint32_t code : {KXRS_DIFFUSEMATERIALSOURCE, KXRS_SPECULARMATERIALSOURCE, KXRS_AMBIENTMATERIALSOURCE})
            d.SetRenderState(code, Chance(80) ? 0 : uint32_t(Int(1, 2)));
        const KxMaterial m{Color(), Color(), Color(), Chance(70) ? KxColor(0, 0, 0, Chance(80) ? 1.0f : 0.0f) : Color(),
                           Chance(30) ? 0.0f : Uniform(0.5f, 20.0f)};
        d.SetMaterial(&m);
        for (int i = 0; i < 4; ++i) {
            const KxLight light{0, Color(), Color(), Chance(50) ? KxColor(0, 0, 0, 1) : Color(), {},
                                Chance(5) ? KxVector3() : KxVector3(Uniform(-1, 1), Uniform(-1, 1), Uniform(-1, 1))};
            const int index = Int(-2, 5);
            d.SetLight(index, &light);
            d.LightEnable(index, Chance(60));
        }
    }
};

}  // namespace

// The device under test draws on every thread count of the tests.
struct PipelineReference : ::testing::TestWithParam<uint32_t> {};

INSTANTIATE_TEST_SUITE_P(Threads, PipelineReference, ::testing::ValuesIn(kKxTestThreadCounts),
                         [](const auto& info) { return KxThreadsName(info.param); });

TEST_P(PipelineReference, RandomScenesDrawAsTheTranscription)
{
    KxTestDevice dut(83, 61, GetParam()), ref(83, 61);
    const KxTexturePtr texture = KxMakeTexture(8, 4, KxDistinctTexels(32));
    // A new device's material colour holders start as the reference's do;
    // the reference's outlive each run.
    heldAmbient = heldDiffuse = heldSpecular = KxColor(0, 0, 0, 1);

    std::vector<bool> visible;
    KxRandomScene scene{{std::mt19937(15)}};
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(round);
        KxTexture* stage = scene.Chance(70) ? texture.get() : nullptr;
        for (KxTestDevice* t : {&dut, &ref}) {
            t->device.SetTexture(0, stage);
            t->device.Clear(0, nullptr, 3, 0x203040, 1.0f, 0);
        }
        scene.SetState(dut.device);
        KxMatrix4 view, projection;
        view.SetLookAtLeftHanded(KxVector3(scene.Uniform(-1, 1), scene.Uniform(-1, 1), -4.0f),
                                 KxVector3(scene.Uniform(-0.5f, 0.5f), 0.0f, 0.0f), KxVector3(0, 1, 0));
        projection.SetPerspectiveLeftHanded(scene.Uniform(0.5f, 1.5f), 1.3f, 0.5f, scene.Uniform(8, 30));
        dut.device.SetTransform(KXTS_VIEW, &view);
        dut.device.SetTransform(KXTS_PROJECTION, &projection);

        const uint32_t fvf = kFormats[scene.Int(0, std::size(kFormats) - 1)];
        const std::vector<uint8_t> bytes = scene.Vertices(fvf, uint32_t(scene.Int(0, 60)));
        KxVertexBuffer* buffer = nullptr;
        dut.device.CreateVertexBuffer(uint32_t(bytes.size()), 0, fvf, 1, &buffer, nullptr);
        if (!bytes.empty())
            std::memcpy(buffer->data, bytes.data(), bytes.size());
        const int32_t stride = KxFvf::ComputeVertexSize(fvf);
        dut.device.SetStreamSource(0, buffer, 0, uint32_t(scene.Chance(85) ? stride : scene.Int(1, 48)));

        // Several draws of one buffer under different worlds and states.
        for (int draw = 0; draw < 3; ++draw) {
            SCOPED_TRACE(draw);
            const KxMatrix4 world = scene.World();
            dut.device.SetTransform(KXTS_WORLD, &world);
            if (draw > 0 && scene.Chance(50))
                scene.SetState(dut.device);
            KxReferencePipeline pipeline{dut.device, world, view, projection, visible};
            const bool bDrawn = dut.device.DrawPrimitive(KXPT_TRIANGLELIST, 0, 0);
            ASSERT_EQ(bDrawn, buffer->data ? pipeline.Draw(*buffer, ref.device) : false);
            ASSERT_EQ(dut.device.GetTriangleVisible(), visible);
            if (!buffer->data || fvf & KXFVF_XYZRHW)
                continue;
            ASSERT_EQ(dut.device.GetCombinedMatrix(), pipeline.combined);
            ASSERT_EQ(0, std::memcmp(&buffer->boundsCentre, &pipeline.centre, sizeof(KxVector3)));
            for (const auto& [index, set] : dut.device.GetLights())
                ASSERT_EQ(0, std::memcmp(&set.light.Direction, &pipeline.lights.at(index).light.Direction,
                                         sizeof(KxVector3)));
            ASSERT_EQ(dut.Frame(), ref.Frame());
        }
        buffer->Release();
    }
}
