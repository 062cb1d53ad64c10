// Both triangle fillers and the textured span against a plain transcription
// of them: set-up and edge walks in 16.16 fixed point held in 64 bits, one
// row at a time, spans one pixel at a time, modulation in double precision.
// Random spans and triangles that reach far off the screen and beyond the
// coordinate limit; every colour byte and depth entry must agree.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "kxtestdevice.h"

namespace {

constexpr int32_t kLimit = KxSoftwareRenderDevice::kMaxScreenCoordinate;

// A vertex, or the ends of a span (y unused).
struct KxVertex {
    int32_t x, y;
    float z;
    uint32_t color;
    float u, v, invW;
};

int32_t Channel(uint32_t color, int k)
{
    return int32_t((color >> (16 - 8 * k)) & 0xFF);
}

int64_t Round16(int64_t v)
{
    return (v + 32768) >> 16;
}

uint32_t Pack(const int64_t c[3])
{
    return uint32_t(c[0] & 0xFF) << 16 | uint32_t(c[1] & 0xFF) << 8 | uint32_t(c[2] & 0xFF);
}

float Slope(float from, float to, int64_t n)
{
    return n ? float((double(to) - double(from)) / double(n)) : 0.0f;
}

// A copy of the device's buffers, drawn into as first written.
struct KxReferenceFrame {
    int32_t width, height, rowStride;
    std::vector<uint8_t> colour;
    std::vector<uint16_t> depth;
    const KxTexture* stages[8] = {};

    explicit KxReferenceFrame(const KxSoftwareRenderDevice& d)
        : width(d.GetWidth()), height(d.GetHeight()), rowStride(d.GetRowStride()),
          colour(d.GetPixels(), d.GetPixels() + rowStride * height)
    {
        for (int32_t i = 0; i < width * height; ++i)
            depth.push_back(uint16_t(d.GetDepth(i % width, i / width)));
        for (uint32_t s = 0; s < 8; ++s)
            stages[s] = d.GetTextureStage(s);
    }

    bool Matches(const KxSoftwareRenderDevice& d) const
    {
        const KxReferenceFrame drawn(d);
        return drawn.colour == colour && drawn.depth == depth;
    }

    // Every bound stage is sampled and written in turn.
    void Span(KxVertex a, KxVertex b, int32_t y)
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
            for (int c = 0; c < 3; ++c)
                acc[c] = int32_t(acc[c] + k * dAcc[c]);
            a.x = 0;
        }
        for (int32_t x = a.x; x <= std::min(b.x, width - 1); ++x) {
            const double scaled = 65535.0 * double(z) + 0.5;
            uint16_t& stored = depth[size_t(y) * width + x];
            if (scaled >= -0x1p63 && scaled < 0x1p63 && uint32_t(stored) >= uint32_t(uint64_t(int64_t(scaled)))) {
                stored = uint16_t(int64_t(scaled));
                for (const KxTexture* stage : stages) {
                    if (!stage)
                        continue;
                    const double w = 1.0 / double(invW);
                    const uint32_t texel = stage->Sample(float(w * u), float(w * v));
                    for (int k = 0; k < 3; ++k) {
                        const int32_t c = (acc[k] + 32768) >> 16;
                        const double value = double(Channel(texel, k)) * (c * double(0.00390625f)) + 0.5;
                        colour[size_t(y) * rowStride + 3 * x + k] = uint8_t(int32_t(value));
                    }
                }
            }
            z += dz;
            invW += dInvW;
            for (int k = 0; k < 3; ++k)
                acc[k] += dAcc[k];
            u += du;
            v += dv;
        }
    }

    // Ordered, clamped without adjusting the colours, no depth.
    void GouraudSpan(int32_t xa, int32_t xb, int32_t y, uint32_t ca, uint32_t cb)
    {
        if (y < 0 || y >= height)
            return;
        if (xb < xa) {
            std::swap(xa, xb);
            std::swap(ca, cb);
        }
        xa = std::max(xa, 0);
        xb = std::min(xb, width - 1);
        for (int32_t x = xa, n = xb - xa; x <= xb; ++x)
            for (int k = 0; k < 3; ++k) {
                const int32_t grad = n == 0 ? 0 : (Channel(cb, k) - Channel(ca, k)) * 65536 / n;
                colour[size_t(y) * rowStride + 3 * x + k] = uint8_t(Round16(Channel(ca, k) * 65536 + (x - xa) * grad));
            }
    }
};

// One edge walked a row at a time.
struct KxEdge {
    int64_t x, dx;
    int32_t c[3], dc[3];
    float z, dz, u, du, v, dv, w, dw;

