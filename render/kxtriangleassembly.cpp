#include "render/kxtriangleassembly.h"

#include <cstring>

uint64_t KxIndicesRead(uint32_t type, uint32_t primitiveCount)
{
    if (type == KXPT_TRIANGLELIST)
        return 3 * uint64_t(primitiveCount);
    if (type == KXPT_TRIANGLESTRIP || type == KXPT_TRIANGLEFAN)
        return primitiveCount > 0 ? uint64_t(primitiveCount) + 2 : 0;
    return 0;
}

bool KxTriangleAssembly::Assemble(const KxIndexBuffer& indices, const KxIndexedDraw& draw, const uint8_t* vertices,
                                  size_t stride, uint32_t nVertices)
{
    corners.clear();
    list.clear();
    const bool bKnown =
        draw.type == KXPT_TRIANGLELIST || draw.type == KXPT_TRIANGLESTRIP || draw.type == KXPT_TRIANGLEFAN;
    if (!bKnown || !indices.data)
        return false;
    if (uint64_t(draw.startIndex) + KxIndicesRead(draw.type, draw.primitiveCount) > indices.IndexCount())
        return false;
    const uint8_t* first = indices.data + size_t(draw.startIndex) * indices.IndexSize();
    if (indices.format == KXFMT_INDEX32)
        AssembleCorners<uint32_t>(first, draw, nVertices);
    else
        AssembleCorners<uint16_t>(first, draw, nVertices);
    CopyVertices(vertices, stride);
    return true;
}

template <typename Index>
void KxTriangleAssembly::AssembleCorners(const uint8_t* indices, const KxIndexedDraw& draw, uint32_t nVertices)
{
    // The vertex an index names, or -1 when the draw may not name it. In 64
    // bits: the base is signed and the sums may pass either end of 32.
    const uint64_t rangeEnd = uint64_t(draw.minVertexIndex) + draw.numVertices;
    auto vertexOf = [&](uint32_t k) -> int64_t {
        Index index;
        std::memcpy(&index, indices + size_t(k) * sizeof(Index), sizeof(Index));
        if (index < draw.minVertexIndex || index >= rangeEnd)
            return -1;
        const int64_t vertex = int64_t(draw.baseVertexIndex) + int64_t(index);
        return vertex >= 0 && vertex < int64_t(nVertices) ? vertex : -1;
    };
    corners.reserve(3 * size_t(draw.primitiveCount));
    for (uint32_t i = 0; i < draw.primitiveCount; ++i) {
        const KxTriangleCorners t = KxCornersOf(draw.type, i);
        const int64_t a = vertexOf(t.a), b = vertexOf(t.b), c = vertexOf(t.c);
        if (a < 0 || b < 0 || c < 0)
            continue;
        corners.insert(corners.end(), {uint32_t(a), uint32_t(b), uint32_t(c)});
    }
}

void KxTriangleAssembly::CopyVertices(const uint8_t* vertices, size_t stride)
{
    list.resize(corners.size() * stride);
    uint8_t* out = list.data();
    for (uint32_t vertex : corners) {
        std::memcpy(out, vertices + size_t(vertex) * stride, stride);
        out += stride;
    }
}
