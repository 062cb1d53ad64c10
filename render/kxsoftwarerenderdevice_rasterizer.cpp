// The depth-tested, perspective-correct, textured Gouraud rasteriser. Edge x
// and colour channels step in 16.16 fixed point; depth and the texture
// attributes step as 32-bit floats whose slopes are formed in double. Under
// the plain states and the default sampling the spans go to KxSpanFiller;
// under any others alpha is stepped too and they go to KxStateSpanFiller,
// which samples through KxSampler.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "render/kxblend.h"
#include "render/kxfixedpoint.h"
#include "render/kxrowbands.h"
#include "render/kxsoftwarerenderdevice.h"
#include "render/kxspanfiller.h"
#include "render/kxspanfiller_states.h"
#include "render/kxthreadeddraw.h"

// The seven values of one vertex, or of one edge's running position.
struct KxRasterVertex {
    int32_t x, y;
    float z;
    uint32_t color;
    float uOverW, vOverW, invW;
};

namespace {

// (end - start) / steps in double, stored as a float.
inline float FloatSlope(float start, float end, int64_t steps)
{
    return float((double(end) - double(start)) / double(steps));
}

// One edge of a half triangle, from vertex a to vertex b over n rows: x and
// the colour in fixed point, depth and the texture attributes as floats.
// The floats stand side by side in the span cursor's order, z, 1/w, u/w,
// v/w, and so do their slopes: stepping them is then one vector add.
template <int nChannels>
struct KxRasterEdge : KxFixedEdgeOf<nChannels> {
    float attribute[4], slope[4];

    KxRasterEdge(const KxRasterVertex& a, const KxRasterVertex& b, int32_t n)
        : KxFixedEdgeOf<nChannels>(a.x, a.color, b.x, b.color, n),
          attribute{a.z, a.invW, a.uOverW, a.vOverW},
          slope{FloatSlope(a.z, b.z, n), FloatSlope(a.invW, b.invW, n), FloatSlope(a.uOverW, b.uOverW, n),
                FloatSlope(a.vOverW, b.vOverW, n)}
    {
    }

    float Z() const { return attribute[0]; }
    float InvW() const { return attribute[1]; }
    float U() const { return attribute[2]; }
    float V() const { return attribute[3]; }

    void Step()
    {
        KxFixedEdgeOf<nChannels>::Step();
        for (int i = 0; i < 4; ++i)
            attribute[i] += slope[i];
    }

