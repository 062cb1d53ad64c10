// A device's clear colour as rows of pixels: a few rows in the last
// non-grey clear colour, laid out as rows of the colour buffer they were
// built for. Every row of a frame is the same, so these rows copied block
// by block clear it.
#pragma once

#include <cstdint>
#include <vector>

#include "math/kxexactfloat.h"

class KxClearPattern {
public:
    // Sets every pixel of the frame (height rows of width pixels, rowStride
    // bytes apart) to the packed colour: byte 0 of a pixel from bits 16-23.
    // The rows are rebuilt only when the colour or the frame's shape changes.
    void Fill(uint8_t* pixels, int32_t width, int32_t height, int32_t rowStride, uint32_t color)
    {
        Prepare(color, width, rowStride);
        FillRows(pixels, rowStride, 0, height);
    }

    // Fill in two steps, for a frame cleared by several threads at once:
    // the rows made for the colour and shape, then each thread's rows first
    // to end - 1 (first a multiple of kRows) filled from them.
    void Prepare(uint32_t color, int32_t width, int32_t rowStride);
    void FillRows(uint8_t* pixels, int32_t rowStride, int32_t first, int32_t end) const;

    static constexpr int32_t kRows = 4;

private:
    struct alignas(64) KxCacheLine {
        uint8_t bytes[64];
    };

    void Build(uint32_t color, int32_t width, int32_t rowStride);
    uint8_t* Bytes() { return reinterpret_cast<uint8_t*>(lines.data()); }
    const uint8_t* Bytes() const { return reinterpret_cast<const uint8_t*>(lines.data()); }

    // Starting on a cache line, so blocks of a few rows copy whole lines.
    std::vector<KxCacheLine> lines;
    uint32_t patternColor = 0;
    int32_t patternWidth = 0;
    int32_t patternStride = 0;
};
