// The span filler's AVX2 path: eight pixels at a time, writing the same
// bytes as the scalar path. Chosen at run time.
#pragma once

#include <cstdint>

#include "render/kxspanfiller.h"

// Whether this processor has AVX2 (false where the path is not built).
bool KxSpanAvx2Available();

// Whether the path can fill this span exactly: every depth and colour
// channel along it must fit its lanes, and the texture must have texels.
bool KxSpanAvx2Suits(const KxSpanCursor& cursor, int32_t count, uint32_t depthScale, bool b32BitDepth,
                     const KxTexture* texture);

// Fills the pending spans, all of which KxSpanAvx2Suits accepted.
void KxFillSpansAvx2(const KxPendingSpans& spans, uint32_t depthScale, const KxTexture* texture);
