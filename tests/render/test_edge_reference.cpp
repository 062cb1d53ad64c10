// Both triangle fillers against a plain transcription of their set-up and
// edge walks (16.16 fixed point in 64 bits, one row at a time), on random
// triangles that reach far off the screen, and on a frame wider than 16384.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "kxtestbmp.h"
#include "kxtestdevice.h"

namespace {

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

float Slope(float from, float to, int64_t n)
{
    return float((double(to) - double(from)) / double(n));
}

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
    int32_t X() const { return int32_t(Round16(x)); }
    uint32_t Color() const
    {
        return uint32_t(Round16(c[0]) & 0xFF) << 16 | uint32_t(Round16(c[1]) & 0xFF) << 8 |
               uint32_t(Round16(c[2]) & 0xFF);
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

// Sort, split at the middle row, walk both halves; every row goes to the
// span primitive of the filler in question.
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
        for (int32_t y = first; y <= last; ++y) {
            span(ea, eb, y);
            ea.Step();
            eb.Step();
        }
    };
    if (a.y == c.y)
        return;
    if (a.y == b.y)
        return walk(b, c, a, c, b.y, c.y);
    if (b.y == c.y)
        return walk(a, b, a, c, a.y, b.y);
    const int32_t d = b.y - a.y, h = c.y - a.y;
    KxVertex s;
    s.x = int32_t(Round16((int64_t(c.x) - a.x) * 65536 / h * d + int64_t(a.x) * 65536));
    s.y = b.y;
    auto split = [d, h](float from, float to) { return float((double(to) - double(from)) / h * d + double(from)); };
    s.z = split(a.z, c.z);
    s.invW = split(a.invW, c.invW);
    s.u = split(a.u, c.u);
    s.v = split(a.v, c.v);
    int32_t ch[3];
    for (int k = 0; k < 3; ++k)
        ch[k] = int32_t(Round16(Channel(a.color, k) * 65536 + (Channel(c.color, k) - Channel(a.color, k)) * 65536 / h * d));
    s.color = uint32_t(ch[0] & 0xFF) << 16 | uint32_t(ch[1] & 0xFF) << 8 | uint32_t(ch[2] & 0xFF);
    walk(a, b, a, s, a.y, b.y);
    walk(b, c, s, c, b.y, c.y);
}

std::vector<uint8_t> Frame(const KxSoftwareRenderDevice& d)
{
    std::vector<uint8_t> bytes(d.GetPixels(), d.GetPixels() + size_t(d.GetRowStride()) * d.GetHeight());
    for (int32_t y = 0; y < d.GetHeight(); ++y)
        for (int32_t x = 0; x < d.GetWidth(); ++x)
            bytes.push_back(uint8_t(d.GetDepth(x, y) >> 8));
    return bytes;
}

struct EdgeReference : ::testing::TestWithParam<bool> {
    // Draws with the filler under test on one device and with the
    // transcription, through the same span primitive, on the other.
    void Draw(const KxVertex& a, const KxVertex& b, const KxVertex& c)
    {
        if (GetParam()) {
            dut.device.RasterizeTriangle(a.x, a.y, a.z, b.x, b.y, b.z, c.x, c.y, c.z, a.color, b.color, c.color, a.u,
                                         a.v, b.u, b.v, c.u, c.v, a.invW, b.invW, c.invW);
            ReferenceTriangle(a, b, c, [this](const KxEdge& ea, const KxEdge& eb, int32_t y) {
                ref.device.RasterizeSpan(ea.X(), eb.X(), y, ea.z, eb.z, ea.Color(), eb.Color(), ea.u, ea.v, eb.u,
                                         eb.v, ea.w, eb.w);
            });
        } else {
            dut.device.FillGouraudTriangle(a.x, a.y, b.x, b.y, c.x, c.y, a.color, b.color, c.color);
            // The Gouraud spans take the edge from the middle vertex first.
            ReferenceTriangle(a, b, c, [this](const KxEdge& ea, const KxEdge& eb, int32_t y) {
                ref.device.DrawGouraudSpan(ea.X(), eb.X(), y, ea.Color(), eb.Color());
            });
        }
    }

