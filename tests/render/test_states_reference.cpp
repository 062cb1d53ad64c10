// Depth functions, depth writes, the alpha test and blending on both fillers
// against a plain transcription of the documented arithmetic: spans and
// triangles walked with four channels (alpha the fourth), each pixel's tests
// and blend in double precision and plain integers. Random states, colours,
// depths and textures with and without alpha; every colour byte and depth
// entry must agree.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "kxtestdevice.h"

namespace {

// The states under test, set on the device by their codes.
struct KxStates {
    uint32_t zFunc = 4, zWrite = 1, alphaTest = 0, alphaRef = 0, alphaFunc = 8;
    uint32_t blend = 0, src = 2, dest = 1, op = 1;

    void Apply(KxSoftwareRenderDevice& d) const
    {
        const std::pair<uint32_t, uint32_t> states[] = {
            {KXRS_ZFUNC, zFunc},         {KXRS_ZWRITEENABLE, zWrite}, {KXRS_ALPHATESTENABLE, alphaTest},
            {KXRS_ALPHAREF, alphaRef},   {KXRS_ALPHAFUNC, alphaFunc}, {KXRS_ALPHABLENDENABLE, blend},
            {KXRS_SRCBLEND, src},        {KXRS_DESTBLEND, dest},      {KXRS_BLENDOP, op}};
        for (auto [code, value] : states)
            EXPECT_TRUE(d.SetRenderState(code, value)) << code << " = " << value;
    }
};

KxStates RandomStates(KxTestRandom& r)
{
    KxStates s;
    if (r.Chance(15))
        return s;  // the plain states
    s.zFunc = uint32_t(r.Int(1, 8));
    s.zWrite = r.Chance(70);
    s.alphaTest = r.Chance(50);
    s.alphaRef = uint32_t(r.Chance(20) ? r.Int(0, 1) * 255 : r.Int(0, 255));
    s.alphaFunc = uint32_t(r.Int(1, 8));
    s.blend = r.Chance(70);
    s.src = uint32_t(r.Int(1, 13));
    s.dest = uint32_t(r.Int(1, 11));
    s.op = uint32_t(r.Int(1, 5));
    return s;
}

// a FUNC b for the functions 1 never .. 8 always.
bool Passes(uint32_t func, uint32_t a, uint32_t b)
{
    const bool results[] = {false, a < b, a == b, a <= b, a > b, a != b, a >= b, true};
    return results[func - 1];
}

// One channel blended: factors of 0..255 for 0..1, the destination alpha
// 255 (the buffer has none), the sum rounded to the nearest integer.
uint32_t Blend(const KxStates& s, uint32_t source, uint32_t alpha, uint32_t dest)
{
    if (s.op == 4 || s.op == 5)
        return s.op == 4 ? std::min(source, dest) : std::max(source, dest);
    uint32_t srcCode = s.src, destCode = s.dest;
    if (s.src == 12 || s.src == 13) {
        srcCode = s.src == 12 ? 5 : 6;
        destCode = s.src == 12 ? 6 : 5;
    }
    auto factor = [&](uint32_t code) -> double {
        const double values[] = {0, 255, double(source), 255.0 - source, double(alpha), 255.0 - alpha, 255, 0,
                                 double(dest), 255.0 - dest, 0 /* min(alpha, 255 - 255) */};
        return values[code - 1];
    };
    const double a = source * factor(srcCode), b = dest * factor(destCode);
    const double sum = s.op == 1 ? a + b : s.op == 2 ? std::max(a - b, 0.0) : std::max(b - a, 0.0);
    return uint32_t(std::min(std::floor(sum / 255.0 + 0.5), 255.0));
}

// Channel k of a packed colour: 0 blue, 1 green, 2 red, 3 alpha.
int32_t Channel(uint32_t color, int k)
{
    return int32_t((color >> (k == 3 ? 24 : 16 - 8 * k)) & 0xFF);
}

int32_t Round16(int64_t v)
{
    return int32_t((v + 32768) >> 16);
}

float Slope(float from, float to, int64_t n)
{
    return n ? float((double(to) - double(from)) / double(n)) : 0.0f;
}

struct KxVertex {
    int32_t x, y;
    float z;
    uint32_t color;
    float u, v, invW;
};

// The device's buffers as they were, drawn into as documented.
struct KxReference {
    const KxTestDevice& t;
    KxStates s;
    bool bDepth32 = false;
    const int32_t width = t.device.GetWidth(), height = t.device.GetHeight(), rowStride = t.device.GetRowStride();
    std::vector<uint32_t> frame = t.Frame();  // colour bytes, then depth entries

