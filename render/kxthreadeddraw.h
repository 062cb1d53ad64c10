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
    // A draw goes in rounds of blocks of buffer triangles. The workers take
    // a round's blocks one after the other and transform each into batches
    // of its own; then every worker fills its rows from the round's batches
    // in block order, which is buffer order, while taking the next round's
    // blocks into the other half of the batches.
    static constexpr uint32_t kBlockTriangles = 512;
    static constexpr uint32_t kBlockBatches = kBlockTriangles / KxVertexBatch::kTriangles;
    static constexpr uint32_t kRoundBlocks = 16;
    static constexpr uint32_t kRoundTriangles = kRoundBlocks * kBlockTriangles;
    static constexpr uint32_t kRoundBatches = kRoundBlocks * kBlockBatches;
    // Triangles of the back-face test a worker takes at a time: whole words
    // of the flag vector, so that no two workers write to one.
    static constexpr uint32_t kFaceBlockTriangles = 64 * 64;

    explicit KxThreadedDraw(uint32_t nWorkers) : nWorkers(nWorkers) {}

    // False when the memory cannot be had.
    bool Allocate();

    // Batch k of block b of a round's half of the batches.
    KxVertexBatch& Batch(uint32_t half, uint32_t block, uint32_t k)
    {
        return batches[(half * kRoundBlocks + block) * kBlockBatches + k];
    }
    // Bit t for each triangle t of that batch that touches a row of the
    // worker.
    uint64_t& Owners(uint32_t half, uint32_t block, uint32_t k, uint32_t worker)
    {
        return owners[((half * kRoundBlocks + block) * kBlockBatches + k) * nWorkers + worker];
    }

    const uint32_t nWorkers;
    std::unique_ptr<KxVertexBatch[]> batches;  // two rounds' worth
    std::unique_ptr<uint64_t[]> owners;
    uint32_t nBlockBatches[2][kRoundBlocks] = {};  // batches each block filled
    std::atomic<uint32_t> nextBlock[2] = {};       // the next block of a round to take
};

// fill(bands) with the rows of each worker, all at once; without workers,
// fill(all rows) on the calling thread.
template <typename Fill>
void KxFillRows(KxWorkers* pWorkers, const Fill& fill)
{
    if (!pWorkers) {
        fill(KxRowBands());
        return;
    }
    const int32_t nWorkers = int32_t(pWorkers->Count());
    auto fillOwnRows = [&](uint32_t worker) { fill(KxRowBands{nWorkers, int32_t(worker)}); };
    pWorkers->Run(fillOwnRows);
}
