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
    const bool bKnown =
        draw.type == KXPT_TRIANGLELIST || draw.type == KXPT_TRIANGLESTRIP || draw.type == KXPT_TRIANGLEFAN;
    if (!bKnown || !indices.data ||
        uint64_t(draw.startIndex) + KxIndicesRead(draw.type, draw.primitiveCount) > indices.IndexCount()) {
        corners.clear();
        list.clear();
        return false;
    }
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
    // Sized for every triangle and cut to those kept: a draw the size of
    // the last one neither allocates nor fills.
    corners.resize(3 * size_t(draw.primitiveCount));
    size_t n = 0;
    for (uint32_t i = 0; i < draw.primitiveCount; ++i) {
        const KxTriangleCorners t = KxCornersOf(draw.type, i);
        const int64_t a = vertexOf(t.a), b = vertexOf(t.b), c = vertexOf(t.c);
        if (a < 0 || b < 0 || c < 0)
            continue;
        corners[n] = uint32_t(a);
        corners[n + 1] = uint32_t(b);
        corners[n + 2] = uint32_t(c);
        n += 3;
    }
    corners.resize(n);
}

namespace {

// Stride a compile-time constant where it is common, so that each copy is
// a few moves instead of a call.
template <size_t nStride>
void CopyFixed(const uint8_t* vertices, const std::vector<uint32_t>& corners, uint8_t* out)
{
    for (uint32_t vertex : corners) {
        std::memcpy(out, vertices + size_t(vertex) * nStride, nStride);
        out += nStride;
    }
}

}  // namespace

void KxTriangleAssembly::CopyVertices(const uint8_t* vertices, size_t stride)
{
    list.resize(corners.size() * stride);
    uint8_t* out = list.data();
    switch (stride) {
    case 16:
        return CopyFixed<16>(vertices, corners, out);
    case 24:
        return CopyFixed<24>(vertices, corners, out);
    case 28:
        return CopyFixed<28>(vertices, corners, out);
    case 32:
        return CopyFixed<32>(vertices, corners, out);
    case 36:
        return CopyFixed<36>(vertices, corners, out);
    default:
        for (uint32_t vertex : corners) {
            std::memcpy(out, vertices + size_t(vertex) * stride, stride);
            out += stride;
        }
    }
}
