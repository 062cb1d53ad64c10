// Point and spot lights against a plain transcription of their arithmetic
// (docs/api.md, "Point and spot lights"), through real draws: random lights
// of every type over random triangles, vertices placed exactly at a light's
// range and at its cones' edges; hand-worked cases; and the AVX2 path
// against the scalar one with such lights.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "kxtestdevice.h"
#include "render/kxgeometry_avx2.h"
#include "render/kxvertexbatch.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

struct Vertex {
    float x, y, z, nx, ny, nz;
};

uint32_t LowByte(double value)
{
    if (!(value > -9223372036854775808.0 && value < 9223372036854775808.0))
        return 0;
    return uint32_t(int64_t(value)) & 0xFFu;
}

float Min1(float v)
{
    return v > 1.0f ? 1.0f : v;
}

// sum += c x s, each channel limited to at most 1.
void Accumulate(float sum[4], const KxColor& c, float s)
{
    const float add[4] = {c.r * s, c.g * s, c.b * s, c.a * s};
    for (int k = 0; k < 4; ++k)
        sum[k] = Min1(sum[k] + add[k]);
}

struct Reference {
    const KxSoftwareRenderDevice& d;
    KxMatrix4 view;

    uint32_t State(uint32_t code) const
    {
        uint32_t v = 0;
        d.GetRenderState(code, &v);
        return v;
    }

    // What light set gives a vertex at p: false for nothing; else the unit
    // vector l toward the light and the weight w.
    static bool Contribution(const KxLightSet& set, const KxVector3& p, KxVector3& l, float& w)
    {
        const KxLight& light = set.light;
        if (light.Type != 1 && light.Type != 2) {
            l = -set.storedDirection;
            w = 1.0f;
            return true;
        }
        if (!(light.Range > 0.0f))
            return false;
        if (light.Type == 2) {
            const float length = set.storedDirection.Length();
            if (!(length > 0.0f) || std::isinf(length) || std::isnan(light.Theta) || std::isnan(light.Phi) ||
                std::isnan(light.Falloff))
                return false;
        }
        const KxVector3 offset(light.Position.x - p.x, light.Position.y - p.y, light.Position.z - p.z);
        const float squared = float(double(offset.x) * offset.x + double(offset.y) * offset.y +
                                    double(offset.z) * offset.z);
        const float distance = float(std::sqrt(double(squared)));
        if (distance > light.Range || std::isnan(distance))
            return false;
        const double dd = distance;
        const double sum = double(light.Attenuation0) + double(light.Attenuation1) * dd +
                           double(light.Attenuation2) * (dd * dd);
        if (sum <= 0.0 || std::isnan(sum))
            return false;
        if (distance == 0.0f) {
            l = KxVector3(0, 0, 0);
        } else {
            const float r = float(1.0 / distance);
            l = KxVector3(offset.x * r, offset.y * r, offset.z * r);
        }
        w = float(1.0 / sum);
        if (light.Type == 1)
            return true;
        const KxVector3 axis = set.storedDirection.Normalized();
        const float rho = -l.Dot(axis);
        const float outer = float(std::cos(double(light.Phi) / 2.0));
        const float inner = float(std::cos(double(light.Theta) / 2.0));
        if (rho <= outer || std::isnan(rho))
            return false;
        if (rho <= inner)
            w *= std::pow(float(double(rho - outer) / double(inner - outer)), light.Falloff);
        return true;
    }

