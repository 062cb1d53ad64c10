// What a device keeps for drawing on several threads: the batches of
// transformed triangles waiting to be filled, and which worker's rows each
// of their triangles touches. Made once, when the threads are set, and
// reused by every draw.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "render/kxrowbands.h"
#include "render/kxvertexbatch.h"
#include "render/kxworkers.h"

struct KxThreadedDraw {
    // A draw goes in rounds of blocks of buffer triangles. The threads take
    // a round's blocks one after the other and transform each into batches
    // of its own, marking which bands of the frame each triangle touches;
    // then they take the bands one after the other and fill each from the
    // round's batches in block order, which is buffer order, while taking
    // the next round's blocks into the other half of the batches.
    static constexpr uint32_t kBlockTriangles = 512;
    static constexpr uint32_t kBlockBatches = kBlockTriangles / KxVertexBatch::kTriangles;
    static constexpr uint32_t kRoundBlocks = 16;
    static constexpr uint32_t kRoundTriangles = kRoundBlocks * kBlockTriangles;
    static constexpr uint32_t kRoundBatches = kRoundBlocks * kBlockBatches;
    // Triangles of the culling stages a thread takes at a time: whole words
    // of the flag vector, so that no two threads write to one.
    static constexpr uint32_t kCullBlockTriangles = 64 * 64;

    // False when the memory cannot be had.
    bool Allocate();

    // Batch k of block b of a round's half of the batches.
    KxVertexBatch& Batch(uint32_t half, uint32_t block, uint32_t k)
    {
        return batches[(half * kRoundBlocks + block) * kBlockBatches + k];
    }
    // For each band of the frame, bit t for each triangle t of that batch
    // that touches a row of the band.
    uint64_t* BandTriangles(uint32_t half, uint32_t block, uint32_t k)
    {
        return &bandTriangles[((half * kRoundBlocks + block) * kBlockBatches + k) * KxFrameBands::kMaxBands];
    }
    // Whether this thread is the first to take the band in fill round
    // round (rounds are counted across draws, so they never repeat).
    bool TakeBand(int32_t band, uint64_t round)
    {
        return bandRound[band].load(std::memory_order_relaxed) != round &&
               bandRound[band].exchange(round, std::memory_order_relaxed) != round;
    }

    std::unique_ptr<KxVertexBatch[]> batches;  // two rounds' worth
    std::unique_ptr<uint64_t[]> bandTriangles;
    uint32_t nBlockBatches[2][kRoundBlocks] = {};  // batches each block filled
    std::atomic<uint32_t> nextBlock[2] = {};       // the next block of a round to take
    std::atomic<uint64_t> bandRound[KxFrameBands::kMaxBands] = {};
    uint64_t nFillRounds = 0;
};

// fill(band) for bands that together cover the frame's height rows, one a
// thread, all at once; without workers, fill(every row) on the calling
// thread.
template <typename Fill>
void KxFillRows(KxWorkers* pWorkers, int32_t height, const Fill& fill)
{
    if (!pWorkers) {
        fill(KxRowBand());
        return;
    }
    const int32_t nThreads = int32_t(pWorkers->Count());
    const int32_t nRows = (height + nThreads - 1) / nThreads;
    auto fillBand = [&](uint32_t thread) { fill(KxRowBand{int32_t(thread) * nRows, int32_t(thread + 1) * nRows - 1}); };
    pWorkers->Run(fillBand);
}
