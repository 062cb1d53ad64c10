// The rows of the frame a thread may write while a draw is split across
// threads. The frame is cut into bands of whole rows; each band is filled
// by one thread at a time, with the draw's triangles in buffer order, so
// every pixel is written as on one thread and the bytes do not depend on
// how many threads there are or which one takes a band.
#pragma once

#include <algorithm>
#include <cstdint>

// Rows first .. last; the default is every row.
struct KxRowBand {
    int32_t first = 0;
    int32_t last = INT32_MAX;
};

// Whether the band holds a row of top .. bottom inside a frame of height
// rows: a triangle without one is left alone before its set-up.
inline bool KxBandHoldsAnyRow(const KxRowBand& band, int32_t top, int32_t bottom, int32_t height)
{
    return std::max({top, band.first, 0}) <= std::min({bottom, band.last, height - 1});
}

// A frame of height rows cut into nBands bands of nRows rows (the last
// one shorter): enough bands per thread for the threads to even out their
// work, bands not so thin that most triangles reach over two.
struct KxFrameBands {
    static constexpr int32_t kBandsPerThread = 8;
    static constexpr int32_t kMaxBands = 64;
    static constexpr int32_t kMinRows = 8;

    KxFrameBands(int32_t height, int32_t nThreads)
    {
        const int32_t wanted = std::min(kBandsPerThread * nThreads, kMaxBands);
        nRows = std::max(kMinRows, (std::max(height, 1) + wanted - 1) / wanted);
        nBands = (std::max(height, 1) + nRows - 1) / nRows;
    }

    KxRowBand Band(int32_t band) const { return {band * nRows, band * nRows + nRows - 1}; }

    // Sets bit in bands[b] for every band b that holds a row of top ..
    // bottom inside a frame of height rows.
    void Mark(int32_t top, int32_t bottom, int32_t height, uint64_t bit, uint64_t* bands) const
    {
        const int32_t first = std::max(top, 0), last = std::min(bottom, height - 1);
        for (int32_t band = first / nRows; first <= last && band <= last / nRows; ++band)
            bands[band] |= bit;
    }

    int32_t nRows, nBands;
};
