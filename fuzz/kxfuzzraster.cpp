// fuzz_raster: up to kMaxOps screen-space primitives with arbitrary integer
// and float values (NaN, infinities, huge, negative and zero w) through the
// textured rasteriser, the Gouraud filler and the line and span primitives.
// Beyond the sanitizers' checks: every row's padding bytes stay untouched
// and a clipped line lies inside its rectangle.
//
// The input: a flags byte, the clear colour and depth, the culling, depth,
// alpha test and blend states when the flags ask for them, then operations,
// each an op byte (its low three bits say which) and its records.
#include <cstdio>

#include "fuzz/kxfuzzdrivers.h"

namespace {

constexpr int kMaxOps = 48;

// The records, every field 4 bytes.
struct KxScreenVertex { int32_t x, y; float z; uint32_t color; float u, v, invW; };
struct KxGouraudVertex { int32_t x, y; uint32_t color; };
struct KxIntRecord { int32_t v[4]; uint32_t color; };  // line or span ends and row, or a rectangle

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
    const KxIntRecord rect = Read<KxIntRecord>(in);
    int32_t* p = segment.v;
    const int32_t* r = rect.v;
    if (!KxSoftwareRenderDevice::ClipLine(p[0], p[1], p[2], p[3], r[0], r[1], r[2], r[3]) || r[0] > r[1] || r[2] > r[3])
        return true;
    for (int i = 0; i < 4; i += 2)
        if (p[i] < r[0] || p[i] > r[1] || p[i + 1] < r[2] || p[i + 1] > r[3])
            return false;
    return true;
}

// One operation; false when it broke a property.
bool Run(KxSoftwareRenderDevice& device, uint8_t op, KxFuzzReader& in)
{
    if ((op & 7) == 0 || (op & 7) == 6)  // the rasteriser, whole or its halves
        Triangle(device, in, (op & 7) == 6);
    if ((op & 7) == 1) {  // the Gouraud filler
        const auto a = Read<KxGouraudVertex>(in), b = Read<KxGouraudVertex>(in), c = Read<KxGouraudVertex>(in);
        device.FillGouraudTriangle(a.x, a.y, b.x, b.y, c.x, c.y, a.color, b.color, c.color);
    }
    if ((op & 7) == 2 || (op & 7) == 3) {  // a line, or the axis-aligned primitives
        const auto [v, color] = Read<KxIntRecord>(in);
        if ((op & 7) == 2) {
            device.DrawLine(v[0], v[1], v[2], v[3], color);
            return true;
        }
        device.DrawHorizontalLine(v[0], v[1], v[2], color);
        device.DrawVerticalLine(v[0], v[1], v[2], color);
        device.PutPixel(v[0], v[1], color);
        device.DrawGouraudSpan(v[0], v[1], v[2], color, uint32_t(v[3]));
    }
    if ((op & 7) == 4) {  // a textured span
        const auto a = Read<KxScreenVertex>(in), b = Read<KxScreenVertex>(in);
        device.RasterizeSpan(a.x, b.x, a.y, a.z, b.z, a.color, b.color, a.u, a.v, b.u, b.v, a.invW, b.invW);
    }
    if ((op & 7) == 5 && !ClipsInside(in)) {
        std::fprintf(stderr, "kxfuzz_raster: ClipLine kept a segment outside its rectangle\n");
        return false;
    }
    return true;  // 7 reads and does nothing
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
    if (flags & kFuzzRasterStates)
        context.ReadRasterStates(in);
    bool bHeld = true;
    for (int i = 0; i < kMaxOps && !in.AtEnd(); ++i) {
        uint8_t op = 0;
        in(op);
        bHeld &= Run(context.Device(), op, in);
    }
    return context.End() && bHeld;
}
