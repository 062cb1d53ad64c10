// The untextured integer primitives: Gouraud triangles, spans, lines and
// pixels. Edges and colours are stepped in 16.16 fixed point.
#include <algorithm>
#include <cstdint>
#include <utility>

#include "render/kxblend.h"
#include "render/kxfixedpoint.h"
#include "render/kxrowbands.h"
#include "render/kxsoftwarerenderdevice.h"
#include "render/kxthreadeddraw.h"

namespace {

// A packed colour's blue, green and red bytes, in the colour buffer's order.
inline void WriteColor(uint8_t* pixel, uint32_t color)
{
    pixel[0] = uint8_t(color >> 16);
    pixel[1] = uint8_t(color >> 8);
    pixel[2] = uint8_t(color);
}

// Cohen-Sutherland region code.
inline int32_t RegionCode(int32_t x, int32_t y, int32_t xmin, int32_t xmax, int32_t ymin, int32_t ymax)
{
    int32_t code = 0;
    if (y < ymin)
        code = 8;
    else if (y > ymax)
        code = 4;
    if (x < xmin)
        code |= 1;
    else if (x > xmax)
        code |= 2;
    return code;
}

// Truncates toward zero; values beyond 32 bits (only reachable with
// coordinates near the ends of the int range) are clamped.
inline int32_t TruncateToInt(double v)
{
    if (v <= double(INT32_MIN))
        return INT32_MIN;
    if (v >= double(INT32_MAX))
        return INT32_MAX;
    return int32_t(v);
}

// n + 1 pixels from colour ca on, stepped toward cb over n steps (alpha
// included), each through the alpha test and written, blended or not.
void BlendGouraudPixels(const KxBlendStage& blend, uint8_t* pixel, int32_t n, uint32_t ca, uint32_t cb)
{
    int32_t acc[4], grad[4];
    for (int k = 0; k < 4; ++k) {
        acc[k] = KxToFixed(KxChannel(ca, k));
        grad[k] = n == 0 ? 0 : KxToFixed(KxChannel(cb, k) - KxChannel(ca, k)) / n;
    }
    for (int32_t i = 0; i <= n; ++i, pixel += 3) {
        const uint8_t source[3] = {uint8_t(KxFromFixed(acc[0])), uint8_t(KxFromFixed(acc[1])),
                                   uint8_t(KxFromFixed(acc[2]))};
        const uint32_t alpha = uint32_t(KxFromFixed(acc[3])) & 0xFFu;
        if (blend.PassesAlphaTest(alpha))
            blend.Write(source, alpha, pixel);
        for (int k = 0; k < 4; ++k)
            acc[k] += grad[k];
    }
}

// Clips that settle do so within 8 moves; an end still moving after 32 is
// bouncing between two edges (see ClipLine).
constexpr int32_t kMaxClipMoves = 32;

}  // namespace

void KxSoftwareRenderDevice::FillGouraudTriangle(int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                                                 int32_t x2, int32_t y2, uint32_t c0, uint32_t c1, uint32_t c2)
{
    // A lone triangle goes to the workers only when they take every draw.
    KxFillRows(WorkersFor(1), height,
               [&](const KxRowBand& band) { FillGouraudTriangle(band, x0, y0, x1, y1, x2, y2, c0, c1, c2); });
}