    uint32_t Shade(const KxVector3& n, const KxVector3& p) const
    {
        if (!State(KXRS_LIGHTING))
            return 0xFF000000u;
        const uint32_t a = State(KXRS_AMBIENT);
        const KxColor global(float((a & 0xFF) / 255.0), float(((a >> 8) & 0xFF) / 255.0),
                             float(((a >> 16) & 0xFF) / 255.0), 1.0f);
        const KxMaterial& m = d.GetMaterial();
        const bool bSpecular = State(KXRS_SPECULARENABLE) != 0;
        const KxVector3 v(view.m[0][2], view.m[1][2], view.m[2][2]);
        float sa[4] = {}, sd[4] = {}, ss[4] = {};
        for (const auto& [index, set] : d.GetLights()) {
            KxVector3 l;
            float w;
            if (!set.enabled || !Contribution(set, p, l, w))
                continue;
            Accumulate(sa, set.light.Ambient, w);
            Accumulate(sd, m.Diffuse.Modulate(set.light.Diffuse), std::max(n.Dot(l), 0.0f) * w);
            if (bSpecular) {
                const KxVector3 h = (v + l) / (v + l).Length();
                const float s = n.Dot(h);
                Accumulate(ss, set.light.Specular, std::pow(s > 0.0f ? s : 0.0f, m.Power) * w);
            }
        }
        const float ga[4] = {global.r, global.g, global.b, global.a};
        const float ma[4] = {m.Ambient.r, m.Ambient.g, m.Ambient.b, m.Ambient.a};
        const float ms[4] = {m.Specular.r, m.Specular.g, m.Specular.b, m.Specular.a};
        const float me[4] = {m.Emissive.r, m.Emissive.g, m.Emissive.b, m.Emissive.a};
        float t[4];
        for (int k = 0; k < 4; ++k) {
            t[k] = Min1(ma[k] * (ga[k] + sa[k]) + sd[k]);
            if (bSpecular)
                t[k] = Min1(t[k] + ms[k] * ss[k]);
            t[k] = Min1(t[k] + me[k]);
        }
        uint32_t alpha = 0;
        const double scaled = double(m.Diffuse.a) * 255.0 + 0.5;
        if (scaled >= 0.0)
            alpha = scaled >= 255.0 ? 255u : uint32_t(scaled);
        if (t[3] == 0.0f)
            return alpha << 24;
        return LowByte(double(t[0]) * 255.0 / t[3]) | (LowByte(double(t[1]) * 255.0 / t[3]) << 8) |
               (LowByte(double(t[2]) * 255.0 / t[3]) << 16) | (alpha << 24);
    }
};

// A device looking along +z from the origin, every face drawn, a white
// texture bound; returns the view.
KxMatrix4 SetCamera(KxSoftwareRenderDevice& d)
{
    KxMatrix4 view, projection;
    view.SetLookAtLeftHanded(KxVector3(0, 0, 0), KxVector3(0, 0, 1), KxVector3(0, 1, 0));
    projection.SetPerspectiveLeftHanded(1.2f, 1.3f, 0.5f, 40.0f);
    d.SetTransform(KXTS_VIEW, &view);
    d.SetTransform(KXTS_PROJECTION, &projection);
    d.SetRenderState(KXRS_CULLMODE, KXCULL_NONE);
    // The depth-tested path writes colour only with a texture: a white one
    // keeps most of the lit colour's bits.
    static const KxTexturePtr white = KxMakeTexture(1, 1, {0xFFFFFF});
    d.SetTexture(0, white.get());
    return view;
}

KxVertexBuffer* MakeBuffer(KxSoftwareRenderDevice& d, const std::vector<Vertex>& vertices)
{
    KxVertexBuffer* buffer = nullptr;
    const uint32_t bytes = uint32_t(vertices.size() * sizeof(Vertex));
    d.CreateVertexBuffer(bytes, 0, 0x012, 1, &buffer, nullptr);
    std::memcpy(buffer->data, vertices.data(), bytes);
    d.SetFVF(0x012);
    d.SetStreamSource(0, buffer, 0, sizeof(Vertex));
    return buffer;
}

int32_t Screen(float value)
{
    return int32_t(double(value) + 0.5);
}

