#include "render/kxspanfiller_states.h"

#include "render/kxfixedpoint.h"
#include "render/kxfragment.h"

namespace {

// The entry a passing fragment's depth leaves: a 16-bit entry keeps at most
// 65535, the far end, not the low bits of a depth beyond it.
template <typename DepthEntry>
inline DepthEntry DepthEntryOf(uint32_t depth)
{
    if constexpr (sizeof(DepthEntry) == 2)
        return DepthEntry(depth < 0xFFFFu ? depth : 0xFFFFu);
    return DepthEntry(depth);
}

}  // namespace

KxStateSpanFiller::KxStateSpanFiller(uint32_t depthScale, const KxTexture* texture, const KxRasterStates& states)
    : depthScale(depthScale), texture(texture), zFunc(states.zFunc), bZWrite(states.bZWrite != 0), blend(states)
{
}

// The depth test comes first and the texel is read only for a fragment that
// passes it; the alpha test follows. Either failing leaves both buffers
// alone, so the result is that of the alpha test first. A passing fragment
// writes its depth if depth writes are on, and its colour, blended or not,
// if there is a texture. The fragment's alpha is the vertex alpha, times the
// texel's where there is a texture.
template <typename DepthEntry>
void KxStateSpanFiller::ShadePixel(const KxSpanCursor& c, int32_t vertexAlpha, DepthEntry& depth,
                                   uint8_t* pixel) const
{
    uint32_t fragmentDepth;
    if (!KxDepthFromZ(depthScale, c.z, fragmentDepth) || !KxCompare(zFunc, fragmentDepth, uint32_t(depth)))
        return;
    uint32_t alpha = uint32_t(KxFromFixed(vertexAlpha)) & 0xFFu;
    uint8_t source[3];
    if (texture) {
        const double w = 1.0 / double(c.invW);
        const uint32_t texel = texture->SampleWithAlpha(float(w * double(c.u)), float(w * double(c.v)));
        source[0] = KxModulate((texel >> 16) & 0xFF, KxFromFixed(c.blue));
        source[1] = KxModulate((texel >> 8) & 0xFF, KxFromFixed(c.green));
        source[2] = KxModulate(texel & 0xFF, KxFromFixed(c.red));
        alpha = KxSourceAlpha(texel >> 24, alpha);
    }
    if (!blend.PassesAlphaTest(alpha))
        return;
    if (bZWrite)
        depth = DepthEntryOf<DepthEntry>(fragmentDepth);
    if (texture)
        blend.Write(source, alpha, pixel);
}

template <typename DepthEntry>
void KxStateSpanFiller::FillSpan(KxSpanCursor c, KxSpanAlpha a, int32_t count, DepthEntry* depth,
                                 uint8_t* pixel) const
{
    for (int32_t i = 0; i < count; ++i, pixel += 3) {
        ShadePixel(c, a.alpha, depth[i], pixel);
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

void KxStateSpanFiller::Fill(const KxSpanCursor& cursor, KxSpanAlpha alpha, int32_t count, uint16_t* depth,
                             uint8_t* pixel) const
{
    FillSpan(cursor, alpha, count, depth, pixel);
}

void KxStateSpanFiller::Fill(const KxSpanCursor& cursor, KxSpanAlpha alpha, int32_t count, uint32_t* depth,
                             uint8_t* pixel) const
{
    FillSpan(cursor, alpha, count, depth, pixel);
}
