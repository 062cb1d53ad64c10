// Sampler states against a plain transcription of the documented sampling:
// texel indices found by exact integer arithmetic (a float coordinate is a
// whole number or a fraction small enough for exact products), the
// bilinear sum channel by channel, the filter chosen from the pixel's
// footprint. Random textures (1 x 1, 1 x N, N x 1, other sizes, with and
// without alpha), coordinates far out (+-1e6 and beyond), infinite and NaN,
// through the sampler itself and through the rasteriser's real draws.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>
#include <utility>
#include <vector>

#include "kxtestdevice.h"

namespace {

const float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::numeric_limits<float>::quiet_NaN();

// A texture and its texels as the docs describe them: alpha in bits 24-31
// (255 without alpha), then blue, green, red.
struct KxRefTexture {
    int64_t width, height;
    std::vector<uint32_t> texels;
    KxTexturePtr texture;

    uint32_t At(int64_t column, int64_t row) const { return texels[size_t(row * width + column)]; }
};

KxRefTexture RandomTexture(KxTestRandom& r, int32_t width, int32_t height, bool bAlpha)
{
    std::vector<uint8_t> bytes(size_t(4 * width * height));
    for (uint8_t& byte : bytes)
        byte = uint8_t(r.rng());
    KxRefTexture t{width, height, {}, nullptr};
    for (size_t i = 0; i < bytes.size(); i += 4) {
        const uint32_t alpha = bAlpha ? bytes[i + 3] : 255;
        t.texels.push_back(alpha << 24 | uint32_t(bytes[i]) << 16 | uint32_t(bytes[i + 1]) << 8 | bytes[i + 2]);
    }
    KxSoftwareRenderDevice device;
    KxTexture* pTexture = nullptr;
    EXPECT_TRUE(device.CreateTextureFromMemory(bytes.data(), width, height, 4 * width,
                                               bAlpha ? KXFMT_A8R8G8B8 : KXFMT_X8R8G8B8, &pTexture));
    t.texture.reset(pTexture);
    return t;
}

// floor(scale * c) mod period, exactly, for a finite c and a period of
// scale or twice it: below 2^23 the product is exact in double; above, c is
// a whole number and scale * c a multiple of scale.
int64_t FloorMod(float c, int64_t scale, int64_t period)
{
    int64_t r;
    if (std::fabs(c) < 0x1p23f)
        r = int64_t(std::floor(double(scale) * double(c))) % period;
    else
        r = scale * int64_t(std::fmod(double(c), double(period / scale))) % period;
    return r < 0 ? r + period : r;
}

// Index m of two copies of n texels, the second reversed.
int64_t Mirrored(int64_t m, int64_t n)
{
    return m < n ? m : 2 * n - 1 - m;
}

// The point rule: clamp is trunc(trunc(n c) - 0.5) brought into the image
// (NaN reads 0); wrap and mirror take floor(n c) - 1 around their period
// (non-finite coordinates read 0).
int64_t PointIndex(uint32_t mode, int64_t n, float c)
{
    if (mode == KXTADDRESS_CLAMP) {
        const double x = std::trunc(std::trunc(double(n) * double(c)) - 0.5);
        return std::isnan(x) ? 0 : int64_t(std::clamp(x, 0.0, double(n - 1)));
    }
    if (!std::isfinite(c))
        return 0;
    const int64_t period = mode == KXTADDRESS_WRAP ? n : 2 * n;
    return Mirrored((FloorMod(c, n, period) - 1 + period) % period, n);
}

struct KxPair {
    int64_t first, second, weight;
};

// The bilinear pair: position floor(256 n c) - 128 in 1/256 texel.
KxPair LinearPair(uint32_t mode, int64_t n, float c)
{
    if (mode == KXTADDRESS_CLAMP) {
        const double x = std::floor(256.0 * double(n) * double(c)) - 128.0;
        if (std::isnan(x))
            return {0, 0, 0};
        const int64_t at = int64_t(std::clamp(x, 0.0, 256.0 * double(n - 1)));
        return {at / 256, std::min(at / 256 + 1, n - 1), at % 256};
    }
    if (!std::isfinite(c))
        return {0, 0, 0};
    const int64_t texels = mode == KXTADDRESS_WRAP ? n : 2 * n, period = 256 * texels;
    const int64_t at = (FloorMod(c, 256 * n, period) - 128 + period) % period;
    return {Mirrored(at / 256, n), Mirrored((at / 256 + 1) % texels, n), at % 256};
}

uint32_t Filtered(const KxRefTexture& tex, const KxSamplerStates& states, float s, float t, uint32_t filter)
{
    if (filter == KXTEXF_POINT)
        return tex.At(PointIndex(states.addressU, tex.width, s), PointIndex(states.addressV, tex.height, t));
    const KxPair x = LinearPair(states.addressU, tex.width, s), y = LinearPair(states.addressV, tex.height, t);
    const uint32_t corners[4] = {tex.At(x.first, y.first), tex.At(x.second, y.first), tex.At(x.first, y.second),
                                 tex.At(x.second, y.second)};
    const int64_t weights[4] = {(256 - x.weight) * (256 - y.weight), x.weight * (256 - y.weight),
                                (256 - x.weight) * y.weight, x.weight * y.weight};
    uint32_t texel = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        int64_t sum = 0;
        for (int i = 0; i < 4; ++i)
            sum += int64_t((corners[i] >> shift) & 0xFF) * weights[i];
        texel |= uint32_t((sum + 32768) / 65536) << shift;
    }
    return texel;
}