    uint32_t& Colour(int32_t x, int32_t y, int k) { return frame[size_t(y * rowStride + 3 * x + k)]; }
    uint32_t& Depth(int32_t x, int32_t y) { return frame[size_t(rowStride * height + y * width + x)]; }

    // The highest bound stage alone is sampled.
    const KxTexture* Texture() const
    {
        const KxTexture* texture = nullptr;
        for (uint32_t stage = 0; stage < 8; ++stage)
            if (t.device.GetTextureStage(stage))
                texture = t.device.GetTextureStage(stage);
        return texture;
    }

    // A textured fragment: depth test, texel and alpha, alpha test, depth
    // write, colour.
    void Fragment(int32_t x, int32_t y, float z, float invW, float u, float v, const int32_t acc[4])
    {
        const double scaled = 65535.0 * double(z) + 0.5;
        if (!(scaled >= -0x1p63 && scaled < 0x1p63))
            return;
        const uint32_t depth = uint32_t(uint64_t(int64_t(scaled)));
        if (!Passes(s.zFunc, depth, Depth(x, y)))
            return;
        uint32_t alpha = uint32_t(Round16(acc[3])) & 0xFF, source[3] = {};
        const KxTexture* texture = Texture();
        if (texture) {
            const double w = 1.0 / double(invW);
            const uint32_t texel = texture->SampleWithAlpha(float(w * u), float(w * v));
            for (int k = 0; k < 3; ++k) {
                const double value = double(Channel(texel, k)) * (Round16(acc[k]) * double(0.00390625f)) + 0.5;
                source[k] = uint8_t(int32_t(value));
            }
            alpha = uint32_t(std::floor(double(texel >> 24) * alpha / 255.0 + 0.5));
        }
        if (s.alphaTest && !Passes(s.alphaFunc, alpha, s.alphaRef))
            return;
        if (s.zWrite)
            Depth(x, y) = bDepth32 ? depth : std::min(depth, 65535u);
        for (int k = 0; texture && k < 3; ++k)
            Colour(x, y, k) = s.blend ? Blend(s, source[k], alpha, Colour(x, y, k)) : source[k];
    }

    // A Gouraud pixel: the rounded channels, alpha the fourth.
    void GouraudPixel(int32_t x, int32_t y, const int32_t acc[4])
    {
        const uint32_t alpha = uint32_t(Round16(acc[3])) & 0xFF;
        if (s.alphaTest && !Passes(s.alphaFunc, alpha, s.alphaRef))
            return;
        for (int k = 0; k < 3; ++k) {
            const uint32_t source = uint32_t(Round16(acc[k])) & 0xFF;
            Colour(x, y, k) = s.blend ? Blend(s, source, alpha, Colour(x, y, k)) : source;
        }
    }

    // Ends ordered; clipped on the left with every attribute advanced.
    void Span(KxVertex a, KxVertex b, int32_t y)
    {
        if (y < 0 || y >= height)
            return;
        if (a.x > b.x)
            std::swap(a, b);
        if (b.x < 0 || a.x >= width)
            return;
        const int64_t n = int64_t(b.x) - a.x;
        int32_t acc[4], dAcc[4];
        for (int k = 0; k < 4; ++k) {
            acc[k] = Channel(a.color, k) * 65536;
            dAcc[k] = n == 0 ? 0 : int32_t(int64_t((Channel(b.color, k) - Channel(a.color, k)) * 65536) / n);
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
            for (int c = 0; c < 4; ++c)
                acc[c] = int32_t(acc[c] + k * dAcc[c]);
            a.x = 0;
        }
        for (int32_t x = a.x; x <= std::min(b.x, width - 1); ++x) {
            Fragment(x, y, z, invW, u, v, acc);
            z += dz;
            invW += dInvW;
            u += du;
            v += dv;
            for (int k = 0; k < 4; ++k)
                acc[k] += dAcc[k];
        }
    }

