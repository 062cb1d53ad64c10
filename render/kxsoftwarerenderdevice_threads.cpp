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
    owners.reset(new (std::nothrow) uint64_t[nBatches * nWorkers]);
    return batches && owners;
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
    auto pDraw = std::make_unique<KxThreadedDraw>(count);
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

void KxSoftwareRenderDevice::MarkFrontFacesOnWorkers(uint32_t nTriangles)
{
    std::atomic<uint32_t> nextBlock{0};
    auto markBlocks = [&](uint32_t) {
        for (;;) {
            const uint64_t first =
                uint64_t(nextBlock.fetch_add(1, std::memory_order_relaxed)) * KxThreadedDraw::kFaceBlockTriangles;
            if (first >= nTriangles)
                return;
            const uint32_t count =
                uint32_t(std::min<uint64_t>(KxThreadedDraw::kFaceBlockTriangles, nTriangles - first));
            KxMarkFrontFaces(streamSource->data, streamSource->length, vertexFormat.GetStride(), uint32_t(first),
                             count, combinedMatrix, eyePosition, triangleVisible);
        }
    };
    pWorkers->Run(markBlocks);
}

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
    const uint32_t nRounds = (nTriangles - 1) / KxThreadedDraw::kRoundTriangles + 1;
    const int32_t nWorkers = int32_t(draw.nWorkers);
    draw.nextBlock[0] = 0;

    // Round r's blocks into half r % 2 of the batches, taken one at a time
    // by whichever worker comes.
    auto transformRound = [&](uint32_t round) {
        const uint32_t half = round % 2;
        const uint32_t roundFirst = round * KxThreadedDraw::kRoundTriangles;
        for (;;) {
            const uint32_t block = draw.nextBlock[half].fetch_add(1, std::memory_order_relaxed);
            const uint32_t first = roundFirst + block * KxThreadedDraw::kBlockTriangles;
            if (block >= KxThreadedDraw::kRoundBlocks || first >= nTriangles)
                return;
            const uint32_t blockEnd = std::min(first + KxThreadedDraw::kBlockTriangles, nTriangles);
            uint32_t k = 0;
            for (uint32_t i = first; i < blockEnd; ++k) {
                KxVertexBatch& batch = draw.Batch(half, block, k);
                i = GatherBatch(i, blockEnd, batch);
                if (batch.count == 0)
                    break;
                KxTransformVertices(transform, batch);
                MarkRowOwners(batch, nWorkers, &draw.Owners(half, block, k, 0));
            }
            draw.nBlockBatches[half][block] = k;
        }
    };
    auto fillRound = [&](uint32_t round, const KxRowBands& bands) {
        const uint32_t half = round % 2;
        const uint32_t nBlocks = std::min(KxThreadedDraw::kRoundBlocks,
                                          (nTriangles - round * KxThreadedDraw::kRoundTriangles - 1) /
                                                  KxThreadedDraw::kBlockTriangles + 1);
        for (uint32_t block = 0; block < nBlocks; ++block)
            for (uint32_t k = 0; k < draw.nBlockBatches[half][block]; ++k)
                FillBatch(bands, draw.Batch(half, block, k), draw.Owners(half, block, k, uint32_t(bands.index)),
                          transform.bNormalize);
    };
    // Filling a round and transforming the next overlap; one wait for all
    // between rounds: the next fill needs the next round's batches, and the
    // round after overwrites the batches just filled.
    auto drawRounds = [&](uint32_t worker) {
        const KxRowBands bands{nWorkers, int32_t(worker)};
        transformRound(0);
        for (uint32_t round = 0; round < nRounds; ++round) {
            if (worker == 0)
                draw.nextBlock[(round + 1) % 2] = 0;
            pWorkers->Sync();
            fillRound(round, bands);
            if (round + 1 < nRounds)
                transformRound(round + 1);
        }
    };
    pWorkers->Run(drawRounds);
}

// Bit t of owners[w] for each triangle t of the batch that touches a row of
// worker w.
void KxSoftwareRenderDevice::MarkRowOwners(const KxVertexBatch& b, int32_t nWorkers, uint64_t* owners) const
{
    std::fill(owners, owners + nWorkers, 0);
    for (int32_t t = 0; 3 * t < b.count; ++t) {
        const int32_t* y = &b.y[3 * t];
        const int32_t top = std::min({y[0], y[1], y[2]}), bottom = std::max({y[0], y[1], y[2]});
        KxMarkOwners(nWorkers, top, bottom, height, uint64_t(1) << t, owners);
    }
}
