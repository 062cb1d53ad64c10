// One device on several threads. The stages keep their order and their
// arithmetic; the workers split them: the back-face test and the
// transforms by blocks of triangles, the fill by bands of rows, each pixel
// written by one thread in buffer order. The bytes are those of one thread.
#include <algorithm>
#include <atomic>
#include <new>
#include <thread>

#include "render/kxbackfaces.h"
#include "render/kxrowbands.h"
#include "render/kxsoftwarerenderdevice.h"
#include "render/kxthreadeddraw.h"
#include "render/kxworkers.h"

bool KxThreadedDraw::Allocate()
{
    const size_t nBatches = 2 * size_t(kRoundBatches);
    batches.reset(new (std::nothrow) KxVertexBatch[nBatches]);
    bandTriangles.reset(new (std::nothrow) uint64_t[nBatches * KxFrameBands::kMaxBands]);
    return batches && bandTriangles;
}

bool KxSoftwareRenderDevice::SetThreadCount(uint32_t count)
{
    if (count > kMaxThreads)
        return false;
    if (count == 0)
        count = std::clamp(std::thread::hardware_concurrency(), 1u, kMaxThreads);
    if (count == GetThreadCount())
        return true;
    pWorkers.reset();
    pThreadedDraw.reset();
    if (count == 1)
        return true;
    auto pDraw = std::make_unique<KxThreadedDraw>();
    auto pNewWorkers = std::make_unique<KxWorkers>();
    if (!pDraw->Allocate() || !pNewWorkers->SetCount(count))
        return false;
    pWorkers = std::move(pNewWorkers);
    pThreadedDraw = std::move(pDraw);
    return true;
}

uint32_t KxSoftwareRenderDevice::GetThreadCount() const
{
    return pWorkers ? pWorkers->Count() : 1;
}

bool KxSoftwareRenderDevice::UsesWorkers(uint32_t nTriangles) const
{
    return pWorkers && nTriangles > 0 && nTriangles >= nThreadThreshold;
}

void KxSoftwareRenderDevice::CullTrianglesOnWorkers(uint32_t nTriangles,
                                                    void (KxSoftwareRenderDevice::*cull)(uint32_t, uint32_t))
{
    std::atomic<uint32_t> nextBlock{0};
    auto cullBlocks = [&](uint32_t) {
        for (;;) {
            const uint64_t first =
                uint64_t(nextBlock.fetch_add(1, std::memory_order_relaxed)) * KxThreadedDraw::kCullBlockTriangles;
            if (first >= nTriangles)
                return;
            (this->*cull)(uint32_t(first),
                          uint32_t(std::min<uint64_t>(KxThreadedDraw::kCullBlockTriangles, nTriangles - first)));
        }
    };
    pWorkers->Run(cullBlocks);
}

namespace {

// The blocks of round round of a draw of nTriangles triangles.
uint32_t RoundBlocks(uint32_t nTriangles, uint32_t round)
{
    const uint64_t left = nTriangles - uint64_t(round) * KxThreadedDraw::kRoundTriangles;
    return uint32_t(std::min<uint64_t>(KxThreadedDraw::kRoundBlocks,
                                       (left + KxThreadedDraw::kBlockTriangles - 1) / KxThreadedDraw::kBlockTriangles));
}

// About how many pixels a triangle covers: half its bounding box inside
// the frame.
int64_t CoveredPixels(const KxVertexBatch& b, int32_t v, int32_t width, int32_t height)
{
    const int64_t columns = int64_t(std::min(std::max({b.x[v], b.x[v + 1], b.x[v + 2]}), width - 1)) -
                            std::max(std::min({b.x[v], b.x[v + 1], b.x[v + 2]}), 0) + 1;
    const int64_t rows = int64_t(std::min(std::max({b.y[v], b.y[v + 1], b.y[v + 2]}), height - 1)) -
                         std::max(std::min({b.y[v], b.y[v + 1], b.y[v + 2]}), 0) + 1;
    return columns > 0 && rows > 0 ? columns * rows / 2 : 0;
}

}  // namespace