// How u/w, v/w and 1/w change per column (X) and per row (Y).
struct KxGradients {
    double uX = 0, vX = 0, qX = 0, uY = 0, vY = 0, qY = 0;
};

// A pixel's footprint: at most one texel across and one down.
bool Magnified(const KxRefTexture& tex, const KxGradients& g, float s, float t, float invW)
{
    const double w = double(tex.width), h = double(tex.height), q = invW;
    const double a = (g.uX - double(s) * g.qX) * w, b = (g.vX - double(t) * g.qX) * h;
    const double c = (g.uY - double(s) * g.qY) * w, d = (g.vY - double(t) * g.qY) * h;
    return a * a + b * b <= q * q && c * c + d * d <= q * q;
}

struct KxVertex {
    int32_t x, y;
    float z;
    uint32_t color;
    float u, v, invW;  // u and v divided by w
};

// The plane through three corners; three corners on a line have none.
KxGradients PlaneOf(const KxVertex& p0, const KxVertex& p1, const KxVertex& p2)
{
    const double e1x = double(p1.x) - p0.x, e1y = double(p1.y) - p0.y;
    const double e2x = double(p2.x) - p0.x, e2y = double(p2.y) - p0.y;
    const double det = e1x * e2y - e2x * e1y;
    if (det == 0) {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        return {nan, nan, nan, nan, nan, nan};
    }
    auto along = [&](float a0, float a1, float a2, double& x, double& y) {
        const double d1 = double(a1) - a0, d2 = double(a2) - a0;
        x = (d1 * e2y - d2 * e1y) / det;
        y = (d2 * e1x - d1 * e2x) / det;
    };
    KxGradients g;
    along(p0.u, p1.u, p2.u, g.uX, g.uY);
    along(p0.v, p1.v, p2.v, g.vX, g.vY);
    along(p0.invW, p1.invW, p2.invW, g.qX, g.qY);
    return g;
}

int32_t Channel(uint32_t color, int k)
{
    return int32_t((color >> (16 - 8 * k)) & 0xFF);
}

float Slope(float from, float to, int64_t n)
{
    return n ? float((double(to) - double(from)) / double(n)) : 0.0f;
}

// The device's colour and depth bytes, drawn into as documented under the
// default depth states, with the alpha test on or off.
struct KxReference {
    const KxTestDevice& t;
    const KxRefTexture* tex;
    KxSamplerStates states;
    uint32_t alphaRef = 0;  // passes when the texel's alpha is at least this
    const int32_t width = t.device.GetWidth(), height = t.device.GetHeight(), rowStride = t.device.GetRowStride();
    std::vector<uint32_t> frame = t.Frame();

    void Pixel(int32_t x, int32_t y, float z, float invW, float u, float v, const int32_t acc[3],
               const KxGradients& g)
    {
        const uint32_t depth = uint32_t(int64_t(65535.0 * double(z) + 0.5));
        uint32_t& stored = frame[size_t(rowStride * height + y * width + x)];
        if (depth > stored)
            return;
        const double w = 1.0 / double(invW);
        const float s = float(w * u), tc = float(w * v);
        const bool bMag = states.magFilter == states.minFilter || Magnified(*tex, g, s, tc, invW);
        const uint32_t texel = Filtered(*tex, states, s, tc, bMag ? states.magFilter : states.minFilter);
        if ((texel >> 24) < alphaRef)
            return;
        stored = depth;
        for (int k = 0; k < 3; ++k) {
            const int32_t channel = (acc[k] + 32768) >> 16;
            frame[size_t(y * rowStride + 3 * x + k)] = uint8_t(int32_t(
                double(Channel(texel, k)) * (channel * double(0.00390625f)) + 0.5));
        }
    }

