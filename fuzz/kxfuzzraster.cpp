// fuzz_raster: up to kMaxOps screen-space primitives with arbitrary integer
// and float values (NaN, infinities, huge, negative and zero w) through the
// textured rasteriser, the Gouraud filler and the line and span primitives.
// Beyond the sanitizers' checks: every row's padding bytes stay untouched
// and a clipped line lies inside its rectangle.
#include <cstdio>

#include "fuzz/kxfuzzdrivers.h"
#include "fuzz/kxfuzzinput.h"

namespace {

constexpr int kMaxOps = 48;

template <class T>
T ReadRecord(KxFuzzReader& in)
{
    T record;
    record.Visit(in);
    return record;
}

struct KxFuzzTriangle {
    KxFuzzScreenVertex a, b, c;
};

// Braced initialisation reads the three vertices in order.
KxFuzzTriangle ReadTriangle(KxFuzzReader& in)
{
    return {ReadRecord<KxFuzzScreenVertex>(in), ReadRecord<KxFuzzScreenVertex>(in),
            ReadRecord<KxFuzzScreenVertex>(in)};
}

void Triangle(KxSoftwareRenderDevice& device, KxFuzzReader& in)
{
    const auto [a, b, c] = ReadTriangle(in);
    device.RasterizeTriangle(a.x, a.y, a.z, b.x, b.y, b.z, c.x, c.y, c.z, a.color, b.color, c.color,
                             a.uOverW, a.vOverW, b.uOverW, b.vOverW, c.uOverW, c.vOverW, a.invW, b.invW, c.invW);
}

void Gouraud(KxSoftwareRenderDevice& device, KxFuzzReader& in)
{
    const auto a = ReadRecord<KxFuzzGouraudVertex>(in);
    const auto b = ReadRecord<KxFuzzGouraudVertex>(in);
    const auto c = ReadRecord<KxFuzzGouraudVertex>(in);
    device.FillGouraudTriangle(a.x, a.y, b.x, b.y, c.x, c.y, a.color, b.color, c.color);
}

// The half-triangle walkers are public too: called straight, with rows in
// any order.
void Halves(KxSoftwareRenderDevice& device, KxFuzzReader& in)
{
    const auto [a, b, c] = ReadTriangle(in);
    device.RasterizeFlatBottom(a.x, a.y, a.z, b.x, b.y, b.z, c.x, c.y, c.z, a.color, b.color, c.color,
                               a.uOverW, a.vOverW, b.uOverW, b.vOverW, c.uOverW, c.vOverW, a.invW, b.invW, c.invW);
    device.RasterizeFlatTop(a.x, a.y, a.z, b.x, b.y, b.z, c.x, c.y, c.z, a.color, b.color, c.color,
                            a.uOverW, a.vOverW, b.uOverW, b.vOverW, c.uOverW, c.vOverW, a.invW, b.invW, c.invW);
    device.FillFlatBottomTriangle(a.x, a.y, b.x, b.y, c.x, c.y, a.color, b.color, c.color);
    device.FillFlatTopTriangle(a.x, a.y, b.x, b.y, c.x, c.y, a.color, b.color, c.color);
}

void Lines(KxSoftwareRenderDevice& device, KxFuzzReader& in)
{
    const auto r = ReadRecord<KxFuzzIntRecord>(in);
    device.DrawHorizontalLine(r.v[0], r.v[1], r.v[2], r.color);
    device.DrawVerticalLine(r.v[0], r.v[1], r.v[2], r.color);
    device.PutPixel(r.v[0], r.v[1], r.color);
    device.DrawGouraudSpan(r.v[0], r.v[1], r.v[2], r.color, uint32_t(r.v[3]));
}

void Span(KxSoftwareRenderDevice& device, KxFuzzReader& in)
{
    const auto a = ReadRecord<KxFuzzScreenVertex>(in);
    const auto b = ReadRecord<KxFuzzScreenVertex>(in);
    device.RasterizeSpan(a.x, b.x, a.y, a.z, b.z, a.color, b.color, a.uOverW, a.vOverW, b.uOverW, b.vOverW,
                         a.invW, b.invW);
}

// A segment that ClipLine keeps lies wholly inside the rectangle.
bool Clip(KxFuzzReader& in)
{
    const auto segment = ReadRecord<KxFuzzIntRecord>(in);
    const auto rect = ReadRecord<KxFuzzIntRecord>(in);
    int32_t x0 = segment.v[0], y0 = segment.v[1], x1 = segment.v[2], y1 = segment.v[3];
    const int32_t xmin = rect.v[0], xmax = rect.v[1], ymin = rect.v[2], ymax = rect.v[3];
    if (!KxSoftwareRenderDevice::ClipLine(x0, y0, x1, y1, xmin, xmax, ymin, ymax))
        return true;
    if (xmin > xmax || ymin > ymax)
        return true;  // an empty rectangle promises nothing
    for (int32_t x : {x0, x1})
        if (x < xmin || x > xmax)
            return false;
    for (int32_t y : {y0, y1})
        if (y < ymin || y > ymax)
            return false;
    return true;
}

}  // namespace

bool KxFuzzRaster(KxFuzzContext& context, const uint8_t* data, size_t size)
{
    KxFuzzReader in(data, size);
    const auto setup = ReadRecord<KxFuzzRasterSetup>(in);
    context.Begin(setup.flags, setup.clearColor, setup.clearZ);
    KxSoftwareRenderDevice& device = context.Device();
    bool bClipsInside = true;
    for (int i = 0; i < kMaxOps && !in.AtEnd(); ++i) {
        uint8_t op = 0;
        in(op);
        switch (KxFuzzRasterOp(op & kFuzzRasterOpMask)) {
        case KxFuzzRasterOp::Triangle:
            Triangle(device, in);
            break;
        case KxFuzzRasterOp::Gouraud:
            Gouraud(device, in);
            break;
        case KxFuzzRasterOp::Line: {
            const auto r = ReadRecord<KxFuzzIntRecord>(in);
            device.DrawLine(r.v[0], r.v[1], r.v[2], r.v[3], r.color);
            break;
        }
        case KxFuzzRasterOp::Lines:
            Lines(device, in);
            break;
        case KxFuzzRasterOp::Span:
            Span(device, in);
            break;
        case KxFuzzRasterOp::Clip:
            if (!Clip(in)) {
                std::fprintf(stderr, "kxfuzz_raster: ClipLine kept a segment outside its rectangle\n");
                bClipsInside = false;
            }
            break;
        case KxFuzzRasterOp::Halves:
            Halves(device, in);
            break;
        case KxFuzzRasterOp::Unused:
            break;
        }
    }
    return context.End() && bClipsInside;
}
