#include "render/kxspanfiller.h"

#include "render/kxfixedpoint.h"
#include "render/kxfragment.h"
#include "render/kxspanfiller_avx2.h"

namespace {

// One pixel: the depth test and write, then the modulated texel.
template <typename DepthEntry>
inline void ShadePixel(float z, float invW, float u, float v, int32_t blue, int32_t green, int32_t red,
                       uint32_t depthScale, DepthEntry& depth, uint8_t* pixel, const KxTexture* texture)
{
    uint32_t fragmentDepth;
    if (!KxDepthFromZ(depthScale, z, fragmentDepth) || uint32_t(depth) < fragmentDepth)
        return;
    depth = DepthEntry(fragmentDepth);
    if (!texture)
        return;
    const double w = 1.0 / double(invW);
    const uint32_t texel = texture->Sample(float(w * double(u)), float(w * double(v)));
    pixel[0] = KxModulate((texel >> 16) & 0xFF, KxFromFixed(blue));
    pixel[1] = KxModulate((texel >> 8) & 0xFF, KxFromFixed(green));
    pixel[2] = KxModulate(texel & 0xFF, KxFromFixed(red));
}

// The cursor is a value: the byte stores could alias it otherwise, and
// every step would go through memory.
template <typename DepthEntry>
void FillScalar(KxSpanCursor c, int32_t count, uint32_t depthScale, DepthEntry* depth, uint8_t* pixel,
                const KxTexture* texture)
{
    for (int32_t i = 0; i < count; ++i, pixel += 3) {
        ShadePixel(c.z, c.invW, c.u, c.v, c.blue, c.green, c.red, depthScale, depth[i], pixel, texture);
        c.z += c.dz;
        c.invW += c.dInvW;
        c.blue += c.dBlue;
        c.green += c.dGreen;
        c.red += c.dRed;
        c.u += c.du;
        c.v += c.dv;
    }
}

// Whether no pixel of a short span passes the depth test, with the depths
// stepped as the fill steps them: such a span changes nothing, and hidden
// surfaces are mostly made of them.
template <typename DepthEntry>
bool NoPixelPasses(const KxSpanCursor& c, int32_t count, uint32_t depthScale, const DepthEntry* depth)
{
    float z = c.z;
    for (int32_t i = 0; i < count; ++i, z += c.dz) {
        uint32_t fragmentDepth;
        if (KxDepthFromZ(depthScale, z, fragmentDepth) && uint32_t(depth[i]) >= fragmentDepth)
            return false;
    }
    return true;
}

// Spans up to this long are checked first.
constexpr int32_t kShortSpan = 8;

}  // namespace

KxSpanFiller::KxSpanFiller(uint32_t depthScale, const KxTexture* texture, const void* depthEnd,
                           const uint8_t* pixelsEnd)
    : depthScale(depthScale), texture(texture), bVectorPath(KxSpanAvx2Takes(texture))
{
    pending.depthEnd = depthEnd;
    pending.pixelsEnd = pixelsEnd;
}

// A span the vector path can take waits for the next one; any other is
// filled at once by the scalar path (the spans share no pixels, so the
// order does not matter).
template <typename DepthEntry>
void KxSpanFiller::Add(const KxSpanCursor& cursor, int32_t count, DepthEntry* depth, uint8_t* pixel)
{
    const bool b32BitDepth = sizeof(DepthEntry) == 4;
    if (count <= kShortSpan && NoPixelPasses(cursor, count, depthScale, depth))
        return;
    if (!bVectorPath) {
        FillScalar(cursor, count, depthScale, depth, pixel, texture);
        return;
    }
    if (pending.count == KxPendingSpans::kSpans || (pending.count > 0 && pending.b32BitDepth != b32BitDepth))
        Finish();
    pending.b32BitDepth = b32BitDepth;
    pending.spans[pending.count++] = {cursor, count, depth, pixel};
}

void KxSpanFiller::Fill(const KxSpanCursor& cursor, int32_t count, uint16_t* depth, uint8_t* pixel)
{
    Add(cursor, count, depth, pixel);
}

void KxSpanFiller::Fill(const KxSpanCursor& cursor, int32_t count, uint32_t* depth, uint8_t* pixel)
{
    Add(cursor, count, depth, pixel);
}

void KxSpanFiller::Finish()
{
    if (pending.count > 0)
        KxFillSpansAvx2(pending, depthScale, texture);
    pending.count = 0;
}

void KxFillSpanScalar(const KxSpanCursor& cursor, int32_t count, uint32_t depthScale, uint16_t* depth,
                      uint8_t* pixel, const KxTexture* texture)
{
    FillScalar(cursor, count, depthScale, depth, pixel, texture);
}

void KxFillSpanScalar(const KxSpanCursor& cursor, int32_t count, uint32_t depthScale, uint32_t* depth,
                      uint8_t* pixel, const KxTexture* texture)
{
    FillScalar(cursor, count, depthScale, depth, pixel, texture);
}