// The draw as the reference sees it: every triangle of the buffer
// transformed, lit and filled on its own on the other device.
void DrawReference(const KxSoftwareRenderDevice& dut, const KxMatrix4& view, const KxMatrix4& world,
                   const std::vector<Vertex>& vertices, KxSoftwareRenderDevice& ref)
{
    const Reference lighting{dut, view};
    const KxMatrix4 normalMatrix = world.Inverse().AffineCopy();
    const bool bDepth = lighting.State(KXRS_ZENABLE) != 0;
    for (size_t t = 0; t + 3 <= vertices.size(); t += 3) {
        int32_t x[3], y[3];
        float z[3], invW[3];
        uint32_t color[3];
        for (int k = 0; k < 3; ++k) {
            const Vertex& v = vertices[t + k];
            KxVector3 screen(v.x, v.y, v.z), position(v.x, v.y, v.z), normal(v.nx, v.ny, v.nz);
            const float w = screen.TransformPoint(dut.GetCombinedMatrix());
            position.TransformPoint(world);
            normal.TransformNormal(normalMatrix);
            x[k] = Screen(screen.x);
            y[k] = Screen(screen.y);
            z[k] = screen.z;
            invW[k] = float(1.0 / w);
            color[k] = lighting.Shade(bDepth ? normal.Normalized() : normal, position);
        }
        if (bDepth)
            ref.RasterizeTriangle(x[0], y[0], z[0], x[1], y[1], z[1], x[2], y[2], z[2], color[0], color[1],
                                  color[2], 0, 0, 0, 0, 0, 0, invW[0], invW[1], invW[2]);
        else
            ref.FillGouraudTriangle(x[0], y[0], x[1], y[1], x[2], y[2], color[0], color[1], color[2]);
    }
}

struct RandomLights : KxTestRandom {
    KxColor Color() { return KxColor(Uniform(0, 1), Uniform(0, 1), Uniform(0, 1), Chance(85) ? 1.0f : Uniform(0, 1)); }

    KxVector3 Point(float spread)
    {
        return KxVector3(Uniform(-spread, spread), Uniform(-spread, spread), Uniform(-spread, spread));
    }

    float Falloff()
    {
        const float common[] = {0.0f, 1.0f, 2.0f};
        return Chance(75) ? common[Int(0, 2)] : Uniform(0.1f, 8.0f);
    }

    float Attenuation()
    {
        if (Chance(10))
            return Chance(50) ? -Uniform(0, 1) : kNaN;
        return Chance(30) ? 0.0f : Uniform(0, 1);
    }

    // Types 0 to 3 and others; ranges, cones and attenuations often at
    // their edges: zero, negative, NaN, Theta beyond Phi.
    KxLight Light()
    {
        const int32_t types[] = {0, 1, 2, 3, 1, 2, 1, 2, 7, -1};
        KxLight l;
        l.Type = types[Int(0, 9)];
        l.Diffuse = Color();
        l.Specular = Color();
        l.Ambient = Chance(40) ? KxColor(0, 0, 0, 1) : Color();
        l.Position = Point(3.0f);
        l.Position.z += 4.0f;
        l.Direction = Chance(5) ? KxVector3() : Point(1.0f);
        const int range = Int(0, 19);
        l.Range = range == 0 ? 0.0f : range == 1 ? -1.0f : range == 2 ? kNaN : Uniform(0.5f, 6.0f);
        l.Attenuation0 = Attenuation();
        l.Attenuation1 = Attenuation();
        l.Attenuation2 = Attenuation();
        if (l.Attenuation0 == 0.0f && Chance(70))
            l.Attenuation0 = 1.0f;
        l.Theta = Uniform(0.0f, 2.5f);
        l.Phi = Chance(15) ? Uniform(0.0f, 2.5f) : l.Theta + Uniform(0.0f, 1.5f);
        if (Chance(3))
            l.Phi = kNaN;
        l.Falloff = Falloff();
        return l;
    }
};

// The smallest float Phi whose half-angle cosine is exactly rho, if any.
bool PhiAtCosine(float rho, float& phi)
{
    phi = float(2.0 * std::acos(double(rho)));
    for (int i = 0; i < 64; ++i, phi = std::nextafter(phi, 4.0f))
        if (float(std::cos(double(phi) / 2.0)) == rho)
            return true;
    return false;
}

}  // namespace