void KxSoftwareRenderDevice::FillGouraudTriangle(const KxRowBand& band, int32_t x0, int32_t y0, int32_t x1,
                                                 int32_t y1, int32_t x2, int32_t y2, uint32_t c0, uint32_t c1,
                                                 uint32_t c2)
{
    if (KxOutsideFixedPointRange(x0, y0, x1, y1, x2, y2))
        return;

    if (y0 > y1) {
        std::swap(x0, x1);
        std::swap(y0, y1);
        std::swap(c0, c1);
    }
    if (y0 > y2) {
        std::swap(x0, x2);
        std::swap(y0, y2);
        std::swap(c0, c2);
    }
    if (y1 > y2) {
        std::swap(x1, x2);
        std::swap(y1, y2);
        std::swap(c1, c2);
    }

    if (!KxBandHoldsAnyRow(band, y0, y2, height))
        return;
    if (y0 == y1) {
        FillFlatTopTriangle(band, x0, y0, x1, y1, x2, y2, c0, c1, c2);
        return;
    }
    if (y1 == y2) {
        FillFlatBottomTriangle(band, x0, y0, x1, y1, x2, y2, c0, c1, c2);
        return;
    }

    // Split at row y1 on the long edge 0-2; the slope is truncated before it
    // is multiplied.
    const int32_t dy = y1 - y0;
    const int32_t d = y2 - y0;
    const int32_t xs = KxFromFixed64(dy * (KxToFixed64(int64_t(x2) - x0) / d) + KxToFixed64(x0));
    int32_t split[4];
    for (int k = 0; k < 3; ++k) {
        const int32_t ch0 = KxChannel(c0, k);
        split[k] = KxFromFixed(KxToFixed(ch0) + dy * (KxToFixed(KxChannel(c2, k) - ch0) / d));
    }
    uint32_t cs = KxPackChannels(split);
    if (rasterStates.NeedsAlpha()) {
        const int32_t alpha0 = KxChannel(c0, 3);
        split[3] = KxFromFixed(KxToFixed(alpha0) + dy * (KxToFixed(KxChannel(c2, 3) - alpha0) / d));
        cs = KxPackChannelsWithAlpha(split);
    }

    FillFlatBottomTriangle(band, x0, y0, x1, y1, xs, y1, c0, c1, cs);
    FillFlatTopTriangle(band, xs, y1, x1, y1, x2, y2, cs, c1, c2);
}

void KxSoftwareRenderDevice::FillFlatBottomTriangle(int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                                                    int32_t x2, int32_t y2, uint32_t c0, uint32_t c1, uint32_t c2)
{
    KxFillRows(WorkersFor(1), height,
               [&](const KxRowBand& band) { FillFlatBottomTriangle(band, x0, y0, x1, y1, x2, y2, c0, c1, c2); });
}

void KxSoftwareRenderDevice::FillFlatBottomTriangle(const KxRowBand& band, int32_t x0, int32_t y0, int32_t x1,
                                                    int32_t y1, int32_t x2, int32_t y2, uint32_t c0, uint32_t c1,
                                                    uint32_t c2)
{
    if (y0 == y1 || y0 == y2 || KxOutsideFixedPointRange(x0, y0, x1, y1, x2, y2) ||
        !KxBandHoldsAnyRow(band, y0, y1, height))
        return;
    // Edges from vertex 0 to vertex 1 and from vertex 0 to vertex 2.
    if (rasterStates.NeedsAlpha())
        FillHalf<4>(band, x0, c0, x1, c1, x0, c0, x2, c2, y0, y1);
    else
        FillHalf<3>(band, x0, c0, x1, c1, x0, c0, x2, c2, y0, y1);
}

void KxSoftwareRenderDevice::FillFlatTopTriangle(int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                                                 int32_t x2, int32_t y2, uint32_t c0, uint32_t c1, uint32_t c2)
{
    KxFillRows(WorkersFor(1), height,
               [&](const KxRowBand& band) { FillFlatTopTriangle(band, x0, y0, x1, y1, x2, y2, c0, c1, c2); });
}

void KxSoftwareRenderDevice::FillFlatTopTriangle(const KxRowBand& band, int32_t x0, int32_t y0, int32_t x1,
                                                 int32_t y1, int32_t x2, int32_t y2, uint32_t c0, uint32_t c1,
                                                 uint32_t c2)
{
    if (y1 == y2 || y0 == y2 || KxOutsideFixedPointRange(x0, y0, x1, y1, x2, y2) ||
        !KxBandHoldsAnyRow(band, y1, y2, height))
        return;
    // Edges from vertex 1 to vertex 2 and from vertex 0 to vertex 2.
    if (rasterStates.NeedsAlpha())
        FillHalf<4>(band, x1, c1, x2, c2, x0, c0, x2, c2, y1, y2);
    else
        FillHalf<3>(band, x1, c1, x2, c2, x0, c0, x2, c2, y1, y2);
}

