// The depth-tested, perspective-correct, textured Gouraud rasteriser. Edge x
// and colour channels step in 16.16 fixed point; depth and the texture
// attributes step as 32-bit floats whose slopes are formed in double.
#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <utility>

#include "render/kxfixedpoint.h"
#include "render/kxrowbands.h"
#include "render/kxsoftwarerenderdevice.h"
#include "render/kxspanfiller.h"
#include "render/kxthreadeddraw.h"

namespace {

// (end - start) / steps in double, stored as a float.
inline float FloatSlope(float start, float end, int64_t steps)
{
    return float((double(end) - double(start)) / double(steps));
}

// The seven values of one vertex, or of one edge's running position.
struct KxRasterVertex {
    int32_t x, y;
    float z;
    uint32_t color;
    float uOverW, vOverW, invW;
};

// One edge of a half triangle, from vertex a to vertex b over n rows: x and
// the colour in fixed point, depth and the texture attributes as floats.
struct KxRasterEdge : KxFixedEdge {
    float z, dz, u, du, v, dv, invW, dInvW;

    KxRasterEdge(const KxRasterVertex& a, const KxRasterVertex& b, int32_t n)
        : KxFixedEdge(a.x, a.color, b.x, b.color, n)
    {
        z = a.z;
        dz = FloatSlope(a.z, b.z, n);
        u = a.uOverW;
        du = FloatSlope(a.uOverW, b.uOverW, n);
        v = a.vOverW;
        dv = FloatSlope(a.vOverW, b.vOverW, n);
        invW = a.invW;
        dInvW = FloatSlope(a.invW, b.invW, n);
    }

    void Step()
    {
        KxFixedEdge::Step();
        z += dz;
        u += du;
        v += dv;
        invW += dInvW;
    }

    // n steps: the floats one at a time, as each rounds.
    void Skip(int64_t n)
    {
        KxFixedEdge::Skip(n);
        for (int64_t i = 0; i < n; ++i) {
            z += dz;
            u += du;
            v += dv;
            invW += dInvW;
        }
    }
};

}  // namespace

void KxSoftwareRenderDevice::RasterizeTriangle(int32_t x0, int32_t y0, float z0, int32_t x1, int32_t y1, float z1,
                                               int32_t x2, int32_t y2, float z2,
                                               uint32_t color0, uint32_t color1, uint32_t color2,
                                               float uOverW0, float vOverW0, float uOverW1, float vOverW1,
                                               float uOverW2, float vOverW2,
                                               float invW0, float invW1, float invW2)
{
    // A lone triangle goes to the workers only when they take every draw.
    KxFillRows(WorkersFor(1), height, [&](const KxRowBand& band) {
        RasterizeTriangle(band, x0, y0, z0, x1, y1, z1, x2, y2, z2, color0, color1, color2, uOverW0, vOverW0, uOverW1, vOverW1, uOverW2, vOverW2, invW0, invW1, invW2);
    });
}