// Random lights of every type, several per draw, over random triangles in
// front of the camera, with and without specular, on both fillers. Some
// lights have their range set to exactly a vertex's distance or the float
// below it, some their cones' edges exactly on a vertex.
TEST(LocalLights, RandomDrawsMatchTheTranscription)
{
    KxTestDevice dut(96, 72), ref(96, 72);
    RandomLights r{{std::mt19937(23)}};
    int nAtRange = 0, nAtCone = 0;
    for (int round = 0; round < 250; ++round) {
        SCOPED_TRACE(round);
        KxSoftwareRenderDevice& d = dut.device;
        const KxMatrix4 view = SetCamera(d);
        SetCamera(ref.device);
        d.SetRenderState(KXRS_ZENABLE, r.Chance(70));
        d.SetRenderState(KXRS_SPECULARENABLE, r.Chance(50));
        d.SetRenderState(KXRS_AMBIENT, r.Chance(50) ? 0 : uint32_t(r.rng()) & 0x404040u);
        const KxMaterial material{KxColor(r.Uniform(0, 1), r.Uniform(0, 1), r.Uniform(0, 1), 1.0f), r.Color(),
                                  r.Color(), KxColor(0, 0, 0, 1), r.Chance(20) ? 0.0f : r.Uniform(1, 30)};
        d.SetMaterial(&material);

        KxMatrix4 world = KxMatrix4().SetRotationXYZ(r.Uniform(-3, 3), r.Uniform(-3, 3), r.Uniform(-3, 3));
        world *= KxMatrix4().SetTranslation(r.Uniform(-0.5f, 0.5f), r.Uniform(-0.5f, 0.5f), r.Uniform(3.5f, 5.0f));
        d.SetTransform(KXTS_WORLD, &world);
        std::vector<Vertex> vertices;
        for (int i = 3 * r.Int(1, 12); i > 0; --i) {
            const KxVector3 p = r.Point(1.0f), n = r.Point(1.0f);
            vertices.push_back({p.x, p.y, p.z, n.x, n.y, n.z});
        }
        // A vertex's world position, for lights placed against it.
        auto worldOf = [&](size_t i) {
            KxVector3 p(vertices[i].x, vertices[i].y, vertices[i].z);
            p.TransformPoint(world);
            return p;
        };

        const int nLights = r.Int(1, 5);
        for (int i = 0; i < nLights; ++i) {
            KxLight light = r.Light();
            const KxVector3 target = worldOf(size_t(r.Int(0, int(vertices.size()) - 1)));
            const float distance = (light.Position - target).Length();
            if (light.Type == 1 && r.Chance(40)) {
                light.Range = r.Chance(50) ? distance : std::nextafter(distance, 0.0f);
                ++nAtRange;
            }
            if (light.Type == 2 && r.Chance(50)) {
                // The axis through the target; the vertex on the inner or
                // the outer cone's edge.
                light.Direction = target - light.Position;
                light.Range = 100.0f;
                const KxVector3 l = (light.Position - target) / distance;
                const float rho = -l.Dot(light.Direction.Normalized());
                float edge;
                if (PhiAtCosine(rho, edge)) {
                    const bool bInner = r.Chance(50);
                    (bInner ? light.Theta : light.Phi) = edge;
                    (bInner ? light.Phi : light.Theta) = bInner ? edge + 0.5f : edge * 0.5f;
                    ++nAtCone;
                }
            }
            if (r.Chance(10))
                light.Position = target;  // a vertex at the light itself
            const int index = r.Int(-2, 6);
            d.SetLight(index, &light);
            d.LightEnable(index, r.Chance(80));
        }

        KxVertexBuffer* buffer = MakeBuffer(d, vertices);
        for (KxTestDevice* t : {&dut, &ref})
            t->device.Clear(0, nullptr, KXCLEAR_TARGET | KXCLEAR_ZBUFFER, 0x203040, 1.0f, 0);
        ASSERT_TRUE(d.DrawPrimitive(KXPT_TRIANGLELIST, 0, uint32_t(vertices.size() / 3)));
        DrawReference(d, view, world, vertices, ref.device);
        buffer->Release();
        ASSERT_EQ(dut.Frame(), ref.Frame());
    }
    EXPECT_GT(nAtRange, 40);
    EXPECT_GT(nAtCone, 40);
}

