// What a device keeps for drawing on several threads: the batches of
// transformed triangles waiting to be filled. Made once, when the threads
// are set, and reused by every draw.
#pragma once

#include <cstdint>
#include <memory>

#include "render/kxrowbands.h"
#include "render/kxvertexbatch.h"
#include "render/kxworkers.h"

struct KxThreadedDraw {
    // A draw goes in rounds. The workers take blocks of a round's buffer
    // triangles one after the other and transform them, each block into
    // batches of its own; then every worker fills its rows from all the
    // round's batches in block order, which is buffer order.
    static constexpr uint32_t kBlockTriangles = 512;
    static constexpr uint32_t kBlockBatches = kBlockTriangles / KxVertexBatch::kTriangles;
    static constexpr uint32_t kRoundBlocks = 32;
    // Triangles of the back-face test a worker takes at a time: whole words
    // of the flag vector, so that no two workers write to one.
    static constexpr uint32_t kFaceBlockTriangles = 64 * 64;

    std::unique_ptr<KxVertexBatch[]> batches;  // kRoundBlocks x kBlockBatches
    uint32_t nBlockBatches[kRoundBlocks] = {};  // batches each block filled
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
