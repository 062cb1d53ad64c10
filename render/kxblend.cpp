#include "render/kxblend.h"

namespace {

// The factor for one channel, with the source and destination bytes of
// that channel and the source alpha. The colour buffer has no alpha: the
// destination alpha reads 255. Inline, as every channel of every pixel
// calls it.
__attribute__((always_inline)) inline uint32_t Factor(uint32_t code, uint32_t source, uint32_t alpha, uint32_t dest)
{
    constexpr uint32_t kDestAlpha = 255;
    switch (code) {
    case KXBLEND_ZERO:
        return 0;
    case KXBLEND_SRCCOLOR:
        return source;
    case KXBLEND_INVSRCCOLOR:
        return 255 - source;
    case KXBLEND_SRCALPHA:
        return alpha;
    case KXBLEND_INVSRCALPHA:
        return 255 - alpha;
    case KXBLEND_DESTALPHA:
        return kDestAlpha;
    case KXBLEND_INVDESTALPHA:
        return 255 - kDestAlpha;
    case KXBLEND_DESTCOLOR:
        return dest;
    case KXBLEND_INVDESTCOLOR:
        return 255 - dest;
    case KXBLEND_SRCALPHASAT:
        return alpha < 255 - kDestAlpha ? alpha : 255 - kDestAlpha;
    default:  // KXBLEND_ONE
        return 255;
    }
}

}  // namespace

KxBlendStage::KxBlendStage(const KxRasterStates& states)
    : bAlphaTest(states.bAlphaTest != 0), alphaFunc(states.alphaFunc), alphaRef(states.alphaRef),
      bBlend(states.bAlphaBlend != 0), srcFactor(states.srcBlend), destFactor(states.destBlend), op(states.blendOp)
{
    // The two "both" source factors set the destination factor as well.
    if (srcFactor == KXBLEND_BOTHSRCALPHA) {
        srcFactor = KXBLEND_SRCALPHA;
        destFactor = KXBLEND_INVSRCALPHA;
    } else if (srcFactor == KXBLEND_BOTHINVSRCALPHA) {
        srcFactor = KXBLEND_INVSRCALPHA;
        destFactor = KXBLEND_SRCALPHA;
    }
}

// Source times its factor and destination times its, combined by the
// operation, then divided by 255, rounded to the nearest integer and
// limited to 255 (the subtractions stop at 0). Minimum and maximum take
// the bytes themselves, without factors.
__attribute__((always_inline)) inline uint8_t KxBlendStage::BlendChannel(uint32_t source, uint32_t alpha, uint32_t dest) const
{
    if (op == KXBLENDOP_MIN)
        return uint8_t(source < dest ? source : dest);
    if (op == KXBLENDOP_MAX)
        return uint8_t(source > dest ? source : dest);
    const uint32_t s = source * Factor(srcFactor, source, alpha, dest);
    const uint32_t d = dest * Factor(destFactor, source, alpha, dest);
    uint32_t sum;
    if (op == KXBLENDOP_SUBTRACT)
        sum = s > d ? s - d : 0;
    else if (op == KXBLENDOP_REVSUBTRACT)
        sum = d > s ? d - s : 0;
    else
        sum = s + d;
    const uint32_t result = (sum + 127) / 255;
    return uint8_t(result < 255 ? result : 255);
}

void KxBlendStage::Write(const uint8_t source[3], uint32_t alpha, uint8_t* pixel) const
{
    if (!bBlend) {
        pixel[0] = source[0];
        pixel[1] = source[1];
        pixel[2] = source[2];
        return;
    }
    for (int k = 0; k < 3; ++k)
        pixel[k] = BlendChannel(source[k], alpha, pixel[k]);
}
