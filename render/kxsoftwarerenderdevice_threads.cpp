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

namespace {

// Hands out blocks 0, 1, 2, ... to whichever worker asks next.
struct KxBlockCounter {
    std::atomic<uint32_t> next{0};

    uint32_t Take() { return next.fetch_add(1, std::memory_order_relaxed); }
};

}  // namespace

bool KxSoftwareRenderDevice::SetThreadCount(uint32_t count)
{
    if (count > kMaxThreads)
        return false;
    if (count == 0)
        count = std::clamp(std::thread::hardware_concurrency(), 1u, kMaxThreads);
    if (count == 1) {
        pWorkers.reset();
        pThreadedDraw.reset();
        return true;
    }
    if (!pThreadedDraw) {
        auto pDraw = std::make_unique<KxThreadedDraw>();
        pDraw->batches.reset(new (std::nothrow)
                                 KxVertexBatch[KxThreadedDraw::kRoundBlocks * KxThreadedDraw::kBlockBatches]);
        if (!pDraw->batches)
            return false;
        pThreadedDraw = std::move(pDraw);
    }
    if (!pWorkers)
        pWorkers = std::make_unique<KxWorkers>();
    if (!pWorkers->SetCount(count)) {
        pWorkers.reset();
        pThreadedDraw.reset();
        return false;
    }
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
    KxBlockCounter blocks;
    auto markBlocks = [&](uint32_t) {
        for (;;) {
            const uint64_t first = uint64_t(blocks.Take()) * KxThreadedDraw::kFaceBlockTriangles;
            if (first >= nTriangles)
                return;
            const uint32_t count = uint32_t(std::min<uint64_t>(KxThreadedDraw::kFaceBlockTriangles,
                                                               nTriangles - first));
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
    const auto firstVisible = std::find(triangleVisible.begin(), triangleVisible.begin() + nTriangles, true);
    if (firstVisible == triangleVisible.begin() + nTriangles)
        return;
    KxMatrix4 normalMatrix;
    const KxVertexTransform transform = VertexTransform(normalMatrix);
    PrepareVertexTransform(normalMatrix);

    KxThreadedDraw& draw = *pThreadedDraw;
    constexpr uint32_t kRoundTriangles = KxThreadedDraw::kRoundBlocks * KxThreadedDraw::kBlockTriangles;
    for (uint32_t roundFirst = 0, roundEnd; roundFirst < nTriangles; roundFirst = roundEnd) {
        roundEnd = roundFirst + std::min(kRoundTriangles, nTriangles - roundFirst);
        const uint32_t nBlocks =
            (roundEnd - roundFirst + KxThreadedDraw::kBlockTriangles - 1) / KxThreadedDraw::kBlockTriangles;

        KxBlockCounter blocks;
        auto transformBlocks = [&](uint32_t) {
            for (uint32_t block; (block = blocks.Take()) < nBlocks;) {
                const uint32_t first = roundFirst + block * KxThreadedDraw::kBlockTriangles;
                const uint32_t end = std::min(first + KxThreadedDraw::kBlockTriangles, roundEnd);
                KxVertexBatch* batch = &draw.batches[block * KxThreadedDraw::kBlockBatches];
                uint32_t nBatches = 0;
                for (uint32_t i = first; i < end; ++nBatches, ++batch) {
                    i = GatherBatch(i, end, *batch);
                    if (batch->count == 0)
                        break;
                    KxTransformVertices(transform, *batch);
                }
                draw.nBlockBatches[block] = nBatches;
            }
        };
        pWorkers->Run(transformBlocks);

        KxFillRows(pWorkers.get(), [&](const KxRowBands& bands) {
            for (uint32_t block = 0; block < nBlocks; ++block) {
                const KxVertexBatch* batch = &draw.batches[block * KxThreadedDraw::kBlockBatches];
                for (uint32_t k = 0; k < draw.nBlockBatches[block]; ++k, ++batch)
                    FillBatch(bands, *batch, batch->count / 3, transform.bNormalize);
            }
        });
    }
}