    void Span(KxVertex a, KxVertex b, int32_t y, const KxGradients& g)
    {
        if (y < 0 || y >= height)
            return;
        if (a.x > b.x)
            std::swap(a, b);
        if (b.x < 0 || a.x >= width)
            return;
        const int64_t n = int64_t(b.x) - a.x;
        int32_t acc[3], dAcc[3];
        for (int k = 0; k < 3; ++k) {
            acc[k] = Channel(a.color, k) * 65536;
            dAcc[k] = n == 0 ? 0 : int32_t((Channel(b.color, k) - Channel(a.color, k)) * 65536 / n);
        }
        float z = a.z, u = a.u, v = a.v, invW = a.invW;
        const float dz = Slope(a.z, b.z, n), du = Slope(a.u, b.u, n), dv = Slope(a.v, b.v, n);
        const float dInvW = Slope(a.invW, b.invW, n);
        if (a.x < 0) {
            const int64_t k = -int64_t(a.x);
            z = float(double(z) + double(k) * double(dz));
            u = float(double(u) + double(k) * double(du));
            v = float(double(v) + double(k) * double(dv));
            invW = float(double(invW) + double(k) * double(dInvW));
            for (int c = 0; c < 3; ++c)
                acc[c] = int32_t(acc[c] + k * dAcc[c]);
            a.x = 0;
        }
        for (int32_t x = a.x; x <= std::min(b.x, width - 1); ++x) {
            Pixel(x, y, z, invW, u, v, acc, g);
            z += dz;
            invW += dInvW;
            u += du;
            v += dv;
            for (int k = 0; k < 3; ++k)
                acc[k] += dAcc[k];
        }
    }

    // A span drawn alone: its footprint along the row only.
    void LoneSpan(const KxVertex& a, const KxVertex& b, int32_t y)
    {
        KxGradients g;
        if (a.x != b.x) {
            const double n = double(int64_t(b.x) - a.x);
            g.uX = (double(b.u) - a.u) / n;
            g.vX = (double(b.v) - a.v) / n;
            g.qX = (double(b.invW) - a.invW) / n;
        }
        Span(a, b, y, g);
    }

    // Rows first to last between edge A (a0 to a1) and edge B (b0 to b1),
    // in the plane of the half's corners.
    void Half(const KxVertex& a0, const KxVertex& a1, const KxVertex& b0, const KxVertex& b1, int32_t first,
              int32_t last, const KxGradients& g)
    {
        struct Edge {
            int64_t x, dx;
            int32_t c[3], dc[3];
            float z, dz, u, du, v, dv, w, dw;
        };
        auto edge = [n = last - first](const KxVertex& p, const KxVertex& q) {
            Edge e{int64_t(p.x) * 65536, (int64_t(q.x) - p.x) * 65536 / n, {}, {}, p.z, Slope(p.z, q.z, n),
                   p.u, Slope(p.u, q.u, n), p.v, Slope(p.v, q.v, n), p.invW, Slope(p.invW, q.invW, n)};
            for (int k = 0; k < 3; ++k) {
                e.c[k] = Channel(p.color, k) * 65536;
                e.dc[k] = (Channel(q.color, k) - Channel(p.color, k)) * 65536 / n;
            }
            return e;
        };
        auto at = [](const Edge& e) {
            uint32_t color = 0xFF000000u;
            for (int k = 0; k < 3; ++k)
                color |= uint32_t(((e.c[k] + 32768) >> 16) & 0xFF) << (16 - 8 * k);
            return KxVertex{int32_t((e.x + 32768) >> 16), 0, e.z, color, e.u, e.v, e.w};
        };
        Edge ea = edge(a0, a1), eb = edge(b0, b1);
        for (int32_t y = first; y <= last; ++y) {
            Span(at(ea), at(eb), y, g);
            for (Edge* e : {&ea, &eb}) {
                e->x += e->dx;
                for (int k = 0; k < 3; ++k)
                    e->c[k] += e->dc[k];
                e->z += e->dz;
                e->u += e->du;
                e->v += e->dv;
                e->w += e->dw;
            }
        }
    }