    // Ordered, clamped without adjusting the colours.
    void GouraudSpan(KxVertex a, KxVertex b, int32_t y)
    {
        if (y < 0 || y >= height)
            return;
        if (b.x < a.x)
            std::swap(a, b);
        const int32_t xa = std::max(a.x, 0), xb = std::min(b.x, width - 1), n = xb - xa;
        for (int32_t x = xa; x <= xb; ++x) {
            int32_t acc[4];
            for (int k = 0; k < 4; ++k) {
                const int32_t gradient = n == 0 ? 0 : (Channel(b.color, k) - Channel(a.color, k)) * 65536 / n;
                acc[k] = Channel(a.color, k) * 65536 + (x - xa) * gradient;
            }
            GouraudPixel(x, y, acc);
        }
    }
};

// One edge walked a row at a time, four channels.
struct KxEdge {
    int64_t x, dx;
    int32_t c[4], dc[4];
    float z, dz, u, du, v, dv, w, dw;

    KxEdge(const KxVertex& a, const KxVertex& b, int32_t n)
        : x(int64_t(a.x) * 65536), dx((int64_t(b.x) - a.x) * 65536 / n), z(a.z), dz(Slope(a.z, b.z, n)), u(a.u),
          du(Slope(a.u, b.u, n)), v(a.v), dv(Slope(a.v, b.v, n)), w(a.invW), dw(Slope(a.invW, b.invW, n))
    {
        for (int k = 0; k < 4; ++k) {
            c[k] = Channel(a.color, k) * 65536;
            dc[k] = (Channel(b.color, k) - Channel(a.color, k)) * 65536 / n;
        }
    }
    KxVertex At() const
    {
        uint32_t color = uint32_t(Round16(c[3]) & 0xFF) << 24;
        for (int k = 0; k < 3; ++k)
            color |= uint32_t(Round16(c[k]) & 0xFF) << (16 - 8 * k);
        return {int32_t((x + 32768) >> 16), 0, z, color, u, v, w};
    }
    void Step()
    {
        x += dx;
        for (int k = 0; k < 4; ++k)
            c[k] = int32_t(uint32_t(c[k]) + uint32_t(dc[k]));
        z += dz;
        u += du;
        v += dv;
        w += dw;
    }
};

// Sort, split at the middle row, walk both halves row by row.
template <typename SpanFn>
void ReferenceTriangle(KxVertex a, KxVertex b, KxVertex c, SpanFn span)
{
    if (a.y > b.y)
        std::swap(a, b);
    if (a.y > c.y)
        std::swap(a, c);
    if (b.y > c.y)
        std::swap(b, c);
    auto walk = [&span](const KxVertex& fromA, const KxVertex& toA, const KxVertex& fromB, const KxVertex& toB,
                        int32_t first, int32_t last) {
        KxEdge ea(fromA, toA, last - first), eb(fromB, toB, last - first);
        for (int32_t y = first; y <= last; ++y, ea.Step(), eb.Step())
            span(ea.At(), eb.At(), y);
    };
    if (a.y == c.y)
        return;
    if (a.y == b.y)
        return walk(b, c, a, c, b.y, c.y);
    if (b.y == c.y)
        return walk(a, b, a, c, a.y, b.y);
    const int32_t d = b.y - a.y, h = c.y - a.y;
    auto split = [d, h](float from, float to) { return float((double(to) - double(from)) / h * d + double(from)); };
    uint32_t color = 0;
    for (int k = 0; k < 4; ++k) {
        const int32_t channel = Round16(Channel(a.color, k) * 65536 + (Channel(c.color, k) - Channel(a.color, k)) * 65536 / h * d);
        color |= uint32_t(channel & 0xFF) << (k == 3 ? 24 : 16 - 8 * k);
    }
    const KxVertex s{int32_t((((int64_t(c.x) - a.x) * 65536 / h * d + int64_t(a.x) * 65536) + 32768) >> 16), b.y,
                     split(a.z, c.z), color, split(a.u, c.u), split(a.v, c.v), split(a.invW, c.invW)};
    walk(a, b, a, s, a.y, b.y);
    walk(b, c, s, c, b.y, c.y);
}

// A texture of random colours and alphas (KXFMT_A8R8G8B8), or without alpha.
KxTexturePtr RandomTexture(KxTestRandom& r, int32_t width, int32_t height, bool bAlpha)
{
    std::vector<uint8_t> bytes(size_t(4 * width * height));
    for (uint8_t& byte : bytes)
        byte = uint8_t(r.rng());
    for (size_t i = 3; i < bytes.size() && r.Chance(30); i += 4)
        bytes[i] = r.Chance(50) ? 255 : 0;  // many opaque or clear texels
    KxSoftwareRenderDevice device;
    KxTexture* pTexture = nullptr;
    device.CreateTextureFromMemory(bytes.data(), width, height, 4 * width, bAlpha ? KXFMT_A8R8G8B8 : KXFMT_X8R8G8B8,
                                   &pTexture);
    return KxTexturePtr(pTexture);
}

// Colours with alphas of every kind: opaque, clear, anything.
uint32_t RandomColour(KxTestRandom& r)
{
    const uint32_t alpha = r.Chance(25) ? 255 : r.Chance(15) ? 0 : uint32_t(r.Int(0, 255));
    return (alpha << 24) | (uint32_t(r.rng()) & 0xFFFFFF);
}

// A vertex of a triangle near the frame; now and then one far off it.
KxVertex RandomVertex(KxTestRandom& r, int32_t width, int32_t height)
{
    const int32_t spread = r.Chance(10) ? 3000 : 0;
    KxVertex v{spread ? r.Int(-spread, spread) : r.Int(-8, width + 8), r.Int(-6, height + 6), r.Uniform(-0.05f, 1.05f),
               RandomColour(r), 0, 0, r.Uniform(0.3f, 1.5f)};
    v.u = r.Uniform(-0.2f, 1.2f) * v.invW;
    v.v = r.Uniform(-0.2f, 1.2f) * v.invW;
    return v;
}

// Random frame contents, and a depth buffer of either size cleared to
// random depths (some at the ends of the range).
void Prepare(KxTestDevice& t, KxTestRandom& r, bool bDepth32)
{
    t.device.CreateDepthBuffer(bDepth32);
    t.device.Clear(0, nullptr, 3, uint32_t(r.rng()), r.Chance(20) ? float(r.Int(0, 1)) : r.Uniform(0.0f, 1.0f), 0);
    uint8_t* pixels = t.device.GetPixels();
    for (int32_t i = 0; i < t.device.GetRowStride() * t.device.GetHeight(); ++i)
        if (r.Chance(50))
            pixels[i] = uint8_t(r.rng());
}

void DrawTriangle(KxTestDevice& t, KxReference& f, const KxVertex v[3], bool bRasterizer)
{
    if (bRasterizer) {
        t.device.RasterizeTriangle(v[0].x, v[0].y, v[0].z, v[1].x, v[1].y, v[1].z, v[2].x, v[2].y, v[2].z,
                                   v[0].color, v[1].color, v[2].color, v[0].u, v[0].v, v[1].u, v[1].v, v[2].u,
                                   v[2].v, v[0].invW, v[1].invW, v[2].invW);
        ReferenceTriangle(v[0], v[1], v[2], [&f](const KxVertex& a, const KxVertex& b, int32_t y) { f.Span(a, b, y); });
    } else {
        t.device.FillGouraudTriangle(v[0].x, v[0].y, v[1].x, v[1].y, v[2].x, v[2].y, v[0].color, v[1].color,
                                     v[2].color);
        ReferenceTriangle(v[0], v[1], v[2],
                          [&f](const KxVertex& a, const KxVertex& b, int32_t y) { f.GouraudSpan(a, b, y); });
    }
}

}  // namespace