    // n steps: the floats one at a time, as each rounds.
    void Skip(int64_t n)
    {
        KxFixedEdgeOf<nChannels>::Skip(n);
        for (int64_t k = 0; k < n; ++k)
            for (int i = 0; i < 4; ++i)
                attribute[i] += slope[i];
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
        RasterizeTriangle(band, x0, y0, z0, x1, y1, z1, x2, y2, z2, color0, color1, color2, uOverW0, vOverW0,
                          uOverW1, vOverW1, uOverW2, vOverW2, invW0, invW1, invW2);
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
    int32_t ch[4];
    for (int k = 0; k < 3; ++k) {
        const int32_t step = KxToFixed(KxChannel(c.color, k) - KxChannel(a.color, k)) / h;
        ch[k] = KxFromFixed(KxToFixed(KxChannel(a.color, k)) + step * d);
    }
    s.color = KxPackChannels(ch);
    if (!bPlainFill) {
        const int32_t step = KxToFixed(KxChannel(c.color, 3) - KxChannel(a.color, 3)) / h;
        ch[3] = KxFromFixed(KxToFixed(KxChannel(a.color, 3)) + step * d);
        s.color = KxPackChannelsWithAlpha(ch);
    }

    RasterizeFlatBottom(band, a.x, a.y, a.z, b.x, b.y, b.z, s.x, s.y, s.z, a.color, b.color, s.color,
                        a.uOverW, a.vOverW, b.uOverW, b.vOverW, s.uOverW, s.vOverW, a.invW, b.invW, s.invW);
    RasterizeFlatTop(band, s.x, s.y, s.z, b.x, b.y, b.z, c.x, c.y, c.z, s.color, b.color, c.color,
                     s.uOverW, s.vOverW, b.uOverW, b.vOverW, c.uOverW, c.vOverW, s.invW, b.invW, c.invW);
}

// Forced inline: the walkers call it once per row. A filler of the other
// states takes the span's alpha too.
template <typename Filler>
__attribute__((always_inline)) inline void KxSoftwareRenderDevice::RasterizeSpan(
    Filler& filler, int32_t xA, int32_t xB, int32_t y, float zA, float zB, uint32_t colorA, uint32_t colorB,
    float uOverWA, float vOverWA, float uOverWB, float vOverWB, float invWA, float invWB)
{
    constexpr bool bAlpha = std::is_same_v<std::remove_const_t<Filler>, KxStateSpanFiller>;
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
    // Channel k's fixed-point start and slope (k = 0 blue, 1 green, 2 red,
    // 3 alpha).
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
    KxSpanAlpha alpha{0, 0};
    if constexpr (bAlpha)
        alpha = {channelStart(3), channelSlope(3)};

    if (xA < 0) {
        const int64_t k = -int64_t(xA);
        c.z = float(double(c.z) + double(k) * double(c.dz));
        c.u = float(double(c.u) + double(k) * double(c.du));
        c.v = float(double(c.v) + double(k) * double(c.dv));
        c.invW = float(double(c.invW) + double(k) * double(c.dInvW));
        c.blue = int32_t(c.blue + k * c.dBlue);
        c.green = int32_t(c.green + k * c.dGreen);
        c.red = int32_t(c.red + k * c.dRed);
        if constexpr (bAlpha)
            alpha.alpha = int32_t(alpha.alpha + k * alpha.dAlpha);
        xA = 0;
    }
    if (xB >= width)
        xB = width - 1;

    const int32_t count = xB - xA + 1;
    const size_t depthIndex = size_t(y) * size_t(width) + size_t(xA);
    uint8_t* pixel = pixels + size_t(y) * size_t(rowStride) + 3 * size_t(xA);
    if constexpr (bAlpha) {
        if (depth32Bit == 0)
            filler.Fill(c, alpha, count, depthBuffer16 + depthIndex, pixel);
        else
            filler.Fill(c, alpha, count, depthBuffer32 + depthIndex, pixel);
    } else {
        if (depth32Bit == 0)
            filler.Fill(c, count, depthBuffer16 + depthIndex, pixel);
        else
            filler.Fill(c, count, depthBuffer32 + depthIndex, pixel);
    }
}

// Forced inline: each walker then has its own copy, as cheap to enter as a
// walker written out. The plain states step three channels, the others
// alpha too.
template <bool bPlain>
__attribute__((always_inline)) inline void KxSoftwareRenderDevice::RasterizeHalf(
    const KxRowBand& band, const KxSampler* sampler, const KxRasterVertex& a0, const KxRasterVertex& a1,
    const KxRasterVertex& b0, const KxRasterVertex& b1, int32_t first, int32_t last)
{
    constexpr int nChannels = bPlain ? 3 : 4;
    const int32_t n = last - first;
    KxRasterEdge<nChannels> edgeA(a0, a1, n);
    KxRasterEdge<nChannels> edgeB(b0, b1, n);
    // Spans outside the frame, or outside the band, draw nothing.
    const KxVisibleRows rows(first, last, band, height);
    if (rows.first > rows.last)
        return;
    edgeA.Skip(rows.skipped);
    edgeB.Skip(rows.skipped);
    auto filler = [&] {
        if constexpr (bPlain)
            return SpanFiller(band);
        else
            return StateSpanFiller(*sampler);
    }();
    for (int32_t y = rows.first; y <= rows.last; ++y) {
        RasterizeSpan(filler, edgeA.X(), edgeB.X(), y, edgeA.Z(), edgeB.Z(), edgeA.Color(), edgeB.Color(),
                      edgeA.U(), edgeA.V(), edgeB.U(), edgeB.V(), edgeA.InvW(), edgeB.InvW());
        edgeA.Step();
        edgeB.Step();
    }
}

void KxSoftwareRenderDevice::RasterizeFlatBottom(int32_t x0, int32_t y0, float z0, int32_t x1, int32_t y1, float z1,
                                                 int32_t x2, int32_t y2, float z2,
                                                 uint32_t color0, uint32_t color1, uint32_t color2,
                                                 float uOverW0, float vOverW0, float uOverW1, float vOverW1,
                                                 float uOverW2, float vOverW2,
                                                 float invW0, float invW1, float invW2)
{
    KxFillRows(WorkersFor(1), height, [&](const KxRowBand& band) {
        RasterizeFlatBottom(band, x0, y0, z0, x1, y1, z1, x2, y2, z2, color0, color1, color2, uOverW0, vOverW0,
                            uOverW1, vOverW1, uOverW2, vOverW2, invW0, invW1, invW2);
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
    const KxRasterVertex left{x1, y1, z1, color1, uOverW1, vOverW1, invW1};
    const KxRasterVertex right{x2, y2, z2, color2, uOverW2, vOverW2, invW2};
    if (bPlainFill) {
        RasterizeHalf<true>(band, nullptr, top, left, top, right, y0, y1);
        return;
    }
    // Out of line, so that the plain states' loop keeps its registers.
    [&, this]() __attribute__((noinline)) {
        const KxSampler sampler = HalfSampler(top, left, right);
        RasterizeHalf<false>(band, &sampler, top, left, top, right, y0, y1);
    }();
}

void KxSoftwareRenderDevice::RasterizeFlatTop(int32_t x0, int32_t y0, float z0, int32_t x1, int32_t y1, float z1,
                                              int32_t x2, int32_t y2, float z2,
                                              uint32_t color0, uint32_t color1, uint32_t color2,
                                              float uOverW0, float vOverW0, float uOverW1, float vOverW1,
                                              float uOverW2, float vOverW2,
                                              float invW0, float invW1, float invW2)
{
    KxFillRows(WorkersFor(1), height, [&](const KxRowBand& band) {
        RasterizeFlatTop(band, x0, y0, z0, x1, y1, z1, x2, y2, z2, color0, color1, color2, uOverW0, vOverW0,
                         uOverW1, vOverW1, uOverW2, vOverW2, invW0, invW1, invW2);
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

    const KxRasterVertex left{x0, y0, z0, color0, uOverW0, vOverW0, invW0};
    const KxRasterVertex right{x1, y1, z1, color1, uOverW1, vOverW1, invW1};
    const KxRasterVertex bottom{x2, y2, z2, color2, uOverW2, vOverW2, invW2};
    if (bPlainFill) {
        RasterizeHalf<true>(band, nullptr, right, bottom, left, bottom, y1, y2);
        return;
    }
    [&, this]() __attribute__((noinline)) {
        const KxSampler sampler = HalfSampler(left, right, bottom);
        RasterizeHalf<false>(band, &sampler, right, bottom, left, bottom, y1, y2);
    }();
}

void KxSoftwareRenderDevice::RasterizeSpan(int32_t xA, int32_t xB, int32_t y, float zA, float zB,
                                           uint32_t colorA, uint32_t colorB,
                                           float uOverWA, float vOverWA, float uOverWB, float vOverWB,
                                           float invWA, float invWB)
{
    if (bPlainFill) {
        KxSpanFiller filler = SpanFiller(KxRowBand());
        RasterizeSpan(filler, xA, xB, y, zA, zB, colorA, colorB, uOverWA, vOverWA, uOverWB, vOverWB, invWA, invWB);
        return;
    }
    // A span alone has no plane: its footprint runs along the row only.
    KxSampler sampler(textureStages[nSampledStage], samplerStates[nSampledStage]);
    if (sampler.ChoosesFilterPerPixel() && xA != xB) {
        const double n = double(int64_t(xB) - int64_t(xA));
        KxTexelGradients gradients;
        gradients.uX = (double(uOverWB) - double(uOverWA)) / n;
        gradients.vX = (double(vOverWB) - double(vOverWA)) / n;
        gradients.qX = (double(invWB) - double(invWA)) / n;
        sampler.SetGradients(gradients);
    }
    const KxStateSpanFiller filler = StateSpanFiller(sampler);
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
    return KxSpanFiller(depthScale, textureStages[nSampledStage], depthEnd, pixels + size_t(rowStride) * rows);
}

KxStateSpanFiller KxSoftwareRenderDevice::StateSpanFiller(const KxSampler& sampler) const
{
    return KxStateSpanFiller(depthScale, sampler, rasterStates);
}

// The sampler of a half triangle, with the gradients of its corners' plane
// when the sampler chooses its filter per pixel.
KxSampler KxSoftwareRenderDevice::HalfSampler(const KxRasterVertex& v0, const KxRasterVertex& v1,
                                              const KxRasterVertex& v2) const
{
    KxSampler sampler(textureStages[nSampledStage], samplerStates[nSampledStage]);
    if (sampler.ChoosesFilterPerPixel()) {
        const int32_t x[3] = {v0.x, v1.x, v2.x}, y[3] = {v0.y, v1.y, v2.y};
        const float u[3] = {v0.uOverW, v1.uOverW, v2.uOverW}, v[3] = {v0.vOverW, v1.vOverW, v2.vOverW};
        const float q[3] = {v0.invW, v1.invW, v2.invW};
        sampler.SetGradients(KxPlaneGradients(x, y, u, v, q));
    }
    return sampler;
}

// The depth test and write of the current states: the full 32-bit depth
// against the entry, a 16-bit one zero-extended; a 16-bit entry keeps at
// most 65535.
bool KxSoftwareRenderDevice::TestAndWriteDepth(int32_t x, int32_t y, uint32_t depth)
{
    if (x < 0 || x >= width || y < 0 || y >= height)
        return false;
    const size_t index = size_t(y) * size_t(width) + size_t(x);
    if (depth32Bit == 0) {
        if (!KxCompare(rasterStates.zFunc, depth, uint32_t(depthBuffer16[index])))
            return false;
        if (rasterStates.bZWrite)
            depthBuffer16[index] = uint16_t(depth < 0xFFFFu ? depth : 0xFFFFu);
        return true;
    }
    if (!KxCompare(rasterStates.zFunc, depth, depthBuffer32[index]))
        return false;
    if (rasterStates.bZWrite)
        depthBuffer32[index] = depth;
    return true;
}