    void SetUp() override
    {
        for (KxTestDevice* t : {&dut, &ref}) {
            t->device.SetTexture(0, &texture);
            t->device.Clear(0, nullptr, 3, 0x203040, 1.0f, 0);
        }
    }
    void TearDown() override
    {
        for (KxTestDevice* t : {&dut, &ref})
            t->device.SetTexture(0, nullptr);
    }

    KxTexture texture{KxWriteTempFile("edges.bmp", KxBmpFile(4, 4)).c_str(), nullptr, 3};
    KxTestDevice dut{64, 48}, ref{64, 48};
};

INSTANTIATE_TEST_SUITE_P(Fillers, EdgeReference, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Rasterizer" : "Gouraud"; });

}  // namespace

TEST_P(EdgeReference, TrianglesReachingFarOffTheScreen)
{
    std::mt19937 rng(3);
    // x as far out as the fillers take; y not quite, as every row between
    // the vertices is walked.
    auto coordinate = [&rng](int32_t size) {
        const int32_t far = size == 64 ? KxSoftwareRenderDevice::kMaxScreenCoordinate - 1 : 300000;
        switch (rng() % 4) {
        case 0:
            return std::uniform_int_distribution<int32_t>(-far, far)(rng);
        case 1:
            return std::uniform_int_distribution<int32_t>(-40000, 40000)(rng);
        default:
            return std::uniform_int_distribution<int32_t>(-10, size + 10)(rng);
        }
    };
    auto unit = [&rng] { return std::uniform_real_distribution<float>(0.0f, 1.0f)(rng); };
    for (int i = 0; i < 300; ++i) {
        SCOPED_TRACE(i);
        KxVertex v[3];
        for (KxVertex& p : v)
            p = {coordinate(64), coordinate(48), unit(), uint32_t(rng()), unit(), unit(), 0.5f + unit()};
        Draw(v[0], v[1], v[2]);
        ASSERT_EQ(Frame(dut.device), Frame(ref.device));
    }
}

TEST_P(EdgeReference, FramesWiderThan16384)
{
    // The same triangle at x = 100 and x = 18100 on a frame 18200 wide: an
    // integer shift moves the fixed-point edges, so the spans shift too.
    // The window keeps a size every platform takes; the device is wider.
    KxTestWindow window(64, 48);
    struct {
        KxSoftwareRenderDevice device;
    } wide;
    wide.device.Create(window.hWnd, 18200, 6);
    ASSERT_EQ(wide.device.GetWidth(), 18200);
    const uint32_t white = 0xFFFFFF;
    auto fill = [&](int32_t shift) {
        if (GetParam())
            wide.device.RasterizeTriangle(shift, 0, 0.5f, shift + 97, 0, 0.5f, shift + 20, 5, 0.5f, white, white,
                                          white, 0, 0, 0, 0, 0, 0, 1, 1, 1);
        else
            wide.device.FillGouraudTriangle(shift, 0, shift + 97, 0, shift + 20, 5, white, 0x00FF00, 0xFF);
    };
    wide.device.SetTexture(0, &texture);
    wide.device.Clear(0, nullptr, 3, 0, 1.0f, 0);
    fill(100);
    fill(18100);
    int32_t painted = 0;
    for (int32_t y = 0; y < 6; ++y) {
        const uint8_t* row = wide.device.GetPixels() + size_t(y) * size_t(wide.device.GetRowStride());
        for (int32_t x = 0; x < 100; ++x) {
            ASSERT_EQ(0, std::memcmp(row + 3 * (100 + x), row + 3 * (18100 + x), 3)) << x << ", " << y;
            painted += (row[3 * (18100 + x)] | row[3 * (18100 + x) + 1] | row[3 * (18100 + x) + 2]) != 0;
        }
    }
    EXPECT_GT(painted, 250);  // about the triangle's area
    wide.device.SetTexture(0, nullptr);
}
