// The span filler's AVX2 path: eight pixels at a time, writing the same
// bytes as the scalar path. Chosen at run time.
#pragma once

#include <cstdint>

#include "render/kxspanfiller.h"

// Whether this processor has AVX2 (false where the path is not built).
bool KxSpanAvx2Available();

// Fills the span and returns true where the path can fill it exactly:
// every depth and colour channel along it must fit its lanes, and the
// texture must have texels. Returns false, writing nothing, otherwise.
bool KxFillSpanAvx2(const KxSpanCursor& cursor, int32_t count, uint32_t depthScale, uint16_t* depth, uint8_t* pixel,
                    const KxTexture* texture);
bool KxFillSpanAvx2(const KxSpanCursor& cursor, int32_t count, uint32_t depthScale, uint32_t* depth, uint8_t* pixel,
                    const KxTexture* texture);