    void FlatBottom(const KxVertex& top, const KxVertex& left, const KxVertex& right)
    {
        if (top.y != left.y && top.y != right.y)
            Half(top, left, top, right, top.y, left.y, PlaneOf(top, left, right));
    }

    void FlatTop(const KxVertex& left, const KxVertex& right, const KxVertex& bottom)
    {
        if (right.y != bottom.y && left.y != bottom.y)
            Half(right, bottom, left, bottom, right.y, bottom.y, PlaneOf(left, right, bottom));
    }

    void Triangle(KxVertex a, KxVertex b, KxVertex c)
    {
        if (a.y > b.y)
            std::swap(a, b);
        if (a.y > c.y)
            std::swap(a, c);
        if (b.y > c.y)
            std::swap(b, c);
        if (a.y == b.y)
            return FlatTop(a, b, c);
        if (b.y == c.y)
            return FlatBottom(a, b, c);
        const int32_t d = b.y - a.y, h = c.y - a.y;
        auto split = [d, h](float from, float to) { return float((double(to) - from) / h * d + double(from)); };
        uint32_t color = 0xFF000000u;
        for (int k = 0; k < 3; ++k) {
            const int32_t step = (Channel(c.color, k) - Channel(a.color, k)) * 65536 / h;
            color |= uint32_t(((Channel(a.color, k) * 65536 + step * d + 32768) >> 16) & 0xFF) << (16 - 8 * k);
        }
        const KxVertex s{int32_t(((int64_t(c.x) - a.x) * 65536 / h * d + int64_t(a.x) * 65536 + 32768) >> 16), b.y,
                         split(a.z, c.z), color, split(a.u, c.u), split(a.v, c.v), split(a.invW, c.invW)};
        FlatBottom(a, b, s);
        FlatTop(s, b, c);
    }
};

KxSamplerStates RandomStates(KxTestRandom& r)
{
    KxSamplerStates s;
    s.addressU = uint32_t(r.Int(1, 3));
    s.addressV = uint32_t(r.Int(1, 3));
    s.magFilter = uint32_t(r.Int(1, 2));
    s.minFilter = uint32_t(r.Int(1, 2));
    return s;
}

void Apply(KxSoftwareRenderDevice& device, uint32_t stage, const KxSamplerStates& s)
{
    EXPECT_TRUE(device.SetSamplerState(stage, KXSAMP_ADDRESSU, s.addressU));
    EXPECT_TRUE(device.SetSamplerState(stage, KXSAMP_ADDRESSV, s.addressV));
    EXPECT_TRUE(device.SetSamplerState(stage, KXSAMP_MAGFILTER, s.magFilter));
    EXPECT_TRUE(device.SetSamplerState(stage, KXSAMP_MINFILTER, s.minFilter));
}

// Coordinates of every kind: inside and around the texture, on texel
// edges, far out where float steps exceed a texel, infinite and NaN.
float RandomCoordinate(KxTestRandom& r, int32_t size)
{
    switch (r.Int(0, 9)) {
    case 0:
        return float(r.Int(-2 * size, 3 * size)) / float(size);  // a texel edge
    case 1:
        return (float(r.Int(-2 * size, 3 * size)) + 0.5f) / float(size);  // a texel centre
    case 2:
        return (r.Chance(50) ? 1e6f : -1e6f) + r.Uniform(-2.0f, 2.0f);
    case 3:
        return std::ldexp(r.Uniform(-1.0f, 1.0f), r.Int(20, 127));  // whole numbers up to 2^127
    case 4:
        return r.Chance(50) ? kNaN : r.Chance(50) ? kInf : -kInf;
    case 5:
        return std::ldexp(r.Uniform(-1.0f, 1.0f), r.Int(-140, -10));  // next to 0, subnormals too
    default:
        return r.Uniform(-3.0f, 4.0f);
    }
}

}  // namespace