void KxSoftwareRenderDevice::RasterizeTriangle(const KxRowBand& band, int32_t x0, int32_t y0, float z0,
                                               int32_t x1, int32_t y1, float z1, int32_t x2, int32_t y2, float z2,
                                               uint32_t color0, uint32_t color1, uint32_t color2,
                                               float uOverW0, float vOverW0, float uOverW1, float vOverW1,
                                               float uOverW2, float vOverW2,
                                               float invW0, float invW1, float invW2)
{
    if (KxOutsideFixedPointRange(x0, y0, x1, y1, x2, y2))
        return;

    KxRasterVertex v[3] = {
        {x0, y0, z0, color0, uOverW0, vOverW0, invW0},
        {x1, y1, z1, color1, uOverW1, vOverW1, invW1},
        {x2, y2, z2, color2, uOverW2, vOverW2, invW2},
    };
    // Three stable compare-exchange steps: equal rows keep their order.
    if (v[0].y > v[1].y)
        std::swap(v[0], v[1]);
    if (v[0].y > v[2].y)
        std::swap(v[0], v[2]);
    if (v[1].y > v[2].y)
        std::swap(v[1], v[2]);

    const KxRasterVertex& a = v[0];
    const KxRasterVertex& b = v[1];
    const KxRasterVertex& c = v[2];
    if (!KxBandHoldsAnyRow(band, a.y, c.y, height))
        return;
    if (a.y == b.y) {
        RasterizeFlatTop(band, a.x, a.y, a.z, b.x, b.y, b.z, c.x, c.y, c.z, a.color, b.color, c.color,
                         a.uOverW, a.vOverW, b.uOverW, b.vOverW, c.uOverW, c.vOverW, a.invW, b.invW, c.invW);
        return;
    }
    if (b.y == c.y) {
        RasterizeFlatBottom(band, a.x, a.y, a.z, b.x, b.y, b.z, c.x, c.y, c.z, a.color, b.color, c.color,
                            a.uOverW, a.vOverW, b.uOverW, b.vOverW, c.uOverW, c.vOverW, a.invW, b.invW, c.invW);
        return;
    }

    // Split vertex S on the edge a-c at row b.y. The fixed-point slopes are
    // truncated before they are multiplied by d.
    const int32_t d = b.y - a.y;
    const int32_t h = c.y - a.y;
    auto split = [d, h](float from, float to) {
        return float((double(to) - double(from)) / double(h) * double(d) + double(from));
    };
    KxRasterVertex s;
    s.x = KxFromFixed64(KxToFixed64(int64_t(c.x) - a.x) / h * d + KxToFixed64(a.x));
    s.y = b.y;
    s.z = split(a.z, c.z);
    s.invW = split(a.invW, c.invW);
    s.uOverW = split(a.uOverW, c.uOverW);
    s.vOverW = split(a.vOverW, c.vOverW);
    int32_t ch[3];
    for (int k = 0; k < 3; ++k) {
        const int32_t step = KxToFixed(KxChannel(c.color, k) - KxChannel(a.color, k)) / h;
        ch[k] = KxFromFixed(KxToFixed(KxChannel(a.color, k)) + step * d);
    }
    s.color = KxPackChannels(ch);

    RasterizeFlatBottom(band, a.x, a.y, a.z, b.x, b.y, b.z, s.x, s.y, s.z, a.color, b.color, s.color,
                        a.uOverW, a.vOverW, b.uOverW, b.vOverW, s.uOverW, s.vOverW, a.invW, b.invW, s.invW);
    RasterizeFlatTop(band, s.x, s.y, s.z, b.x, b.y, b.z, c.x, c.y, c.z, s.color, b.color, c.color,
                     s.uOverW, s.vOverW, b.uOverW, b.vOverW, c.uOverW, c.vOverW, s.invW, b.invW, c.invW);
}

void KxSoftwareRenderDevice::RasterizeFlatBottom(int32_t x0, int32_t y0, float z0, int32_t x1, int32_t y1, float z1,
                                                 int32_t x2, int32_t y2, float z2,
                                                 uint32_t color0, uint32_t color1, uint32_t color2,
                                                 float uOverW0, float vOverW0, float uOverW1, float vOverW1,
                                                 float uOverW2, float vOverW2,
                                                 float invW0, float invW1, float invW2)
{
    // A lone triangle goes to the workers only when they take every draw.
    KxFillRows(WorkersFor(1), height, [&](const KxRowBand& band) {
        RasterizeFlatBottom(band, x0, y0, z0, x1, y1, z1, x2, y2, z2, color0, color1, color2, uOverW0, vOverW0, uOverW1, vOverW1, uOverW2, vOverW2, invW0, invW1, invW2);
    });
}

void KxSoftwareRenderDevice::RasterizeFlatBottom(const KxRowBand& band, int32_t x0, int32_t y0, float z0,
                                                 int32_t x1, int32_t y1, float z1, int32_t x2, int32_t y2, float z2,
                                                 uint32_t color0, uint32_t color1, uint32_t color2,
                                                 float uOverW0, float vOverW0, float uOverW1, float vOverW1,
                                                 float uOverW2, float vOverW2,
                                                 float invW0, float invW1, float invW2)
{
    if (y0 == y1 || y0 == y2 || KxOutsideFixedPointRange(x0, y0, x1, y1, x2, y2) ||
        !KxBandHoldsAnyRow(band, y0, y1, height))
        return;

    const KxRasterVertex top{x0, y0, z0, color0, uOverW0, vOverW0, invW0};
    const int32_t n = y1 - y0;
    KxRasterEdge e1(top, {x1, y1, z1, color1, uOverW1, vOverW1, invW1}, n);
    KxRasterEdge e2(top, {x2, y2, z2, color2, uOverW2, vOverW2, invW2}, n);
    // Spans outside the frame, or outside the band, draw nothing.
    const KxVisibleRows rows(y0, y1, band, height);
    e1.Skip(rows.skipped);
    e2.Skip(rows.skipped);
    KxSpanFiller filler = SpanFiller(band);
    for (int32_t y = rows.first; y <= rows.last; ++y) {
        RasterizeSpan(filler, e1.X(), e2.X(), y, e1.z, e2.z, e1.Color(), e2.Color(), e1.u, e1.v, e2.u, e2.v,
                      e1.invW, e2.invW);
        e1.Step();
        e2.Step();
    }
}

