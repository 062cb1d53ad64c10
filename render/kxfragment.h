// The arithmetic every span filler shares: a fragment's depth from its z,
// and a texel byte modulated by a colour channel.
#pragma once

#include <cstdint>

// trunc(depthScale * z + 0.5) in double, to a 64-bit integer whose low 32
// bits are the depth. A value no 64-bit integer holds (z far out of range,
// infinite or NaN) has no depth: false, and the fragment is dropped.
inline bool KxDepthFromZ(uint32_t depthScale, float z, uint32_t& depth)
{
    const double scaled = double(depthScale) * double(z) + 0.5;
    if (!(scaled >= -0x1p63 && scaled < 0x1p63))
        return false;
    depth = uint32_t(uint64_t(int64_t(scaled)));
    return true;
}

// trunc(texelByte * (channel * 0.00390625f) + 0.5), low 8 bits. Every step
// of that double expression is exact (0.00390625 is 2^-8 and the product has
// fewer than 24 bits), so it equals (texelByte * channel + 128) / 256
// truncated toward zero, computed here in integers.
inline uint8_t KxModulate(uint32_t texelByte, int32_t channel)
{
    const int32_t q = int32_t(texelByte) * channel + 128;
    return uint8_t(q >= 0 ? q >> 8 : -((-q) >> 8));
}