// Every accepted value of every state on every stage reads back; anything
// else is refused and changes nothing.
TEST(SamplerStates, SetAndGetAcceptTheDirect3DCodesOnly)
{
    KxTestDevice t(8, 8);
    KxSoftwareRenderDevice& d = t.device;
    const struct {
        uint32_t type, first, last, initial;
    } kTypes[] = {{KXSAMP_ADDRESSU, 1, 3, 3}, {KXSAMP_ADDRESSV, 1, 3, 3}, {KXSAMP_MAGFILTER, 1, 2, 1},
                  {KXSAMP_MINFILTER, 1, 2, 1}};
    for (uint32_t stage = 0; stage < 8; ++stage) {
        for (const auto& type : kTypes) {
            uint32_t value = 99;
            ASSERT_TRUE(d.GetSamplerState(stage, type.type, &value));
            EXPECT_EQ(value, type.initial) << "stage " << stage << ", type " << type.type;
            for (uint32_t v : {0u, type.last + 1, 5u, 0xFFFFFFFFu}) {
                EXPECT_FALSE(d.SetSamplerState(stage, type.type, v));
                ASSERT_TRUE(d.GetSamplerState(stage, type.type, &value));
                EXPECT_EQ(value, type.initial);
            }
            for (uint32_t v = type.first; v <= type.last; ++v) {
                EXPECT_TRUE(d.SetSamplerState(stage, type.type, v));
                ASSERT_TRUE(d.GetSamplerState(stage, type.type, &value));
                EXPECT_EQ(value, v);
            }
            EXPECT_TRUE(d.SetSamplerState(stage, type.type, type.initial));
        }
    }
    uint32_t value = 7;
    for (uint32_t type : {0u, 3u, 4u, 7u, 8u, 9u, 10u, 11u, 12u, 13u, 14u}) {
        EXPECT_FALSE(d.SetSamplerState(0, type, 1)) << type;
        EXPECT_FALSE(d.GetSamplerState(0, type, &value)) << type;
    }
    EXPECT_FALSE(d.SetSamplerState(8, KXSAMP_ADDRESSU, 1));
    EXPECT_FALSE(d.GetSamplerState(8, KXSAMP_ADDRESSU, &value));
    EXPECT_FALSE(d.GetSamplerState(0, KXSAMP_ADDRESSU, nullptr));
    EXPECT_EQ(value, 7u);
}