void KxSoftwareRenderDevice::RasterizeFlatTop(int32_t x0, int32_t y0, float z0, int32_t x1, int32_t y1, float z1,
                                              int32_t x2, int32_t y2, float z2,
                                              uint32_t color0, uint32_t color1, uint32_t color2,
                                              float uOverW0, float vOverW0, float uOverW1, float vOverW1,
                                              float uOverW2, float vOverW2,
                                              float invW0, float invW1, float invW2)
{
    // A lone triangle goes to the workers only when they take every draw.
    KxFillRows(WorkersFor(1), height, [&](const KxRowBand& band) {
        RasterizeFlatTop(band, x0, y0, z0, x1, y1, z1, x2, y2, z2, color0, color1, color2, uOverW0, vOverW0, uOverW1, vOverW1, uOverW2, vOverW2, invW0, invW1, invW2);
    });
}

void KxSoftwareRenderDevice::RasterizeFlatTop(const KxRowBand& band, int32_t x0, int32_t y0, float z0,
                                              int32_t x1, int32_t y1, float z1, int32_t x2, int32_t y2, float z2,
                                              uint32_t color0, uint32_t color1, uint32_t color2,
                                              float uOverW0, float vOverW0, float uOverW1, float vOverW1,
                                              float uOverW2, float vOverW2,
                                              float invW0, float invW1, float invW2)
{
    if (y1 == y2 || y0 == y2 || KxOutsideFixedPointRange(x0, y0, x1, y1, x2, y2) ||
        !KxBandHoldsAnyRow(band, y1, y2, height))
        return;

    const KxRasterVertex bottom{x2, y2, z2, color2, uOverW2, vOverW2, invW2};
    const int32_t n = y2 - y1;
    KxRasterEdge edgeA({x1, y1, z1, color1, uOverW1, vOverW1, invW1}, bottom, n);
    KxRasterEdge edgeB({x0, y0, z0, color0, uOverW0, vOverW0, invW0}, bottom, n);
    const KxVisibleRows rows(y1, y2, band, height);
    edgeA.Skip(rows.skipped);
    edgeB.Skip(rows.skipped);
    KxSpanFiller filler = SpanFiller(band);
    for (int32_t y = rows.first; y <= rows.last; ++y) {
        RasterizeSpan(filler, edgeA.X(), edgeB.X(), y, edgeA.z, edgeB.z, edgeA.Color(), edgeB.Color(), edgeA.u,
                      edgeA.v, edgeB.u, edgeB.v, edgeA.invW, edgeB.invW);
        edgeA.Step();
        edgeB.Step();
    }
}

void KxSoftwareRenderDevice::RasterizeSpan(int32_t xA, int32_t xB, int32_t y, float zA, float zB,
                                           uint32_t colorA, uint32_t colorB,
                                           float uOverWA, float vOverWA, float uOverWB, float vOverWB,
                                           float invWA, float invWB)
{
    KxSpanFiller filler = SpanFiller(KxRowBand());
    RasterizeSpan(filler, xA, xB, y, zA, zB, colorA, colorB, uOverWA, vOverWA, uOverWB, vOverWB, invWA, invWB);
}

// The vector filler may rewrite, unchanged, a few entries and pixels past a
// span's end, on the next row for a span at the frame's right edge: up to
// the end of the buffers, but for a band only up to its own last row,
// since another thread may be writing the next one.
KxSpanFiller KxSoftwareRenderDevice::SpanFiller(const KxRowBand& band) const
{
    const size_t rows = size_t(std::min(band.last, height - 1)) + 1;
    const size_t entries = size_t(width) * rows;
    const void* depthEnd = depth32Bit ? static_cast<const void*>(depthBuffer32 + entries)
                                      : static_cast<const void*>(depthBuffer16 + entries);
    return KxSpanFiller(depthScale, SampledTexture(), depthEnd, pixels + size_t(rowStride) * rows);
}