    KxEdge(const KxVertex& a, const KxVertex& b, int32_t n)
        : x(int64_t(a.x) * 65536), dx((int64_t(b.x) - a.x) * 65536 / n), z(a.z), dz(Slope(a.z, b.z, n)), u(a.u),
          du(Slope(a.u, b.u, n)), v(a.v), dv(Slope(a.v, b.v, n)), w(a.invW), dw(Slope(a.invW, b.invW, n))
    {
        for (int k = 0; k < 3; ++k) {
            c[k] = Channel(a.color, k) * 65536;
            dc[k] = (Channel(b.color, k) - Channel(a.color, k)) * 65536 / n;
        }
    }
    KxVertex At() const
    {
        const int64_t rounded[3] = {Round16(c[0]), Round16(c[1]), Round16(c[2])};
        return {int32_t(Round16(x)), 0, z, Pack(rounded), u, v, w};
    }
    void Step()
    {
        x += dx;
        for (int k = 0; k < 3; ++k)
            c[k] = int32_t(uint32_t(c[k]) + uint32_t(dc[k]));
        z += dz;
        u += du;
        v += dv;
        w += dw;
    }
};

// Refuse, sort, split at the middle row, walk both halves; every row goes
// to span(the edge on the middle vertex's side, the long edge, y).
template <typename SpanFn>
void ReferenceTriangle(KxVertex a, KxVertex b, KxVertex c, SpanFn span)
{
    for (int32_t v : {a.x, a.y, b.x, b.y, c.x, c.y})
        if (v <= -kLimit || v >= kLimit)
            return;
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
    int64_t ch[3];
    for (int k = 0; k < 3; ++k)
        ch[k] = Round16(Channel(a.color, k) * 65536 + (Channel(c.color, k) - Channel(a.color, k)) * 65536 / h * d);
    const KxVertex s{int32_t(Round16((int64_t(c.x) - a.x) * 65536 / h * d + int64_t(a.x) * 65536)), b.y,
                     split(a.z, c.z), Pack(ch), split(a.u, c.u), split(a.v, c.v), split(a.invW, c.invW)};
    walk(a, b, a, s, a.y, b.y);
    walk(b, c, s, c, b.y, c.y);
}

float Uniform(std::mt19937& rng, float lo, float hi)
{
    return std::uniform_real_distribution<float>(lo, hi)(rng);
}

int32_t Int(std::mt19937& rng, int32_t lo, int32_t hi)
{
    return std::uniform_int_distribution<int32_t>(lo, hi)(rng);
}

}  // namespace

TEST(RasterReference, RandomSpans)
{
    KxTestDevice t(61, 23);
    const KxTexturePtr texture = KxMakeTexture(13, 7, KxDistinctTexels(13 * 7));  // odd sizes
    std::mt19937 rng(1234);
    for (int round = 0; round < 40; ++round) {
        // No stage, stage 0, stage 5, stages 2 and 6: the highest decides.
        for (int s = 0; s < 8; ++s)
            t.device.SetTexture(s, nullptr);
        const int bound = round % 4;
        if (bound)
            t.device.SetTexture(bound == 1 ? 0 : bound == 2 ? 5 : 6, texture.get());
        if (bound == 3)
            t.device.SetTexture(2, texture.get());
        t.device.Clear(0, nullptr, 3, 0x203040, Uniform(rng, 0.2f, 1.0f), 0);
        KxReferenceFrame f(t.device);
        for (int i = 0; i < 60; ++i) {
            KxVertex e[2];
            for (KxVertex& end : e)
                end = {Int(rng, -40, 100), 0, Uniform(rng, -0.05f, 1.05f), uint32_t(Int(rng, 0, 0xFFFFFF)), 0, 0,
                       Uniform(rng, -0.2f, 0.5f)};
            for (KxVertex& end : e) {
                end.u = Uniform(rng, -0.3f, 0.6f) * end.invW;
                end.v = Uniform(rng, -0.3f, 0.6f) * end.invW;
            }
            // Depths beyond 32 bits, and ones with no depth at all, on one end.
            const float extremes[] = {70000.0f, -40000.0f, 1e12f, std::nanf(""), INFINITY};
            if (i % 10 == 9)
                e[0].z = extremes[(i / 10) % 5];
            const int32_t y = Int(rng, -2, 24);
            // Every fifth span is drawn again in other colours: equal depths pass.
            for (int pass = 0; pass < (i % 5 == 4 ? 2 : 1); ++pass, e[0].color ^= 0x5A5A5A, e[1].color ^= 0xA5A5A5) {
                t.device.RasterizeSpan(e[0].x, e[1].x, y, e[0].z, e[1].z, e[0].color, e[1].color, e[0].u, e[0].v,
                                       e[1].u, e[1].v, e[0].invW, e[1].invW);
                f.Span(e[0], e[1], y);
            }
        }
        ASSERT_TRUE(f.Matches(t.device)) << "round " << round;
    }
    for (int s = 0; s < 8; ++s)
        t.device.SetTexture(s, nullptr);
}

