// The span filler's AVX2 path: eight pixels at a time, writing the same
// bytes as the scalar path. Chosen at run time.
#pragma once

#include <cstdint>

#include "render/kxspanfiller.h"

// Whether this processor has AVX2 (false where the path is not built).
bool KxSpanAvx2Available();

// Whether the path can fill spans with this texture (or none): it needs the
// texture's texels, and their byte offsets must fit 32-bit lanes.
bool KxSpanAvx2Takes(const KxTexture* texture);

// Fills the pending spans. Those whose depths or colour channels do not fit
// the lanes go the scalar way.
void KxFillSpansAvx2(const KxPendingSpans& spans, uint32_t depthScale, const KxTexture* texture);