// The device under test draws on every thread count of the tests.
struct StatesReference : ::testing::TestWithParam<uint32_t> {};

INSTANTIATE_TEST_SUITE_P(Threads, StatesReference, ::testing::ValuesIn(kKxTestThreadCounts),
                         [](const auto& info) { return KxThreadsName(info.param); });

TEST_P(StatesReference, RandomSpansAndTrianglesUnderRandomStates)
{
    KxTestDevice t(37, 23, GetParam());
    KxTestRandom r{std::mt19937(2222)};
    const KxTexturePtr textures[] = {RandomTexture(r, 8, 4, true), RandomTexture(r, 5, 3, true),
                                     RandomTexture(r, 4, 4, false), KxMakeTexture(3, 3, KxDistinctTexels(9))};
    for (int round = 0; round < 240; ++round) {
        SCOPED_TRACE(round);
        const bool bDepth32 = r.Chance(30);
        Prepare(t, r, bDepth32);
        for (int stage = 0; stage < 8; ++stage)
            t.device.SetTexture(stage, nullptr);
        if (!r.Chance(15))
            t.device.SetTexture(uint32_t(r.Int(0, 7)), textures[r.Int(0, 3)].get());
        const KxStates states = RandomStates(r);
        states.Apply(t.device);
        KxReference f{t, states, bDepth32};
        for (int i = 0; i < 6; ++i) {
            KxVertex v[3];
            for (KxVertex& vertex : v)
                vertex = RandomVertex(r, 37, 23);
            if (i % 3 == 2) {  // a span, drawn twice now and then: equal depths
                for (int pass = 0; pass < 1 + r.Chance(30); ++pass) {
                    t.device.RasterizeSpan(v[0].x, v[1].x, v[0].y, v[0].z, v[1].z, v[0].color, v[1].color, v[0].u,
                                           v[0].v, v[1].u, v[1].v, v[0].invW, v[1].invW);
                    f.Span(v[0], v[1], v[0].y);
                }
                continue;
            }
            DrawTriangle(t, f, v, i % 3 == 0);
        }
        ASSERT_EQ(t.Frame(), f.frame);
    }
    KxStates().Apply(t.device);
}