// Texel edges and centres worked out by hand on a row of four texels:
// point sampling sits one texel off the nearest; bilinear pairs follow the
// address mode at the ends of the image.
TEST(SamplerStates, PointAndLinearAtTexelEdgesByHand)
{
    // Blue channels 0, 40, 80, 200 (bits 16-23), everything else 0.
    const std::vector<uint32_t> row = {0x000000, 0x280000, 0x500000, 0xC80000};
    const KxTexturePtr texture = KxMakeTexture(4, 1, row);
    auto blue = [](uint32_t texel) { return int((texel >> 16) & 0xFF); };
    const struct {
        uint32_t mode, filter;
        float s;
        int expected;
    } kCases[] = {
        // point: texel floor(4 s) - 1, clamped or taken around the period
        {KXTADDRESS_CLAMP, KXTEXF_POINT, 0.0f, 0},      {KXTADDRESS_CLAMP, KXTEXF_POINT, 0.49f, 0},
        {KXTADDRESS_CLAMP, KXTEXF_POINT, 1.0f, 200},    {KXTADDRESS_CLAMP, KXTEXF_POINT, -5.0f, 0},
        {KXTADDRESS_WRAP, KXTEXF_POINT, 0.0f, 200},     {KXTADDRESS_WRAP, KXTEXF_POINT, 0.25f, 0},
        {KXTADDRESS_WRAP, KXTEXF_POINT, 1.0f, 200},     {KXTADDRESS_WRAP, KXTEXF_POINT, -0.01f, 80},
        {KXTADDRESS_WRAP, KXTEXF_POINT, 1e6f, 200},     {KXTADDRESS_WRAP, KXTEXF_POINT, -1e6f, 200},
        {KXTADDRESS_WRAP, KXTEXF_POINT, 1e6f + 0.5f, 40},  {KXTADDRESS_CLAMP, KXTEXF_POINT, 0.5f, 40},
        {KXTADDRESS_MIRROR, KXTEXF_POINT, 0.0f, 0},     {KXTADDRESS_MIRROR, KXTEXF_POINT, 1.0f, 200},
        {KXTADDRESS_MIRROR, KXTEXF_POINT, 1.25f, 200},  {KXTADDRESS_MIRROR, KXTEXF_POINT, 1.5f, 80},
        {KXTADDRESS_MIRROR, KXTEXF_POINT, -0.25f, 40},  {KXTADDRESS_MIRROR, KXTEXF_POINT, -0.5f, 80},
        {KXTADDRESS_MIRROR, KXTEXF_POINT, 1e6f, 0},     {KXTADDRESS_MIRROR, KXTEXF_POINT, 1e6f + 1.0f, 200},
        {KXTADDRESS_MIRROR, KXTEXF_POINT, 3e38f, 0},    {KXTADDRESS_WRAP, KXTEXF_POINT, -3e38f, 200},
        {KXTADDRESS_WRAP, KXTEXF_POINT, kNaN, 0},       {KXTADDRESS_MIRROR, KXTEXF_POINT, -kInf, 0},
        {KXTADDRESS_CLAMP, KXTEXF_POINT, kInf, 200},    {KXTADDRESS_CLAMP, KXTEXF_POINT, kNaN, 0},
        // linear: texel i centred at (i + 0.5) / 4; halfway between two
        // centres each weighs 128 of 256: (a * 128 + b * 128 + 128) / 256
        {KXTADDRESS_CLAMP, KXTEXF_LINEAR, 0.125f, 0},   {KXTADDRESS_CLAMP, KXTEXF_LINEAR, 0.375f, 40},
        {KXTADDRESS_CLAMP, KXTEXF_LINEAR, 0.25f, 20},   {KXTADDRESS_CLAMP, KXTEXF_LINEAR, 0.75f, 140},
        {KXTADDRESS_CLAMP, KXTEXF_LINEAR, 0.0f, 0},     {KXTADDRESS_CLAMP, KXTEXF_LINEAR, 1.0f, 200},
        {KXTADDRESS_CLAMP, KXTEXF_LINEAR, kInf, 200},   {KXTADDRESS_CLAMP, KXTEXF_LINEAR, -kInf, 0},
        {KXTADDRESS_WRAP, KXTEXF_LINEAR, 0.0f, 100},    {KXTADDRESS_WRAP, KXTEXF_LINEAR, 1.0f, 100},
        {KXTADDRESS_WRAP, KXTEXF_LINEAR, 0.9375f, 150}, {KXTADDRESS_WRAP, KXTEXF_LINEAR, 1e6f, 100},
        {KXTADDRESS_WRAP, KXTEXF_LINEAR, kNaN, 0},      {KXTADDRESS_WRAP, KXTEXF_LINEAR, 0.0625f, 50},
        {KXTADDRESS_MIRROR, KXTEXF_LINEAR, 0.0f, 0},    {KXTADDRESS_MIRROR, KXTEXF_LINEAR, 1.0f, 200},
        {KXTADDRESS_MIRROR, KXTEXF_LINEAR, 1.25f, 140}, {KXTADDRESS_MIRROR, KXTEXF_LINEAR, -0.25f, 20},
        {KXTADDRESS_MIRROR, KXTEXF_LINEAR, -1e6f, 0},   {KXTADDRESS_MIRROR, KXTEXF_LINEAR, kInf, 0},
    };
    for (const auto& c : kCases) {
        KxSamplerStates states;
        states.addressU = c.mode;
        states.magFilter = states.minFilter = c.filter;
        const KxSampler sampler(texture.get(), states);
        EXPECT_EQ(blue(sampler.Sample(c.s, 0.5f, true)), c.expected)
            << "mode " << c.mode << ", filter " << c.filter << ", s " << c.s;
    }
}

// The sampler alone on random coordinates, every mode and filter, textures
// of one texel, one row, one column and others, with and without alpha:
// all four channels must match.
TEST(SamplerStates, RandomSamplesMatchTheTranscription)
{
    KxTestRandom r{std::mt19937(2301)};
    const std::pair<int32_t, int32_t> kSizes[] = {{1, 1}, {1, 5}, {6, 1}, {5, 3}, {8, 4}, {3, 16}};
    for (const auto& [width, height] : kSizes) {
        for (bool bAlpha : {false, true}) {
            const KxRefTexture tex = RandomTexture(r, width, height, bAlpha);
            for (int i = 0; i < 4000; ++i) {
                const KxSamplerStates states = RandomStates(r);
                const KxSampler sampler(tex.texture.get(), states);
                const float s = RandomCoordinate(r, width), t = RandomCoordinate(r, height);
                const bool bMagnified = r.Chance(50);
                const uint32_t filter = bMagnified ? states.magFilter : states.minFilter;
                ASSERT_EQ(sampler.Sample(s, t, bMagnified), Filtered(tex, states, s, t, filter))
                    << width << " x " << height << " alpha " << bAlpha << ": s " << s << ", t " << t << ", modes "
                    << states.addressU << " " << states.addressV << ", filter " << filter;
            }
        }
    }
}

// The device under test draws on every thread count of the tests.
struct SamplerDraws : ::testing::TestWithParam<uint32_t> {};

