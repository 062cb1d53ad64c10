// The per-pixel end of the rasteriser: depth test and write, perspective
// texture lookup and colour modulation across clipped spans.
#pragma once

#include <cstdint>

#include "render/kxdib.h"
#include "render/kxsampler.h"

// The attributes a span steps across its pixels: z, 1/w, u/w and v/w as
// floats, the channels as 16.16 fixed point. Named scalars, not arrays, so
// the compiler keeps them in registers.
struct KxSpanCursor {
    float z, invW, u, v;
    int32_t blue, green, red;
    float dz, dInvW, du, dv;
    int32_t dBlue, dGreen, dRed;
};

// A span waiting to be filled.
struct KxPendingSpan {
    KxSpanCursor cursor;
    int32_t count;
    void* depth;  // 16- or 32-bit entries, as the list says
    uint8_t* pixel;
};

// Spans of one triangle half, collected so that the vector path can fill
// two at a time: their per-pixel steps form two independent chains.
struct KxPendingSpans {
    static constexpr int32_t kSpans = 16;

    KxPendingSpan spans[kSpans];
    int32_t count = 0;
    bool b32BitDepth = false;
    // Where the depth and colour buffers the spans lie in end.
    const void* depthEnd = nullptr;
    const uint8_t* pixelsEnd = nullptr;
};

// Fills spans: each pixel whose depth passes (less or equal) rewrites its
// depth entry and, when a texture is given, its three colour bytes with the
// texel modulated by the colour. Picks a vector path at run time where the
// processor has one; every path gives the same bytes. The filler may hold
// spans back and fill several together: the pixels are final once Finish
// has run (the destructor runs it), and the spans given to one filler must
// not share pixels. The vector path works on whole groups of pixels: past a
// span's end it may read and rewrite, unchanged, up to a group's worth of
// depth entries and pixels, never beyond the given ends of the buffers.
class KxSpanFiller {
public:
    KxSpanFiller(uint32_t depthScale, const KxTexture* texture, const void* depthEnd, const uint8_t* pixelsEnd);
    KxSpanFiller(const KxSpanFiller&) = delete;
    KxSpanFiller& operator=(const KxSpanFiller&) = delete;
    ~KxSpanFiller() { Finish(); }

    void Fill(const KxSpanCursor& cursor, int32_t count, uint16_t* depth, uint8_t* pixel);
    void Fill(const KxSpanCursor& cursor, int32_t count, uint32_t* depth, uint8_t* pixel);
    void Finish();

private:
    template <typename DepthEntry>
    void Add(const KxSpanCursor& cursor, int32_t count, DepthEntry* depth, uint8_t* pixel);

    const uint32_t depthScale;
    const KxTexture* const texture;
    const bool bVectorPath;
    KxPendingSpans pending;
};

// The scalar path alone: the reference the vector path is compared with,
// and its fallback for spans whose values do not fit its lanes.
void KxFillSpanScalar(const KxSpanCursor& cursor, int32_t count, uint32_t depthScale, uint16_t* depth,
                      uint8_t* pixel, const KxTexture* texture);
void KxFillSpanScalar(const KxSpanCursor& cursor, int32_t count, uint32_t depthScale, uint32_t* depth,
                      uint8_t* pixel, const KxTexture* texture);
// The same one pixel at a time, sampling through a sampler.
void KxFillSpanScalar(const KxSpanCursor& cursor, int32_t count, uint32_t depthScale, uint16_t* depth,
                      uint8_t* pixel, const KxSampler& sampler);
void KxFillSpanScalar(const KxSpanCursor& cursor, int32_t count, uint32_t depthScale, uint32_t* depth,
                      uint8_t* pixel, const KxSampler& sampler);