// Worked by hand: a light 2 units from a vertex that faces it, diffuse
// (1, 0.5, 0.25) on a white material, or the light's ambient alone where the
// weight is what is looked at (ambient white, diffuse black).
TEST(LocalLights, HandWorkedCases)
{
    struct Case {
        const char* what;
        int32_t type;
        KxVector3 position, direction;
        float range, a0, a1, a2, theta, phi, falloff;
        bool bAmbientOnly;
        uint32_t expected;  // red in bits 0-7
    };
    const float kQuarter = 0.785398163f;  // 45 degrees
    const float kSixth = 1.04719755f;     // 60 degrees
    const Case cases[] = {
        {"point, inside the range", 1, {0, 0, 5}, {}, 3.0f, 0, 0.5f, 0, 0, 0, 0, false, 0x3F7FFF},
        {"point, exactly at the range", 1, {0, 0, 5}, {}, 2.0f, 0, 0.5f, 0, 0, 0, 0, false, 0x3F7FFF},
        {"point, just beyond it", 1, {0, 0, 5}, {}, 1.9999999f, 0, 0.5f, 0, 0, 0, 0, false, 0},
        {"point, 1 / (1 + 0.25 d^2)", 1, {0, 0, 5}, {}, 3.0f, 1, 0, 0.25f, 0, 0, 0, false, 0x1F3F7F},
        {"point, attenuations all 0", 1, {0, 0, 5}, {}, 3.0f, 0, 0, 0, 0, 0, 0, false, 0},
        {"point, negative attenuation", 1, {0, 0, 5}, {}, 3.0f, -1, 0, 0, 0, 0, 0, false, 0},
        {"point, range 0", 1, {0, 0, 3}, {}, 0.0f, 1, 0, 0, 0, 0, 0, true, 0},
        {"point, range NaN", 1, {0, 0, 5}, {}, kNaN, 1, 0, 0, 0, 0, 0, false, 0},
        {"point at the vertex: no direction, no diffuse", 1, {0, 0, 3}, {}, 1.0f, 1, 0, 0, 0, 0, 0, false, 0},
        {"point at the vertex: its ambient, attenuated", 1, {0, 0, 3}, {}, 1.0f, 4, 0, 0, 0, 0, 0, true, 0x3F3F3F},
        {"point behind the face", 1, {0, 0, 1}, {}, 3.0f, 1, 0, 0, 0, 0, 0, false, 0},
        {"spot on its axis", 2, {0, 0, 5}, {0, 0, -1}, 3.0f, 1, 0, 0, 0.2f, 0.4f, 1, true, 0xFFFFFF},
        {"spot, 45 degrees off, falloff 1", 2, {2, 0, 5}, {0, 0, -1}, 3.0f, 1, 0, 0, kSixth, 2 * kSixth, 1, true,
         0x909090},
        {"spot, 45 degrees off, falloff 2", 2, {2, 0, 5}, {0, 0, -1}, 3.0f, 1, 0, 0, kSixth, 2 * kSixth, 2, true,
         0x515151},
        {"spot, 45 degrees off, falloff 0", 2, {2, 0, 5}, {0, 0, -1}, 3.0f, 1, 0, 0, kSixth, 2 * kSixth, 0, true,
         0xFFFFFF},
        {"spot, outside Phi", 2, {2, 0, 5}, {0, 0, -1}, 3.0f, 1, 0, 0, 0.5f, 2 * kQuarter - 0.01f, 1, true, 0},
        {"spot, Theta beyond Phi: hard edge at Phi", 2, {2, 0, 5}, {0, 0, -1}, 3.0f, 1, 0, 0, 2.6f, 1.7f, 1,
         true, 0xFFFFFF},
        {"spot without a direction", 2, {0, 0, 5}, {0, 0, 0}, 3.0f, 1, 0, 0, 0.2f, 0.4f, 1, true, 0},
        {"spot, NaN falloff", 2, {0, 0, 5}, {0, 0, -1}, 3.0f, 1, 0, 0, 0.2f, 0.4f, kNaN, true, 0},
        {"type 0 is directional", 0, {0, 0, 50}, {0, 0, -1}, 0.0f, 0, 0, 0, 0, 0, 0, false, 0x3F7FFF},
        {"type 3 is directional", 3, {0, 0, 50}, {0, 0, -1}, 0.0f, 0, 0, 0, 0, 0, 0, false, 0x3F7FFF},
        {"type 9 is directional", 9, {0, 0, 50}, {0, 0, -1}, 0.0f, 0, 0, 0, 0, 0, 0, false, 0x3F7FFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        KxTestDevice t;
        KxSoftwareRenderDevice& d = t.device;
        d.SetRenderState(KXRS_AMBIENT, 0);
        const KxMaterial material{KxColor(1, 1, 1, 1), KxColor(1, 1, 1, 1), KxColor(0, 0, 0, 1),
                                  KxColor(0, 0, 0, 0), 0};
        d.SetMaterial(&material);
        KxLight light;
        light.Type = c.type;
        light.Diffuse = c.bAmbientOnly ? KxColor(0, 0, 0, 1) : KxColor(1, 0.5f, 0.25f, 1);
        light.Ambient = c.bAmbientOnly ? KxColor(1, 1, 1, 0) : KxColor(0, 0, 0, 0);
        light.Position = c.position;
        light.Direction = c.direction;
        light.Range = c.range;
        light.Attenuation0 = c.a0;
        light.Attenuation1 = c.a1;
        light.Attenuation2 = c.a2;
        light.Theta = c.theta;
        light.Phi = c.phi;
        light.Falloff = c.falloff;
        d.SetLight(0, &light);
        // A draw turns directions into working ones.
        SetCamera(d);
        KxVertexBuffer* buffer = MakeBuffer(d, {{-1, -1, 4, 0, 0, -1}, {1, -1, 4, 0, 0, -1}, {0, 1, 4, 0, 0, -1}});
        d.DrawPrimitive(KXPT_TRIANGLELIST, 0, 1);
        buffer->Release();
        EXPECT_EQ(d.LightVertex(KxVector3(0, 0, 1), KxVector3(0, 0, 3)) & 0xFFFFFFu, c.expected);
    }
}

// A draw's lights refreshed per draw: a point light moved between two draws
// of the same buffer lights it anew, and a light switched to type 0 is
// directional again, with today's bytes.
TEST(LocalLights, TypeChangesTakeEffectAtTheNextDraw)
{
    KxTestDevice lit(96, 72), directional(96, 72);
    std::vector<Vertex> vertices = {{-1, -1, 4, 0, 0, -1}, {1, -1, 4, 0, 0, -1}, {0, 1, 4, 0, 0, -1}};
    for (KxTestDevice* t : {&lit, &directional}) {
        SetCamera(t->device);
        const KxMaterial material{KxColor(1, 1, 1, 1), KxColor(0, 0, 0, 1), KxColor(0, 0, 0, 1),
                                  KxColor(0, 0, 0, 0), 0};
        t->device.SetMaterial(&material);
    }
    KxLight light;
    light.Diffuse = KxColor(1, 1, 1, 1);
    light.Direction = KxVector3(0, 0, 1);
    light.Range = 20;
    light.Attenuation0 = 1;
    light.Attenuation1 = 0.25f;
    directional.device.SetLight(0, &light);
    light.Type = KXLIGHT_POINT;
    light.Position = KxVector3(0, 0, 3);
    lit.device.SetLight(0, &light);
    KxVertexBuffer* a = MakeBuffer(lit.device, vertices);
    KxVertexBuffer* b = MakeBuffer(directional.device, vertices);
    auto draw = [](KxTestDevice& t) {
        t.device.Clear(0, nullptr, KXCLEAR_TARGET | KXCLEAR_ZBUFFER, 0, 1.0f, 0);
        t.device.DrawPrimitive(KXPT_TRIANGLELIST, 0, 1);
        return t.Color(48, 36);
    };
    const uint32_t near = draw(lit);
    light.Position = KxVector3(0, 0, -6);
    lit.device.SetLight(0, &light);
    const uint32_t far = draw(lit);
    EXPECT_GT(near & 0xFF, far & 0xFF);
    EXPECT_GT(far & 0xFF, 0u);
    light.Type = 0;
    lit.device.SetLight(0, &light);
    draw(lit);
    draw(directional);
    EXPECT_EQ(lit.Frame(), directional.Frame());
    a->Release();
    b->Release();
}

// With point and spot lights the AVX2 path transforms the normals in lanes
// and shades one vertex at a time: every colour must be the scalar one.
TEST(LocalLights, VertexBatchesMatchTheScalarPath)
{
    if (!KxGeometryAvx2Available())
        GTEST_SKIP() << "no AVX2";
    RandomLights r{{std::mt19937(5)}};
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(round);
        KxLightTerms terms;
        terms.bLighting = true;
        terms.bSpecular = r.Chance(50);
        terms.bLocalLights = true;
        terms.power = r.Uniform(0, 20);
        terms.materialAmbient = r.Color();
        terms.globalAmbient = r.Color();
        terms.viewDirection = r.Point(1.0f);
        for (int n = r.Int(1, 4); n > 0; --n) {
            const KxLight light = r.Light();
            KxLightTerm term{light.Direction, r.Color(), r.Point(1.0f), r.Color(), r.Color()};
            term.bLocal = light.Type == 1 || light.Type == 2;
            if (term.bLocal && !KxMakeLocalLight(light, light.Direction, term.local))
                continue;
            terms.lights.push_back(term);
        }
        const KxMatrix4 world = KxMatrix4().SetRotationXYZ(r.Uniform(-3, 3), r.Uniform(-3, 3), r.Uniform(-3, 3));
        KxMatrix4 combined = world, normals = world.Inverse().AffineCopy();
        combined.m[3][2] = 5.0f;
        const KxVertexTransform t{&combined, &combined, &normals, &terms, r.Chance(60), false, &world};
        KxVertexBatch in;
        in.count = r.Int(0, KxVertexBatch::kVertices);
        for (int32_t i = 0; i < in.count; ++i) {
            const KxVector3 p = r.Point(2.0f), n = r.Point(1.0f);
            in.px[i] = p.x, in.py[i] = p.y, in.pz[i] = p.z + 4.0f;
            in.nx[i] = n.x, in.ny[i] = n.y, in.nz[i] = n.z;
        }
        KxVertexBatch lanes = in, scalar = in;
        KxTransformVerticesAvx2(t, lanes);
        KxTransformVerticesScalar(t, scalar, 0, scalar.count);
        ASSERT_EQ(0, std::memcmp(lanes.color, scalar.color, sizeof(uint32_t) * size_t(in.count)));
    }
}

