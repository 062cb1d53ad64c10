// 32-bit texels whose channels are given by bit masks: how BI_BITFIELDS
// files describe theirs, and how plain 32-bit files and 4-byte pixels in
// memory are read too.
#pragma once

#include <cstdint>

struct KxChannelMasks {
    uint32_t red, green, blue;
    uint32_t alpha;  // 0: no alpha, every texel opaque
};

// Blue, green, red and alpha bytes of a little-endian word, as 32-bit BMP
// files without masks and Direct3D's A8R8G8B8 lay them out.
constexpr KxChannelMasks kBgraMasks = {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u};

// Why the masks cannot describe a texel, or null: a colour mask that is 0,
// a mask whose bits are not one run, or two masks sharing a bit.
const char* KxChannelMasksError(const KxChannelMasks& masks);

// width texels, 4 bytes each, to 3 bytes a texel (blue, green, red) and,
// where alpha is not null, one byte of alpha. A channel of n bits with
// value v becomes (v x 255 + (2^n - 1) / 2) / (2^n - 1), integer division:
// v rounded to 0..255 (no ties, as 2^n - 1 is odd); 8-bit channels are
// copied. The masks must be valid.
void KxDecodeMaskedRow(const uint8_t* texels, int32_t width, const KxChannelMasks& masks, uint8_t* colour,
                       uint8_t* alpha);
