#include "render/kxspanfiller.h"

#include "render/kxfixedpoint.h"
#include "render/kxspanfiller_avx2.h"

namespace {

// trunc(depthScale * z + 0.5) in double, to a 64-bit integer whose low 32
// bits are the depth. A value no 64-bit integer holds (z far out of range,
// infinite or NaN) has no depth: false, and the fragment is dropped.
inline bool DepthFromZ(uint32_t depthScale, float z, uint32_t& depth)
{
    const double scaled = double(depthScale) * double(z) + 0.5;
    if (!(scaled >= -0x1p63 && scaled < 0x1p63))
        return false;
    depth = uint32_t(uint64_t(int64_t(scaled)));
    return true;
}

// trunc(texelByte * (channel * 0.00390625f) + 0.5), low 8 bits. Every step
// of that double expression is exact (0.00390625 is 2^-8 and the product has
// fewer than 24 bits), so it equals (texelByte * channel + 128) / 256
// truncated toward zero, computed here in integers.
inline uint8_t Modulate(uint32_t texelByte, int32_t channel)
{
    const int32_t q = int32_t(texelByte) * channel + 128;
    return uint8_t(q >= 0 ? q >> 8 : -((-q) >> 8));
}

// One pixel: the depth test and write, then the modulated texel.
template <typename DepthEntry>
inline void ShadePixel(float z, float invW, float u, float v, int32_t blue, int32_t green, int32_t red,
                       uint32_t depthScale, DepthEntry& depth, uint8_t* pixel, const KxTexture* texture)
{
    uint32_t fragmentDepth;
    if (!DepthFromZ(depthScale, z, fragmentDepth) || uint32_t(depth) < fragmentDepth)
        return;
    depth = DepthEntry(fragmentDepth);
    if (!texture)
        return;
    const double w = 1.0 / double(invW);
    const uint32_t texel = texture->Sample(float(w * double(u)), float(w * double(v)));
    pixel[0] = Modulate((texel >> 16) & 0xFF, KxFromFixed(blue));
    pixel[1] = Modulate((texel >> 8) & 0xFF, KxFromFixed(green));
    pixel[2] = Modulate(texel & 0xFF, KxFromFixed(red));
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

// What a fragment under any states reads besides its attributes.
struct KxFragmentStates {
    uint32_t depthScale;
    const KxTexture* texture;
    const KxRasterStates& states;
    const KxBlendStage& blend;
};

// The entry a passing fragment's depth leaves: a 16-bit entry keeps at most
// 65535, the far end, not the low bits of a depth beyond it.
template <typename DepthEntry>
inline DepthEntry DepthEntryOf(uint32_t depth)
{
    if constexpr (sizeof(DepthEntry) == 2)
        return DepthEntry(depth < 0xFFFFu ? depth : 0xFFFFu);
    return DepthEntry(depth);
}

// One pixel under any states. The tests come in the order depth, then
// alpha (the texel is read only for a fragment that passes the first), but
// either failing leaves both buffers alone, so the result is the one of the
// alpha test first. A passing fragment writes its depth if depth writes are
// on, and its colour, blended or not, if there is a texture.
template <typename DepthEntry>
inline void ShadeFragment(const KxSpanCursor& c, int32_t vertexAlpha, const KxFragmentStates& f, DepthEntry& depth,
                          uint8_t* pixel)
{
    uint32_t fragmentDepth;
    if (!DepthFromZ(f.depthScale, c.z, fragmentDepth) || !KxCompare(f.states.zFunc, fragmentDepth, uint32_t(depth)))
        return;
    uint32_t alpha = uint32_t(KxFromFixed(vertexAlpha)) & 0xFFu;
    uint8_t source[3];
    if (f.texture) {
        const double w = 1.0 / double(c.invW);
        const uint32_t texel = f.texture->SampleWithAlpha(float(w * double(c.u)), float(w * double(c.v)));
        source[0] = Modulate((texel >> 16) & 0xFF, KxFromFixed(c.blue));
        source[1] = Modulate((texel >> 8) & 0xFF, KxFromFixed(c.green));
        source[2] = Modulate(texel & 0xFF, KxFromFixed(c.red));
        alpha = KxSourceAlpha(texel >> 24, alpha);
    }
    if (!f.blend.PassesAlphaTest(alpha))
        return;
    if (f.states.bZWrite)
        depth = DepthEntryOf<DepthEntry>(fragmentDepth);
    if (f.texture)
        f.blend.Write(source, alpha, pixel);
}

template <typename DepthEntry>
void FillScalarWithStates(KxSpanCursor c, KxSpanAlpha a, int32_t count, DepthEntry* depth, uint8_t* pixel,
                          const KxFragmentStates& f)
{
    for (int32_t i = 0; i < count; ++i, pixel += 3) {
        ShadeFragment(c, a.alpha, f, depth[i], pixel);
        c.z += c.dz;
        c.invW += c.dInvW;
        c.blue += c.dBlue;
        c.green += c.dGreen;
        c.red += c.dRed;
        a.alpha += a.dAlpha;
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
        if (DepthFromZ(depthScale, z, fragmentDepth) && uint32_t(depth[i]) >= fragmentDepth)
            return false;
    }
    return true;
}

// Spans up to this long are checked first.
constexpr int32_t kShortSpan = 8;

}  // namespace

KxSpanFiller::KxSpanFiller(uint32_t depthScale, const KxTexture* texture, const void* depthEnd,
                           const uint8_t* pixelsEnd, const KxRasterStates& states)
    : depthScale(depthScale), texture(texture), states(states), blend(states), bPlainFill(states.IsPlainFill()),
      bVectorPath(bPlainFill && KxSpanAvx2Takes(texture))
{
    pending.depthEnd = depthEnd;
    pending.pixelsEnd = pixelsEnd;
}

// A span the vector path can take waits for the next one; any other is
// filled at once by the scalar path (the spans share no pixels, so the
// order does not matter).
template <typename DepthEntry>
void KxSpanFiller::Add(const KxSpanCursor& cursor, int32_t count, DepthEntry* depth, uint8_t* pixel,
                       KxSpanAlpha alpha)
{
    if (!bPlainFill) {
        FillScalarWithStates(cursor, alpha, count, depth, pixel, KxFragmentStates{depthScale, texture, states, blend});
        return;
    }
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

void KxSpanFiller::Fill(const KxSpanCursor& cursor, int32_t count, uint16_t* depth, uint8_t* pixel,
                        KxSpanAlpha alpha)
{
    Add(cursor, count, depth, pixel, alpha);
}

void KxSpanFiller::Fill(const KxSpanCursor& cursor, int32_t count, uint32_t* depth, uint8_t* pixel,
                        KxSpanAlpha alpha)
{
    Add(cursor, count, depth, pixel, alpha);
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
