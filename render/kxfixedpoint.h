// 16.16 fixed point and packed-colour channels, shared by the two fillers.
#pragma once

#include <algorithm>
#include <cstdint>

#include "render/kxrowbands.h"
#include "render/kxsoftwarerenderdevice.h"

// v << 16 without the undefined behaviour of shifting a negative value.
inline int32_t KxToFixed(int32_t v)
{
    return int32_t(uint32_t(v) << 16);
}

// Rounds to the nearest integer: (v + 0x8000) >> 16, an arithmetic shift.
inline int32_t KxFromFixed(int32_t v)
{
    return (v + 0x8000) >> 16;
}

// a + b with wrap-around: the edge walkers step once past their last row,
// where a channel may leave the 32-bit range; that value is never used.
inline int32_t KxStepFixed(int32_t a, int32_t b)
{
    return int32_t(uint32_t(a) + uint32_t(b));
}

// Channel k of a packed colour: 0 blue (bits 16-23), 1 green, 2 red, 3
// alpha (bits 24-31: the shift 16 - 24 wraps round to 24).
inline int32_t KxChannel(uint32_t color, int k)
{
    return int32_t((color >> ((16 - 8 * k) & 31)) & 0xFF);
}

// Packs blue, green and red channels, each kept to its low 8 bits.
inline uint32_t KxPackChannels(const int32_t channel[3])
{
    return (uint32_t(channel[0] & 0xFF) << 16) | (uint32_t(channel[1] & 0xFF) << 8) | uint32_t(channel[2] & 0xFF);
}

// The same with alpha, channel 3, in bits 24-31.
inline uint32_t KxPackChannelsWithAlpha(const int32_t channel[4])
{
    return KxPackChannels(channel) | (uint32_t(channel[3] & 0xFF) << 24);
}

// Triangles with a coordinate at or beyond the device's limit are refused,
// never drawn wrong: inside it the 64-bit edges cannot overflow and a walk
// is at most 2^25 rows long.
inline bool KxOutsideFixedPointRange(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    const int32_t limit = KxSoftwareRenderDevice::kMaxScreenCoordinate;
    for (int32_t v : {x0, y0, x1, y1, x2, y2})
        if (v <= -limit || v >= limit)
            return true;
    return false;
}

// x in 16.16 held in 64 bits: edges across wide frames and to vertices far
// off the screen do not overflow it, and wherever 32 bits did not overflow
// the values are the same.
inline int64_t KxToFixed64(int64_t v)
{
    return v * 65536;
}

inline int32_t KxFromFixed64(int64_t v)
{
    return int32_t((v + 0x8000) >> 16);
}

// One edge of a flat triangle half: x (64-bit) and the channels (blue,
// green, red, then alpha when there are four) in 16.16, stepped one row at a
// time from one vertex to the other. Alpha is carried only where a fill can
// use it.
template <int nChannels>
struct KxFixedEdgeOf {
    int64_t x, dx;
    int32_t ch[nChannels], dch[nChannels];

    KxFixedEdgeOf(int32_t xFrom, uint32_t cFrom, int32_t xTo, uint32_t cTo, int32_t steps)
    {
        x = KxToFixed64(xFrom);
        dx = KxToFixed64(int64_t(xTo) - xFrom) / steps;
        for (int k = 0; k < nChannels; ++k) {
            ch[k] = KxToFixed(KxChannel(cFrom, k));
            dch[k] = KxToFixed(KxChannel(cTo, k) - KxChannel(cFrom, k)) / steps;
        }
    }

    int32_t X() const { return KxFromFixed64(x); }

    uint32_t Color() const
    {
        const int32_t rounded[3] = {KxFromFixed(ch[0]), KxFromFixed(ch[1]), KxFromFixed(ch[2])};
        if constexpr (nChannels == 4)
            return KxPackChannels(rounded) | (uint32_t(KxFromFixed(ch[3]) & 0xFF) << 24);
        return KxPackChannels(rounded);
    }

    void Step()
    {
        x += dx;
        for (int k = 0; k < nChannels; ++k)
            ch[k] = KxStepFixed(ch[k], dch[k]);
    }

    // n steps at once: integer sums come out the same in any grouping.
    void Skip(int64_t n)
    {
        x += n * dx;
        for (int k = 0; k < nChannels; ++k)
            ch[k] = int32_t(uint32_t(ch[k]) + uint32_t(uint64_t(int64_t(dch[k]) * n)));
    }
};

// The rows a walk from row first to row last must visit to cover the rows
// of a band inside rows 0 to height - 1: rows above are skipped, rows below
// end the walk.
struct KxVisibleRows {
    int32_t first, last;
    int64_t skipped;  // rows above the band

    KxVisibleRows(int32_t rowFirst, int32_t rowLast, const KxRowBand& band, int32_t height)
        : first(std::max({rowFirst, band.first, 0})), last(std::min({rowLast, band.last, height - 1})),
          skipped(int64_t(first) - rowFirst)
    {
    }
};
