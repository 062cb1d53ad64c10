// Triangle assembly of indexed draws: the index stream of a list, strip or
// fan turned into the triangles it names, three vertex numbers each in the
// order the later stages take them, and those vertices copied out as a
// plain triangle list. The list then goes through the stages a non-indexed
// draw goes through, so an indexed triangle gives the bytes it gives
// written out as a list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "render/kxindexbuffer.h"

// Primitive types (Direct3D 9's codes).
enum : uint32_t {
    KXPT_TRIANGLELIST = 4,
    KXPT_TRIANGLESTRIP = 5,
    KXPT_TRIANGLEFAN = 6,
};

// The arguments of DrawIndexedPrimitive.
struct KxIndexedDraw {
    uint32_t type;
    int32_t baseVertexIndex;  // added to every index
    uint32_t minVertexIndex;  // indices must lie in min .. min + numVertices - 1
    uint32_t numVertices;
    uint32_t startIndex;  // the first index read
    uint32_t primitiveCount;
};

// How many indices a draw reads: 3 per triangle of a list, the count plus 2
// for a strip or a fan (none for no triangles); 0 for another type.
uint64_t KxIndicesRead(uint32_t type, uint32_t primitiveCount);

// Which of the draw's indices (counted from its first) make triangle i, in
// the order handed on. A strip's odd triangles swap their last two, so that
// every triangle of the strip keeps the first one's winding.
struct KxTriangleCorners {
    uint32_t a, b, c;
};
inline KxTriangleCorners KxCornersOf(uint32_t type, uint32_t i)
{
    if (type == KXPT_TRIANGLESTRIP)
        return (i & 1u) ? KxTriangleCorners{i, i + 2, i + 1} : KxTriangleCorners{i, i + 1, i + 2};
    if (type == KXPT_TRIANGLEFAN)
        return {0, i + 1, i + 2};
    return {3 * i, 3 * i + 1, 3 * i + 2};
}

// The triangles a draw names, as a triangle list.
class KxTriangleAssembly {
public:
    // False, with nothing assembled, for an unknown type or indices read
    // past the buffer. A triangle with an index outside the draw's range or
    // naming a vertex outside 0 .. nVertices - 1 is left out. The vertices
    // are nVertices of stride bytes from `vertices`.
    bool Assemble(const KxIndexBuffer& indices, const KxIndexedDraw& draw, const uint8_t* vertices, size_t stride,
                  uint32_t nVertices);

    // Three vertex numbers a triangle.
    const std::vector<uint32_t>& Corners() const { return corners; }
    // Their vertices copied out in that order.
    const uint8_t* ListData() const { return list.data(); }
    size_t ListLength() const { return list.size(); }
    uint32_t TriangleCount() const { return uint32_t(corners.size() / 3); }

private:
    template <typename Index>
    void AssembleCorners(const uint8_t* indices, const KxIndexedDraw& draw, uint32_t nVertices);
    void CopyVertices(const uint8_t* vertices, size_t stride);

    std::vector<uint32_t> corners;
    std::vector<uint8_t> list;
};
