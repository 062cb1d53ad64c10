// The per-pixel end of the rasteriser: depth test and write, perspective
// texture lookup and colour modulation across one clipped span.
#pragma once

#include <cstdint>

#include "render/kxdib.h"

// The attributes a span steps across its pixels: z, 1/w, u/w and v/w as
// floats, the channels as 16.16 fixed point. Named scalars, not arrays, so
// the compiler keeps them in registers.
struct KxSpanCursor {
    float z, invW, u, v;
    int32_t blue, green, red;
    float dz, dInvW, du, dv;
    int32_t dBlue, dGreen, dRed;
};

// Fills count pixels from the cursor on: each pixel whose depth passes
// (less or equal) rewrites its depth entry and, when a texture is given, its
// three colour bytes with the texel modulated by the colour. Picks a vector
// path at run time where the processor has one; every path gives the same
// bytes.
void KxFillSpan(const KxSpanCursor& cursor, int32_t count, uint32_t depthScale, uint16_t* depth, uint8_t* pixel,
                const KxTexture* texture);
void KxFillSpan(const KxSpanCursor& cursor, int32_t count, uint32_t depthScale, uint32_t* depth, uint8_t* pixel,
                const KxTexture* texture);

// The scalar path alone, for comparing the paths with each other.
void KxFillSpanScalar(const KxSpanCursor& cursor, int32_t count, uint32_t depthScale, uint16_t* depth,
                      uint8_t* pixel, const KxTexture* texture);
void KxFillSpanScalar(const KxSpanCursor& cursor, int32_t count, uint32_t depthScale, uint32_t* depth,
                      uint8_t* pixel, const KxTexture* texture);
