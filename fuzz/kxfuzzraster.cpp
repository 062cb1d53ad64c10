// fuzz_raster: up to kMaxOps screen-space primitives with arbitrary integer
// and float values (NaN, infinities, huge, negative and zero w) through the
// textured rasteriser, the Gouraud filler and the line and span primitives.
// Beyond the sanitizers' checks: every row's padding bytes stay untouched
// and a clipped line lies inside its rectangle.
//
// The input: a flags byte, the clear colour and depth, then operations, each
// an op byte (its low three bits) and its records, every field 4 bytes.
#include <cstdio>

#include "fuzz/kxfuzzdrivers.h"
#include "fuzz/kxfuzzinput.h"

namespace {

constexpr int kMaxOps = 48;

enum class KxRasterOp : uint8_t {
    Triangle,  // RasterizeTriangle
    Gouraud,   // FillGouraudTriangle
    Line,      // DrawLine
    Lines,     // DrawHorizontalLine, DrawVerticalLine, PutPixel, DrawGouraudSpan
    Span,      // RasterizeSpan
    Clip,      // ClipLine against an arbitrary rectangle
    Halves,    // the flat-bottom and flat-top walkers of both fillers, called directly
    Unused     // does nothing and reads nothing
};

struct KxScreenVertex {
    int32_t x, y;
    float z;
    uint32_t color;
    float u, v, invW;
};

struct KxGouraudVertex {
    int32_t x, y;
    uint32_t color;
};

// Line ends, span ends and row, or a clip rectangle; and a colour.
struct KxIntRecord {
    int32_t v[4];
    uint32_t color;
};

template <typename T>
T Read(KxFuzzReader& in)
{
    T record;
    in(record);
    return record;
}

void Triangle(KxSoftwareRenderDevice& device, KxFuzzReader& in, bool bHalves)
{
    const auto a = Read<KxScreenVertex>(in), b = Read<KxScreenVertex>(in), c = Read<KxScreenVertex>(in);
    if (!bHalves) {
        device.RasterizeTriangle(a.x, a.y, a.z, b.x, b.y, b.z, c.x, c.y, c.z, a.color, b.color, c.color, a.u, a.v,
                                 b.u, b.v, c.u, c.v, a.invW, b.invW, c.invW);
        return;
    }
    // The half-triangle walkers are public too: called straight, with rows
    // in any order.
    device.RasterizeFlatBottom(a.x, a.y, a.z, b.x, b.y, b.z, c.x, c.y, c.z, a.color, b.color, c.color, a.u, a.v,
                               b.u, b.v, c.u, c.v, a.invW, b.invW, c.invW);
    device.RasterizeFlatTop(a.x, a.y, a.z, b.x, b.y, b.z, c.x, c.y, c.z, a.color, b.color, c.color, a.u, a.v, b.u,
                            b.v, c.u, c.v, a.invW, b.invW, c.invW);
    device.FillFlatBottomTriangle(a.x, a.y, b.x, b.y, c.x, c.y, a.color, b.color, c.color);
    device.FillFlatTopTriangle(a.x, a.y, b.x, b.y, c.x, c.y, a.color, b.color, c.color);
}

// A segment that ClipLine keeps lies wholly inside the rectangle (an empty
// rectangle promises nothing).
bool ClipsInside(KxFuzzReader& in)
{
    KxIntRecord segment = Read<KxIntRecord>(in);
    const KxIntRecord r = Read<KxIntRecord>(in);
    int32_t* p = segment.v;
    const int32_t* rect = r.v;
    if (!KxSoftwareRenderDevice::ClipLine(p[0], p[1], p[2], p[3], rect[0], rect[1], rect[2], rect[3]) ||
        rect[0] > rect[1] || rect[2] > rect[3])
        return true;
    for (int i = 0; i < 4; i += 2)
        if (p[i] < rect[0] || p[i] > rect[1] || p[i + 1] < rect[2] || p[i + 1] > rect[3])
            return false;
    return true;
}

}  // namespace

bool KxFuzzRaster(KxFuzzContext& context, const uint8_t* data, size_t size)
{
    KxFuzzReader in(data, size);
    uint8_t flags = 0;
    uint32_t clearColor = 0;
    float clearZ = 0;
    in(flags);
    in(clearColor);
    in(clearZ);
    context.Begin(flags, clearColor, clearZ);
    KxSoftwareRenderDevice& device = context.Device();
    bool bClipsInside = true;
    for (int i = 0; i < kMaxOps && !in.AtEnd(); ++i) {
        uint8_t op = 0;
        in(op);
        switch (KxRasterOp(op & 7)) {
        case KxRasterOp::Triangle:
        case KxRasterOp::Halves:
            Triangle(device, in, KxRasterOp(op & 7) == KxRasterOp::Halves);
            break;
        case KxRasterOp::Gouraud: {
            const auto a = Read<KxGouraudVertex>(in), b = Read<KxGouraudVertex>(in), c = Read<KxGouraudVertex>(in);
            device.FillGouraudTriangle(a.x, a.y, b.x, b.y, c.x, c.y, a.color, b.color, c.color);
            break;
        }
        case KxRasterOp::Line: {
            const auto [v, color] = Read<KxIntRecord>(in);
            device.DrawLine(v[0], v[1], v[2], v[3], color);
            break;
        }
        case KxRasterOp::Lines: {
            const auto [v, color] = Read<KxIntRecord>(in);
            device.DrawHorizontalLine(v[0], v[1], v[2], color);
            device.DrawVerticalLine(v[0], v[1], v[2], color);
            device.PutPixel(v[0], v[1], color);
            device.DrawGouraudSpan(v[0], v[1], v[2], color, uint32_t(v[3]));
            break;
        }
        case KxRasterOp::Span: {
            const auto a = Read<KxScreenVertex>(in), b = Read<KxScreenVertex>(in);
            device.RasterizeSpan(a.x, b.x, a.y, a.z, b.z, a.color, b.color, a.u, a.v, b.u, b.v, a.invW, b.invW);
            break;
        }
        case KxRasterOp::Clip:
            if (!ClipsInside(in)) {
                std::fprintf(stderr, "kxfuzz_raster: ClipLine kept a segment outside its rectangle\n");
                bClipsInside = false;
            }
            break;
        case KxRasterOp::Unused:
            break;
        }
    }
    return context.End() && bClipsInside;
}