template <int nChannels>
void KxSoftwareRenderDevice::FillHalf(const KxRowBand& band, int32_t xa0, uint32_t ca0, int32_t xa1, uint32_t ca1,
                                      int32_t xb0, uint32_t cb0, int32_t xb1, uint32_t cb1, int32_t first,
                                      int32_t last)
{
    const int32_t steps = last - first;
    KxFixedEdgeOf<nChannels> edgeA(xa0, ca0, xa1, ca1, steps);
    KxFixedEdgeOf<nChannels> edgeB(xb0, cb0, xb1, cb1, steps);
    // Spans outside the frame, or outside the band, draw nothing.
    const KxVisibleRows rows(first, last, band, height);
    edgeA.Skip(rows.skipped);
    edgeB.Skip(rows.skipped);
    for (int32_t y = rows.first; y <= rows.last; ++y) {
        DrawGouraudSpan(edgeA.X(), edgeB.X(), y, edgeA.Color(), edgeB.Color());
        edgeA.Step();
        edgeB.Step();
    }
}

void KxSoftwareRenderDevice::DrawGouraudSpan(int32_t xa, int32_t xb, int32_t y, uint32_t ca, uint32_t cb)
{
    if (y < 0 || y >= height)
        return;
    if (xb < xa) {
        std::swap(xa, xb);
        std::swap(ca, cb);
    }
    // The colours are not adjusted for the clamp: the span starts with ca.
    if (xa < 0)
        xa = 0;
    if (xb >= width)
        xb = width - 1;
    if (xa > xb)
        return;

    const int32_t n = xb - xa;
    if (rasterStates.NeedsAlpha()) {
        BlendGouraudPixels(KxBlendStage(rasterStates), pixels + y * rowStride + 3 * xa, n, ca, cb);
        return;
    }
    int32_t acc[3], grad[3];
    for (int k = 0; k < 3; ++k) {
        acc[k] = KxToFixed(KxChannel(ca, k));
        grad[k] = n == 0 ? 0 : KxToFixed(KxChannel(cb, k) - KxChannel(ca, k)) / n;
    }

    uint8_t* pixel = pixels + y * rowStride + 3 * xa;
    for (int32_t x = xa; x <= xb; ++x, pixel += 3) {
        for (int k = 0; k < 3; ++k) {
            pixel[k] = uint8_t(KxFromFixed(acc[k]));
            acc[k] += grad[k];
        }
    }
}

void KxSoftwareRenderDevice::DrawLine(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t color)
{
    if (!ClipLine(x0, y0, x1, y1, 0, width - 1, 0, height - 1))
        return;

    const int32_t dx = x0 > x1 ? x0 - x1 : x1 - x0;
    const int32_t dy = y0 > y1 ? y0 - y1 : y1 - y0;
    const int32_t sx = x0 > x1 ? -1 : 1;
    const int32_t sy = y0 > y1 ? -1 : 1;
    int32_t x = x0;
    int32_t y = y0;
    if (dx > dy) {
        int32_t err = 2 * dy - dx;
        while (x != x1) {
            PutPixel(x, y, color);
            if (err >= 0) {
                y += sy;
                err -= 2 * dx;
            }
            err += 2 * dy;
            x += sx;
        }
    } else {
        int32_t err = dy - 2 * dx;
        while (y != y1) {
            PutPixel(x, y, color);
            if (err < 0) {
                x += sx;
                err += 2 * dy;
            }
            err -= 2 * dx;
            y += sy;
        }
    }
    PutPixel(x1, y1, color);
}

