// The span filler for render states other than the plain ones: a depth
// test of any compare function, depth writes on or off, the alpha test and
// blending. One pixel at a time; the plain states keep KxSpanFiller's
// faster paths.
#pragma once

#include <cstdint>

#include "render/kxblend.h"
#include "render/kxdib.h"
#include "render/kxrasterstates.h"
#include "render/kxspanfiller.h"

// A span's alpha in 16.16 like the colour channels, and its slope per pixel.
struct KxSpanAlpha {
    int32_t alpha, dAlpha;
};

class KxStateSpanFiller {
public:
    KxStateSpanFiller(uint32_t depthScale, const KxTexture* texture, const KxRasterStates& states);

    void Fill(const KxSpanCursor& cursor, KxSpanAlpha alpha, int32_t count, uint16_t* depth, uint8_t* pixel) const;
    void Fill(const KxSpanCursor& cursor, KxSpanAlpha alpha, int32_t count, uint32_t* depth, uint8_t* pixel) const;

private:
    template <typename DepthEntry>
    void FillSpan(KxSpanCursor c, KxSpanAlpha a, int32_t count, DepthEntry* depth, uint8_t* pixel) const;
    template <typename DepthEntry>
    void ShadePixel(const KxSpanCursor& c, int32_t vertexAlpha, DepthEntry& depth, uint8_t* pixel) const;

    const uint32_t depthScale;
    const KxTexture* const texture;
    const uint32_t zFunc;
    const bool bZWrite;
    const KxBlendStage blend;
};
