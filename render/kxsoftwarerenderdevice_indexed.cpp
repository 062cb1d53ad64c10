// Index buffers and indexed drawing: the bound indices assembled into a
// triangle list that the pipeline draws as it draws the bound buffer.
#include <algorithm>

#include "render/kxsoftwarerenderdevice.h"

bool KxSoftwareRenderDevice::CreateIndexBuffer(uint32_t length, uint32_t, uint32_t format, uint32_t,
                                               KxIndexBuffer** buffer, HANDLE*)
{
    if (!buffer || (format != KXFMT_INDEX16 && format != KXFMT_INDEX32))
        return false;
    *buffer = new KxIndexBuffer(length, format);
    if (length > 0 && !(*buffer)->data) {
        (*buffer)->Release();
        *buffer = nullptr;
        return false;
    }
    return true;
}

bool KxSoftwareRenderDevice::SetIndices(KxIndexBuffer* buffer)
{
    indexSource = buffer;
    return true;
}

bool KxSoftwareRenderDevice::DrawIndexedPrimitive(uint32_t primitiveType, int32_t baseVertexIndex,
                                                  uint32_t minVertexIndex, uint32_t numVertices, uint32_t startIndex,
                                                  uint32_t primitiveCount)
{
    if (!indexSource || !streamSource || !streamSource->data)
        return false;
    // The vertices a list draw would read: the count of the binding, never
    // past the block at the current format's stride.
    const int32_t stride = vertexFormat.GetStride();
    const uint32_t nVertices = stride > 0 ? std::min(vertexCount, streamSource->length / uint32_t(stride)) : 0;
    const KxIndexedDraw draw{primitiveType, baseVertexIndex, minVertexIndex, numVertices, startIndex, primitiveCount};
    if (!triangleAssembly.Assemble(*indexSource, draw, streamSource->data, size_t(std::max(stride, 0)), nVertices))
        return false;
    triangleList = {triangleAssembly.ListData(), triangleAssembly.ListLength(), triangleAssembly.TriangleCount()};
    return DrawTriangleList();
}