struct RasterReference : ::testing::TestWithParam<bool> {};

INSTANTIATE_TEST_SUITE_P(Fillers, RasterReference, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Rasterizer" : "Gouraud"; });

TEST_P(RasterReference, TrianglesReachingFarOffTheScreen)
{
    KxTestDevice t;
    const KxTexturePtr texture = KxMakeTexture(4, 4, KxDistinctTexels(16));
    t.device.SetTexture(0, texture.get());
    t.device.Clear(0, nullptr, 3, 0x203040, 1.0f, 0);
    KxReferenceFrame f(t.device);
    std::mt19937 rng(3);
    // x as far out as the fillers take; y not quite, as every row between
    // the vertices is walked. Now and then a coordinate at the limit or
    // beyond, which refuses the triangle.
    auto coordinate = [&rng](int32_t size) {
        const int32_t beyond[] = {kLimit, -kLimit, INT32_MIN, INT32_MAX};
        const int32_t pick = Int(rng, 0, 31);
        const int32_t spread = pick < 9 ? (size == 64 ? kLimit - 1 : 300000) : pick < 17 ? 40000 : 0;
        return pick == 0 ? beyond[rng() % 4] : spread ? Int(rng, -spread, spread) : Int(rng, -10, size + 10);
    };
    for (int i = 0; i < 300; ++i) {
        KxVertex v[3];
        for (KxVertex& p : v)
            p = {coordinate(64), coordinate(48), Uniform(rng, 0, 1), uint32_t(rng()), Uniform(rng, 0, 1),
                 Uniform(rng, 0, 1), Uniform(rng, 0.5f, 1.5f)};
        if (GetParam()) {
            t.device.RasterizeTriangle(v[0].x, v[0].y, v[0].z, v[1].x, v[1].y, v[1].z, v[2].x, v[2].y, v[2].z,
                                       v[0].color, v[1].color, v[2].color, v[0].u, v[0].v, v[1].u, v[1].v, v[2].u,
                                       v[2].v, v[0].invW, v[1].invW, v[2].invW);
            ReferenceTriangle(v[0], v[1], v[2], [&f](const KxVertex& a, const KxVertex& b, int32_t y) { f.Span(a, b, y); });
        } else {
            t.device.FillGouraudTriangle(v[0].x, v[0].y, v[1].x, v[1].y, v[2].x, v[2].y, v[0].color, v[1].color,
                                         v[2].color);
            ReferenceTriangle(v[0], v[1], v[2], [&f](const KxVertex& a, const KxVertex& b, int32_t y) {
                f.GouraudSpan(a.x, b.x, y, a.color, b.color);
            });
        }
        ASSERT_TRUE(f.Matches(t.device)) << i;
    }
    t.device.SetTexture(0, nullptr);
}

TEST_P(RasterReference, FramesWiderThan16384)
{
    // The same triangle at x = 100 and x = 18100 on a frame 18200 wide: an
    // integer shift moves the fixed-point edges, so the spans shift too.
    KxTestDevice wide(18200, 6);
    const KxTexturePtr texture = KxMakeTexture(1, 1, {0xFFFFFF});
    const uint32_t white = 0xFFFFFF;
    wide.device.SetTexture(0, texture.get());
    wide.device.Clear(0, nullptr, 3, 0, 1.0f, 0);
    for (int32_t shift : {100, 18100}) {
        if (GetParam())
            wide.device.RasterizeTriangle(shift, 0, 0.5f, shift + 97, 0, 0.5f, shift + 20, 5, 0.5f, white, white,
                                          white, 0, 0, 0, 0, 0, 0, 1, 1, 1);
        else
            wide.device.FillGouraudTriangle(shift, 0, shift + 97, 0, shift + 20, 5, white, 0x00FF00, 0xFF);
    }
    int32_t painted = 0;
    for (int32_t y = 0; y < 6; ++y)
        for (int32_t x = 0; x < 100; ++x) {
            ASSERT_EQ(wide.Color(100 + x, y), wide.Color(18100 + x, y)) << x << ", " << y;
            painted += wide.Color(x + 18100, y) != 0;
        }
    EXPECT_GT(painted, 250);  // about the triangle's area
    wide.device.SetTexture(0, nullptr);
}