INSTANTIATE_TEST_SUITE_P(Threads, SamplerDraws, ::testing::ValuesIn(kKxTestThreadCounts),
                         [](const auto& info) { return KxThreadsName(info.param); });

// Triangles, their halves and lone spans through the rasteriser under
// random sampler states (the highest bound stage's count; others get
// states of their own), against the transcription, every colour byte and
// depth entry. Coordinates reach far out, and some are NaN or infinite.
TEST_P(SamplerDraws, RandomDrawsMatchTheTranscription)
{
    KxTestDevice t(41, 29, GetParam());
    KxTestRandom r{std::mt19937(2302)};
    std::vector<KxRefTexture> textures;
    for (auto [width, height, bAlpha] : {std::tuple{1, 1, false}, {1, 7, true}, {7, 1, false}, {5, 3, true},
                                         {16, 8, false}, {32, 32, true}})
        textures.push_back(RandomTexture(r, width, height, bAlpha));
    for (int round = 0; round < 400; ++round) {
        SCOPED_TRACE(round);
        t.device.Clear(0, nullptr, 3, uint32_t(r.rng()), r.Uniform(0.5f, 1.0f), 0);
        for (uint32_t stage = 0; stage < 8; ++stage) {
            t.device.SetTexture(stage, nullptr);
            Apply(t.device, stage, RandomStates(r));
        }
        const KxRefTexture& tex = textures[size_t(r.Int(0, int32_t(textures.size()) - 1))];
        const uint32_t stage = uint32_t(r.Int(0, 7));
        t.device.SetTexture(stage, tex.texture.get());
        if (stage > 0 && r.Chance(30))
            t.device.SetTexture(uint32_t(r.Int(0, int32_t(stage) - 1)), textures[0].texture.get());
        KxSamplerStates states = RandomStates(r);
        if (r.Chance(40))
            states.magFilter = 3 - states.minFilter;  // the filter chosen per pixel
        Apply(t.device, stage, states);
        const uint32_t alphaRef = r.Chance(25) ? uint32_t(r.Int(1, 255)) : 0;
        t.device.SetRenderState(KXRS_ALPHATESTENABLE, alphaRef != 0);
        t.device.SetRenderState(KXRS_ALPHAFUNC, KXCMP_GREATEREQUAL);
        t.device.SetRenderState(KXRS_ALPHAREF, alphaRef);
        KxReference f{t, &tex, states, alphaRef};
        // Texture coordinates scaled from a few texels to thousands of
        // copies, shifted far out now and then, and a few not finite.
        const float scale = std::ldexp(1.0f, r.Int(-3, 12)), shift = r.Chance(20) ? r.Uniform(-2e6f, 2e6f) : 0.0f;
        for (int i = 0; i < 6; ++i) {
            KxVertex v[3];
            for (KxVertex& p : v) {
                p = {r.Int(-6, 46), r.Int(-4, 33), r.Uniform(0.0f, 1.0f), 0xFF000000u | (uint32_t(r.rng()) & 0xFFFFFF),
                     0, 0, r.Uniform(0.05f, 2.0f)};
                const float u = r.Chance(3) ? kNaN : r.Uniform(-1.0f, 2.0f) * scale + shift;
                const float vv = r.Chance(3) ? -kInf : r.Uniform(-1.0f, 2.0f) * scale + shift;
                p.u = u * p.invW;
                p.v = vv * p.invW;
            }
            switch (i % 3) {
            case 0:
                t.device.RasterizeTriangle(v[0].x, v[0].y, v[0].z, v[1].x, v[1].y, v[1].z, v[2].x, v[2].y, v[2].z,
                                           v[0].color, v[1].color, v[2].color, v[0].u, v[0].v, v[1].u, v[1].v,
                                           v[2].u, v[2].v, v[0].invW, v[1].invW, v[2].invW);
                f.Triangle(v[0], v[1], v[2]);
                break;
            case 1:  // the halves straight, with their rows as given
                v[2].y = v[1].y;
                t.device.RasterizeFlatBottom(v[0].x, v[0].y, v[0].z, v[1].x, v[1].y, v[1].z, v[2].x, v[2].y,
                                             v[2].z, v[0].color, v[1].color, v[2].color, v[0].u, v[0].v, v[1].u,
                                             v[1].v, v[2].u, v[2].v, v[0].invW, v[1].invW, v[2].invW);
                f.FlatBottom(v[0], v[1], v[2]);
                t.device.RasterizeFlatTop(v[1].x, v[1].y, v[1].z, v[2].x, v[2].y, v[2].z, v[0].x, v[0].y, v[0].z,
                                          v[1].color, v[2].color, v[0].color, v[1].u, v[1].v, v[2].u, v[2].v,
                                          v[0].u, v[0].v, v[1].invW, v[2].invW, v[0].invW);
                f.FlatTop(v[1], v[2], v[0]);
                break;
            default:
                t.device.RasterizeSpan(v[0].x, v[1].x, v[0].y, v[0].z, v[1].z, v[0].color, v[1].color, v[0].u,
                                       v[0].v, v[1].u, v[1].v, v[0].invW, v[1].invW);
                f.LoneSpan(v[0], v[1], v[0].y);
            }
        }
        ASSERT_EQ(t.Frame(), f.frame);
    }
    t.device.SetRenderState(KXRS_ALPHATESTENABLE, 0);
}

