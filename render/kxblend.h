// The last stage of a fragment: the alpha test, then the colour write,
// blended with the pixel already in the colour buffer or not. Integer
// arithmetic throughout; a factor f of 0..255 stands for f / 255.
#pragma once

#include <cstdint>

#include "render/kxrasterstates.h"

// a FUNC b for the compare functions KXCMP_NEVER .. KXCMP_ALWAYS.
inline bool KxCompare(uint32_t func, uint32_t a, uint32_t b)
{
    switch (func) {
    case KXCMP_NEVER:
        return false;
    case KXCMP_LESS:
        return a < b;
    case KXCMP_EQUAL:
        return a == b;
    case KXCMP_LESSEQUAL:
        return a <= b;
    case KXCMP_GREATER:
        return a > b;
    case KXCMP_NOTEQUAL:
        return a != b;
    case KXCMP_GREATEREQUAL:
        return a >= b;
    default:
        return true;
    }
}

// A textured fragment's alpha: texel alpha times vertex alpha over 255,
// rounded to the nearest integer (the odd divisor leaves no ties), so 255
// on 255 stays 255.
inline uint32_t KxSourceAlpha(uint32_t texelAlpha, uint32_t vertexAlpha)
{
    return (texelAlpha * vertexAlpha + 127) / 255;
}

class KxBlendStage {
public:
    explicit KxBlendStage(const KxRasterStates& states);

    bool PassesAlphaTest(uint32_t alpha) const { return !bAlphaTest || KxCompare(alphaFunc, alpha, alphaRef); }

    // Writes the source bytes (blue, green, red) with their alpha to the
    // pixel's three bytes, blended with them when blending is on.
    void Write(const uint8_t source[3], uint32_t alpha, uint8_t* pixel) const;

private:
    uint8_t BlendChannel(uint32_t source, uint32_t alpha, uint32_t dest) const;

    bool bAlphaTest;
    uint32_t alphaFunc, alphaRef;
    bool bBlend;
    uint32_t srcFactor, destFactor, op;
};