// A light left out, or one that gives a vertex nothing, adds nothing to
// its sums: not a zero times a NaN, not a NaN. Under a grey global ambient
// every case shows that grey alone.
TEST(LocalLights, LightsThatGiveNothingLeaveTheOthers)
{
    struct Case {
        const char* what;
        KxVector3 direction;
        float range, a0, theta, phi, falloff;
    };
    const Case cases[] = {
        {"NaN Theta", {0, 0, -1}, 3, 1, kNaN, 0.4f, 1},
        {"NaN Phi", {0, 0, -1}, 3, 1, 0.2f, kNaN, 1},
        {"NaN Falloff", {0, 0, -1}, 3, 1, 0.2f, 0.4f, kNaN},
        {"no direction, a cone past half a turn", {0, 0, 0}, 3, 1, 0.2f, 6.0f, 1},
        {"a direction too long to measure", {0, 0, -1e30f}, 3, 1, 0.2f, 6.0f, 1},
        {"range 0", {0, 0, -1}, 0, 1, 0.2f, 0.4f, 1},
        {"range below 0", {0, 0, -1}, -1, 1, 0.2f, 0.4f, 1},
        {"attenuation sum 0", {0, 0, -1}, 3, 0, 0.2f, 0.4f, 1},
        {"attenuation NaN", {0, 0, -1}, 3, kNaN, 0.2f, 0.4f, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        KxTestDevice t;
        KxSoftwareRenderDevice& d = t.device;
        d.SetRenderState(KXRS_AMBIENT, 0x404040);
        const KxMaterial material{KxColor(1, 1, 1, 1), KxColor(1, 1, 1, 1), KxColor(0, 0, 0, 1),
                                  KxColor(0, 0, 0, 0), 0};
        d.SetMaterial(&material);
        KxLight light;
        light.Type = KXLIGHT_SPOT;
        light.Diffuse = KxColor(1, 1, 1, 1);
        light.Ambient = KxColor(1, 1, 1, 0);
        light.Position = KxVector3(0, 0, 5);
        light.Direction = c.direction;
        light.Range = c.range;
        light.Attenuation0 = c.a0;
        light.Theta = c.theta;
        light.Phi = c.phi;
        light.Falloff = c.falloff;
        d.SetLight(0, &light);
        EXPECT_EQ(d.LightVertex(KxVector3(0, 0, 1), KxVector3(0, 0, 3)) & 0xFFFFFFu, 0x404040u);
    }
}