void KxSoftwareRenderDevice::DrawLitTrianglesOnWorkers(uint32_t nTriangles)
{
    // The normal matrix and the lighting are formed before the first
    // visible triangle is transformed, as on one thread, and only if there
    // is one.
    const auto end = triangleVisible.begin() + nTriangles;
    if (std::find(triangleVisible.begin(), end, true) == end)
        return;
    KxMatrix4 normalMatrix;
    const KxVertexTransform transform = VertexTransform(normalMatrix);
    PrepareVertexTransform(normalMatrix);

    KxThreadedDraw& draw = *pThreadedDraw;
    const uint32_t nThreads = pWorkers->Count();
    const KxFrameBands bands(height, int32_t(nThreads));
    const uint32_t nRounds = (nTriangles - 1) / KxThreadedDraw::kRoundTriangles + 1;
    const uint64_t firstFillRound = draw.nFillRounds + 1;
    draw.nFillRounds += nRounds;

    // Round r's blocks into half r % 2 of the batches, taken one at a time
    // by whichever thread comes.
    auto transformRound = [&](uint32_t round) {
        const uint32_t half = round % 2;
        const uint32_t nBlocks = RoundBlocks(nTriangles, round);
        for (uint32_t block; (block = draw.nextBlock[half].fetch_add(1, std::memory_order_relaxed)) < nBlocks;) {
            const uint32_t first = round * KxThreadedDraw::kRoundTriangles + block * KxThreadedDraw::kBlockTriangles;
            const uint32_t blockEnd = std::min(first + KxThreadedDraw::kBlockTriangles, nTriangles);
            uint32_t k = 0;
            for (uint32_t i = first; i < blockEnd; ++k) {
                KxVertexBatch& batch = draw.Batch(half, block, k);
                i = GatherBatch(i, blockEnd, batch);
                if (batch.count == 0)
                    break;
                KxTransformVertices(transform, batch);
                MarkBands(batch, bands, draw.BandTriangles(half, block, k));
            }
            draw.nBlockBatches[half][block] = k;
        }
    };
    // visit(batch, its triangles of each band) for the round's batches in
    // order.
    auto forEachBatch = [&](uint32_t round, const auto& visit) {
        const uint32_t half = round % 2;
        for (uint32_t block = 0; block < RoundBlocks(nTriangles, round); ++block)
            for (uint32_t k = 0; k < draw.nBlockBatches[half][block]; ++k)
                visit(draw.Batch(half, block, k), draw.BandTriangles(half, block, k));
    };
    // Round r's bands, this thread's share first (band b is thread
    // b mod n's), then any another thread has not begun.
    auto fillBands = [&](uint32_t round, uint32_t thread) {
        auto fillBand = [&](int32_t band) {
            if (!draw.TakeBand(band, firstFillRound + round))
                return;
            forEachBatch(round, [&](const KxVertexBatch& batch, const uint64_t* bandTriangles) {
                FillBatch(bands.Band(band), batch, bandTriangles[band], transform);
            });
        };
        for (int32_t band = int32_t(thread); band < bands.nBands; band += int32_t(nThreads))
            fillBand(band);
        for (int32_t band = 0; band < bands.nBands; ++band)
            fillBand(band);
    };

    if (!UsesWorkers(nTriangles)) {
        // A small draw: transformed here, and filled here too unless its
        // triangles cover enough of the frame to repay waking the workers.
        for (uint32_t round = 0; round < nRounds; ++round) {
            draw.nextBlock[round % 2] = 0;
            transformRound(round);
            int64_t pixels = 0;
            forEachBatch(round, [&](const KxVertexBatch& batch, const uint64_t*) {
                for (int32_t v = 0; v < batch.count; v += 3)
                    pixels += CoveredPixels(batch, v, width, height);
            });
            if (pixels >= kThreadedFillPixels) {
                auto fillOnWorkers = [&](uint32_t thread) { fillBands(round, thread); };
                pWorkers->Run(fillOnWorkers);
                continue;
            }
            forEachBatch(round, [&](const KxVertexBatch& batch, const uint64_t*) {
                FillBatch(KxRowBand(), batch, ~uint64_t(0) >> (64 - batch.count / 3), transform);
            });
        }
        return;
    }

    // Filling a round and transforming the next overlap; one wait for all
    // between rounds: the next fill needs the next round's batches, and the
    // round after overwrites the batches just filled.
    draw.nextBlock[0] = 0;
    auto drawRounds = [&](uint32_t thread) {
        transformRound(0);
        for (uint32_t round = 0; round < nRounds; ++round) {
            if (thread == 0)
                draw.nextBlock[(round + 1) % 2] = 0;
            pWorkers->Sync();
            fillBands(round, thread);
            if (round + 1 < nRounds)
                transformRound(round + 1);
        }
    };
    pWorkers->Run(drawRounds);
}

// For each band, bit t for each triangle t of the batch that touches it. A
// triangle to be clipped has no screen rows yet: every band takes it.
void KxSoftwareRenderDevice::MarkBands(const KxVertexBatch& b, const KxFrameBands& bands,
                                       uint64_t* bandTriangles) const
{
    std::fill(bandTriangles, bandTriangles + bands.nBands, 0);
    for (int32_t t = 0; 3 * t < b.count; ++t) {
        const int32_t* y = &b.y[3 * t];
        const uint8_t* bUnclipped = &b.bUnclipped[3 * t];
        if (bUnclipped[0] & bUnclipped[1] & bUnclipped[2])
            bands.Mark(std::min({y[0], y[1], y[2]}), std::max({y[0], y[1], y[2]}), height, uint64_t(1) << t,
                       bandTriangles);
        else
            bands.Mark(0, height - 1, height, uint64_t(1) << t, bandTriangles);
    }
}