bool KxSoftwareRenderDevice::ClipLine(int32_t& x0, int32_t& y0, int32_t& x1, int32_t& y1,
                                      int32_t xmin, int32_t xmax, int32_t ymin, int32_t ymax)
{
    int32_t code0 = RegionCode(x0, y0, xmin, xmax, ymin, ymax);
    int32_t code1 = RegionCode(x1, y1, xmin, xmax, ymin, ymax);
    if ((code0 | code1) == 0)
        return true;
    if ((code0 & code1) != 0)
        return false;

    // Work on copies: the arguments change only when something remains.
    int32_t px[2] = {x0, x1};
    int32_t py[2] = {y0, y1};
    int32_t code[2] = {code0, code1};
    for (int32_t move = 0; move < kMaxClipMoves; ++move) {
        if ((code[0] | code[1]) == 0) {
            x0 = px[0];
            y0 = py[0];
            x1 = px[1];
            y1 = py[1];
            return true;
        }
        const int i = code[0] != 0 ? 0 : 1;
        // Differences in double: exact for every pair of 32-bit ints.
        const double dx = double(px[1]) - double(px[0]);
        const double dy = double(py[1]) - double(py[0]);
        int32_t bit;
        if (code[i] & (8 | 4)) {
            bit = (code[i] & 8) ? 8 : 4;
            const int32_t edge = bit == 8 ? ymin : ymax;
            // A bit left over from before an earlier move can name an edge the
            // segment runs parallel to; the endpoint then stays where it is.
            if (dy != 0.0) {
                px[i] = TruncateToInt(dx / dy * (double(edge) - double(py[i])) + double(px[i]) + 0.5);
                py[i] = edge;
            }
        } else {
            bit = (code[i] & 2) ? 2 : 1;
            const int32_t edge = bit == 2 ? xmax : xmin;
            if (dx != 0.0) {
                py[i] = TruncateToInt(dy / dx * (double(edge) - double(px[i])) + double(py[i]) + 0.5);
                px[i] = edge;
            }
        }
        code[i] = (code[i] & ~bit) | RegionCode(px[i], py[i], xmin, xmax, ymin, ymax);
        if ((code[0] & code[1]) != 0)
            return false;
    }
    // The rounding can make a remainder one pixel long bounce between two
    // edges for ever. What is left then is the endpoint already inside, if any.
    if (code[0] != 0 && code[1] != 0)
        return false;
    const int i = code[0] == 0 ? 0 : 1;
    x0 = x1 = px[i];
    y0 = y1 = py[i];
    return true;
}

void KxSoftwareRenderDevice::DrawHorizontalLine(int32_t xa, int32_t xb, int32_t y, uint32_t color)
{
    if (y < 0 || y >= height)
        return;
    if (xb < xa)
        std::swap(xa, xb);
    if (xa < 0)
        xa = 0;
    if (xb >= width)
        xb = width - 1;
    if (xa > xb)
        return;  // wholly left or right of the buffer
    uint8_t* pixel = pixels + y * rowStride + 3 * xa;
    for (int32_t x = xa; x <= xb; ++x, pixel += 3)
        WriteColor(pixel, color);
}

// Pixels outside the buffer are skipped, so only the visible part of the
// column is walked.
void KxSoftwareRenderDevice::DrawVerticalLine(int32_t x, int32_t ya, int32_t yb, uint32_t color)
{
    if (yb < ya)
        std::swap(ya, yb);
    if (x < 0 || x >= width)
        return;
    ya = std::max(ya, 0);
    yb = std::min(yb, height - 1);
    for (int32_t y = ya; y <= yb; ++y)
        PutPixel(x, y, color);
}

void KxSoftwareRenderDevice::PutPixel(int32_t x, int32_t y, uint32_t color)
{
    if (x < 0 || x >= width || y < 0 || y >= height)
        return;
    WriteColor(pixels + y * rowStride + 3 * x, color);
}
