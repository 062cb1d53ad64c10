// Both triangle fillers and the textured span against a plain transcription
// of them: set-up and edge walks in 16.16 fixed point held in 64 bits, one
// row at a time, spans one pixel at a time, modulation in double precision.
// Random spans and triangles that reach far off the screen (where 32-bit
// edges would overflow) and beyond the coordinate limit; every colour byte
// and depth entry must agree.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>
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

// The device's buffers as they were, drawn into as first written.
struct KxReferenceFrame {
    const KxTestDevice& t;
    const int32_t width = t.device.GetWidth(), height = t.device.GetHeight(), rowStride = t.device.GetRowStride();
    std::vector<uint32_t> frame = t.Frame();  // colour bytes, then depth entries

    uint32_t& Colour(int32_t x, int32_t y, int k) { return frame[size_t(y * rowStride + 3 * x + k)]; }
    uint32_t& Depth(int32_t x, int32_t y) { return frame[size_t(rowStride * height + y * width + x)]; }

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
            if (scaled >= -0x1p63 && scaled < 0x1p63 && Depth(x, y) >= uint32_t(uint64_t(int64_t(scaled)))) {
                Depth(x, y) = uint16_t(int64_t(scaled));
                for (uint32_t s = 0; s < 8; ++s) {
                    const KxTexture* stage = t.device.GetTextureStage(s);
                    if (!stage)
                        continue;
                    const double w = 1.0 / double(invW);
                    const uint32_t texel = stage->Sample(float(w * u), float(w * v));
                    for (int k = 0; k < 3; ++k) {
                        const int32_t c = (acc[k] + 32768) >> 16;
                        const double value = double(Channel(texel, k)) * (c * double(0.00390625f)) + 0.5;
                        Colour(x, y, k) = uint8_t(int32_t(value));
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
                Colour(x, y, k) = uint8_t(Round16(Channel(ca, k) * 65536 + (x - xa) * grad));
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

}  // namespace

TEST(RasterReference, RandomSpans)
{
    KxTestDevice t(61, 23);
    const KxTexturePtr texture = KxMakeTexture(13, 7, KxDistinctTexels(13 * 7));  // odd sizes
    KxTestRandom r{std::mt19937(1234)};
    for (int round = 0; round < 40; ++round) {
        // No stage, stage 0, stage 5, stages 2 and 6: the highest decides.
        for (int s = 0; s < 8; ++s)
            t.device.SetTexture(s, nullptr);
        const int bound = round % 4;
        if (bound)
            t.device.SetTexture(bound == 1 ? 0 : bound == 2 ? 5 : 6, texture.get());
        if (bound == 3)
            t.device.SetTexture(2, texture.get());
        t.device.Clear(0, nullptr, 3, 0x203040, round % 3 ? r.Uniform(0.2f, 1.0f) : 1.0f, 0);
        KxReferenceFrame f{t};
        for (int i = 0; i < 60; ++i) {
            KxVertex e[2];
            for (KxVertex& end : e)  // now and then on the left edge, where clipping starts
                end = {r.Chance(15) ? 0 : r.Int(-40, 100), 0, r.Uniform(-0.05f, 1.05f), uint32_t(r.Int(0, 0xFFFFFF)), 0, 0,
                       r.Uniform(-0.2f, 0.5f)};
            for (KxVertex& end : e) {
                end.u = r.Uniform(-0.3f, 0.6f) * end.invW;
                end.v = r.Uniform(-0.3f, 0.6f) * end.invW;
            }
            // Depths beyond 32 bits (compared on their low 32 bits, so that
            // 65538 passes a cleared buffer) and ones with no depth at all, on
            // one end or both.
            const float extremes[] = {70000.0f, -40000.0f, 1e12f, std::nanf(""), INFINITY, 65538.0f};
            if (i % 10 == 9)
                e[0].z = extremes[(i / 10) % 6];
            if (i % 20 == 19)
                e[1].z = e[0].z;
            // The first span starts at the left edge and ends with no depth:
            // nothing is clipped, so its first pixel keeps its finite depth.
            if (i == 0)
                std::tie(e[0].x, e[1].z) = std::tuple(0, INFINITY);
            const int32_t y = r.Int(-2, 24);
            // Every fifth span is drawn again in other colours: equal depths pass.
            for (int pass = 0; pass < (i % 5 == 4 ? 2 : 1); ++pass, e[0].color ^= 0x5A5A5A, e[1].color ^= 0xA5A5A5) {
                t.device.RasterizeSpan(e[0].x, e[1].x, y, e[0].z, e[1].z, e[0].color, e[1].color, e[0].u, e[0].v,
                                       e[1].u, e[1].v, e[0].invW, e[1].invW);
                f.Span(e[0], e[1], y);
            }
        }
        ASSERT_EQ(t.Frame(), f.frame) << "round " << round;
    }
}

// Each filler on every thread count of the tests.
struct RasterReference : ::testing::TestWithParam<std::tuple<bool, uint32_t>> {};

INSTANTIATE_TEST_SUITE_P(Fillers, RasterReference,
                         ::testing::Combine(::testing::Bool(), ::testing::ValuesIn(kKxTestThreadCounts)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param) ? "Rasterizer" : "Gouraud") +
                                    KxThreadsName(std::get<1>(info.param));
                         });

TEST_P(RasterReference, TrianglesReachingFarOffTheScreen)
{
    const KxTexturePtr texture = KxMakeTexture(4, 4, KxDistinctTexels(16));
    KxTestRandom r{std::mt19937(3)};
    // x as far out as the fillers take; y not quite, as every row between
    // the vertices is walked. Now and then a coordinate at the limit or
    // beyond, which refuses the triangle.
    auto coordinate = [&r](int32_t size, bool bX) {
        const int32_t beyond[] = {kLimit, -kLimit, INT32_MIN, INT32_MAX};
        const int32_t pick = r.Int(0, 31);
        const int32_t spread = pick < 9 ? (bX ? kLimit - 1 : 300000) : pick < 17 ? 40000 : 0;
        return pick == 0 ? beyond[r.Int(0, 3)] : spread ? r.Int(-spread, spread) : r.Int(-10, size + 10);
    };
    // A small frame, then one wider than 16384 columns.
    for (auto [width, height, count] : {std::tuple{64, 48, 300}, {18200, 6, 40}}) {
        KxTestDevice t(width, height, std::get<1>(GetParam()));
        t.device.SetTexture(0, texture.get());
        t.device.Clear(0, nullptr, 3, 0x203040, 1.0f, 0);
        KxReferenceFrame f{t};
        // First a fuzz find: an edge 28321 columns wide over one row, whose
        // walk once stepped past its last row out of the 16.16 range.
        const int32_t found[3][2] = {{12617, 30}, {-15704, 31}, {20, 31}};
        for (int i = 0; i < count; ++i) {
            KxVertex v[3];
            for (KxVertex& p : v)
                p = {coordinate(width, true), coordinate(height, false), r.Uniform(0, 1), uint32_t(r.rng()),
                     r.Uniform(0, 1), r.Uniform(0, 1), r.Uniform(0.5f, 1.5f)};
            for (int k = 0; i == 0 && k < 3; ++k)
                std::tie(v[k].x, v[k].y) = std::tuple(found[k][0], found[k][1]);
            if (std::get<0>(GetParam())) {
                t.device.RasterizeTriangle(v[0].x, v[0].y, v[0].z, v[1].x, v[1].y, v[1].z, v[2].x, v[2].y, v[2].z,
                                           v[0].color, v[1].color, v[2].color, v[0].u, v[0].v, v[1].u, v[1].v,
                                           v[2].u, v[2].v, v[0].invW, v[1].invW, v[2].invW);
                ReferenceTriangle(v[0], v[1], v[2],
                                  [&f](const KxVertex& a, const KxVertex& b, int32_t y) { f.Span(a, b, y); });
            } else {
                t.device.FillGouraudTriangle(v[0].x, v[0].y, v[1].x, v[1].y, v[2].x, v[2].y, v[0].color,
                                             v[1].color, v[2].color);
                ReferenceTriangle(v[0], v[1], v[2], [&f](const KxVertex& a, const KxVertex& b, int32_t y) {
                    f.GouraudSpan(a.x, b.x, y, a.color, b.color);
                });
            }
            ASSERT_EQ(t.Frame(), f.frame) << width << ": " << i;
        }
    }
}