// Every source factor with every destination factor under every operation,
// on both fillers, with a texture whose alpha varies.
TEST_P(StatesReference, EveryBlendFactorPairAndOperation)
{
    KxTestDevice t(19, 13, GetParam());
    KxTestRandom r{std::mt19937(19)};
    const KxTexturePtr texture = RandomTexture(r, 4, 4, true);
    t.device.SetTexture(0, texture.get());
    for (uint32_t op = 1; op <= 5; ++op) {
        for (uint32_t src = 1; src <= 13; ++src) {
            for (uint32_t dest = 1; dest <= 11; ++dest) {
                SCOPED_TRACE(testing::Message() << "op " << op << ", " << src << " / " << dest);
                KxStates states;
                states.zFunc = 8;  // always: every pixel blends
                states.blend = 1;
                states.src = src;
                states.dest = dest;
                states.op = op;
                states.Apply(t.device);
                Prepare(t, r, false);
                KxReference f{t, states};
                for (bool bRasterizer : {true, false}) {
                    KxVertex v[3];
                    for (KxVertex& vertex : v)
                        vertex = RandomVertex(r, 19, 13);
                    DrawTriangle(t, f, v, bRasterizer);
                }
                ASSERT_EQ(t.Frame(), f.frame);
            }
        }
    }
    KxStates().Apply(t.device);
}

// Every depth function with and without depth writes, on both depth
// buffers: overlapping triangles, some at one depth throughout so that
// equal depths meet.
TEST_P(StatesReference, EveryDepthFunctionWithAndWithoutWrites)
{
    KxTestDevice t(29, 17, GetParam());
    KxTestRandom r{std::mt19937(23)};
    const KxTexturePtr texture = KxMakeTexture(4, 4, KxDistinctTexels(16));
    t.device.SetTexture(2, texture.get());
    for (uint32_t zFunc = 1; zFunc <= 8; ++zFunc) {
        for (uint32_t zWrite : {0u, 1u}) {
            for (bool bDepth32 : {false, true}) {
                SCOPED_TRACE(testing::Message() << "function " << zFunc << ", writes " << zWrite << ", 32-bit "
                                                << bDepth32);
                KxStates states;
                states.zFunc = zFunc;
                states.zWrite = zWrite;
                states.Apply(t.device);
                Prepare(t, r, bDepth32);
                KxReference f{t, states, bDepth32};
                const float flat = r.Uniform(0.2f, 0.8f);
                for (int i = 0; i < 8; ++i) {
                    KxVertex v[3];
                    for (KxVertex& vertex : v) {
                        vertex = RandomVertex(r, 29, 17);
                        vertex.z = i % 2 ? flat : r.Chance(10) ? r.Uniform(1.0f, 1.2f) : vertex.z;
                    }
                    DrawTriangle(t, f, v, true);
                }
                ASSERT_EQ(t.Frame(), f.frame);
            }
        }
    }
    KxStates().Apply(t.device);
}