// Every bound stage would be sampled and written in turn, so the highest
// one alone decides the pixel: sampling the others changes nothing.
const KxTexture* KxSoftwareRenderDevice::SampledTexture() const
{
    const KxTexture* texture = nullptr;
    for (const KxTexture* stage : textureStages)
        if (stage)
            texture = stage;
    return texture;
}

// Forced inline: the walkers call it once per row.
__attribute__((always_inline)) inline void KxSoftwareRenderDevice::RasterizeSpan(
    KxSpanFiller& filler, int32_t xA, int32_t xB, int32_t y, float zA, float zB, uint32_t colorA, uint32_t colorB,
    float uOverWA, float vOverWA, float uOverWB, float vOverWB, float invWA, float invWB)
{
    if (y < 0 || y >= height)
        return;
    if (xA > xB) {
        std::swap(xA, xB);
        std::swap(zA, zB);
        std::swap(colorA, colorB);
        std::swap(uOverWA, uOverWB);
        std::swap(vOverWA, vOverWB);
        std::swap(invWA, invWB);
    }
    // A span wholly left or right of the frame draws nothing; returning here
    // also keeps the left clip's k x slope within range.
    if (xB < 0 || xA >= width)
        return;

    // 64 bits: the span ends are not limited to the fixed-point range here.
    const int64_t n = int64_t(xB) - int64_t(xA);
    // Channel k's fixed-point start and slope (k = 0 blue, 1 green, 2 red).
    auto channelStart = [colorA](int k) { return KxToFixed(KxChannel(colorA, k)); };
    auto channelSlope = [colorA, colorB, n](int k) {
        return n == 0 ? 0 : int32_t(int64_t(KxToFixed(KxChannel(colorB, k) - KxChannel(colorA, k))) / n);
    };
    KxSpanCursor c;
    c.blue = channelStart(0);
    c.green = channelStart(1);
    c.red = channelStart(2);
    c.dBlue = channelSlope(0);
    c.dGreen = channelSlope(1);
    c.dRed = channelSlope(2);
    c.z = zA;
    c.u = uOverWA;
    c.v = vOverWA;
    c.invW = invWA;
    c.dz = n == 0 ? 0.0f : FloatSlope(zA, zB, n);
    c.du = n == 0 ? 0.0f : FloatSlope(uOverWA, uOverWB, n);
    c.dv = n == 0 ? 0.0f : FloatSlope(vOverWA, vOverWB, n);
    c.dInvW = n == 0 ? 0.0f : FloatSlope(invWA, invWB, n);

    if (xA < 0) {
        const int64_t k = -int64_t(xA);
        c.z = float(double(c.z) + double(k) * double(c.dz));
        c.u = float(double(c.u) + double(k) * double(c.du));
        c.v = float(double(c.v) + double(k) * double(c.dv));
        c.invW = float(double(c.invW) + double(k) * double(c.dInvW));
        c.blue = int32_t(c.blue + k * c.dBlue);
        c.green = int32_t(c.green + k * c.dGreen);
        c.red = int32_t(c.red + k * c.dRed);
        xA = 0;
    }
    if (xB >= width)
        xB = width - 1;

    const int32_t count = xB - xA + 1;
    const size_t depthIndex = size_t(y) * size_t(width) + size_t(xA);
    uint8_t* pixel = pixels + size_t(y) * size_t(rowStride) + 3 * size_t(xA);
    if (depth32Bit == 0)
        filler.Fill(c, count, depthBuffer16 + depthIndex, pixel);
    else
        filler.Fill(c, count, depthBuffer32 + depthIndex, pixel);
}

bool KxSoftwareRenderDevice::TestAndWriteDepth(int32_t x, int32_t y, uint32_t depth)
{
    if (x < 0 || x >= width || y < 0 || y >= height)
        return false;
    const size_t index = size_t(y) * size_t(width) + size_t(x);
    if (depth32Bit == 0) {
        if (uint32_t(depthBuffer16[index]) < depth)
            return false;
        depthBuffer16[index] = uint16_t(depth);
        return true;
    }
    if (depthBuffer32[index] < depth)
        return false;
    depthBuffer32[index] = depth;
    return true;
}