// Defaults sample as a device without sampler states; setting states and
// setting the defaults back draws the same bytes again.
TEST(SamplerStates, DefaultsDrawTheBytesOfTheDeviceWithoutThem)
{
    KxTestRandom r{std::mt19937(2303)};
    const KxRefTexture tex = RandomTexture(r, 8, 8, false);
    auto draw = [&](KxSoftwareRenderDevice& d) {
        KxTestRandom same{std::mt19937(7)};
        d.Clear(0, nullptr, 3, 0x102030, 1.0f, 0);
        for (int i = 0; i < 40; ++i) {
            float v[15];
            for (float& value : v)
                value = same.Uniform(-2.0f, 3.0f);
            d.RasterizeTriangle(same.Int(-5, 70), same.Int(-5, 50), 0.5f, same.Int(-5, 70), same.Int(-5, 50), 0.4f,
                                same.Int(-5, 70), same.Int(-5, 50), 0.3f, 0xFFFFFF, 0x80FF40, 0x4080FF, v[0], v[1],
                                v[2], v[3], v[4], v[5], 1.0f, 0.5f, 2.0f);
        }
    };
    KxTestDevice plain(64, 48), stated(64, 48);
    plain.device.SetTexture(0, tex.texture.get());
    stated.device.SetTexture(0, tex.texture.get());
    draw(plain.device);
    Apply(stated.device, 0, {KXTADDRESS_WRAP, KXTADDRESS_MIRROR, KXTEXF_LINEAR, KXTEXF_POINT});
    draw(stated.device);
    EXPECT_NE(stated.Frame(), plain.Frame());
    Apply(stated.device, 0, KxSamplerStates());
    draw(stated.device);
    EXPECT_EQ(stated.Frame(), plain.Frame());
}

// Sampler states of stages without a texture change nothing: under the
// plain render states and under others, the pixels pass depth only.
TEST(SamplerStates, StagesWithoutTexturesDrawDepthOnly)
{
    for (uint32_t alphaTest : {0u, 1u}) {
        KxTestDevice plain(32, 24), stated(32, 24);
        for (KxTestDevice* t : {&plain, &stated}) {
            t->device.SetRenderState(KXRS_ALPHATESTENABLE, alphaTest);
            t->device.Clear(0, nullptr, 3, 0x102030, 1.0f, 0);
        }
        for (uint32_t stage = 0; stage < 8; ++stage)
            Apply(stated.device, stage, {KXTADDRESS_MIRROR, KXTADDRESS_WRAP, KXTEXF_LINEAR, KXTEXF_POINT});
        for (KxTestDevice* t : {&plain, &stated}) {
            t->device.RasterizeTriangle(1, 1, 0.5f, 30, 4, 0.25f, 6, 22, 0.75f, 0xFFFFFFFF, 0xFF00FF00, 0xFF0000FF,
                                        0.0f, 0.0f, 3.0f, 0.0f, 0.0f, 3.0f, 1.0f, 0.5f, 0.25f);
            t->device.RasterizeSpan(-3, 40, 12, 0.1f, 0.2f, 0xFFFFFFFF, 0xFF808080, -2.0f, 1.0f, 5.0f, 7.0f, 1.0f, 2.0f);
        }
        EXPECT_EQ(stated.Frame(), plain.Frame());
        EXPECT_EQ(stated.Color(10, 8), 0x102030u);  // depth written, colour left
        EXPECT_LT(stated.device.GetDepth(10, 8), 65535u);
    }
}
