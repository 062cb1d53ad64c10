#include "render/kxfvf.h"

#include "math/kxassert.h"

namespace {

constexpr uint32_t kPositionBits[] = {KXFVF_XYZ, KXFVF_XYZRHW, 0x008};
constexpr uint32_t kPositionField = 0x00E;
// The count field can say up to 15, but only eight size codes fit above
// bit 16 of the word.
constexpr uint32_t kMaxTextureSets = 8;

// The one position bit that takes bytes in a vertex: the first of 0x002,
// 0x004, 0x008 that is set, or 0.
uint32_t PositionBit(uint32_t code)
{
    for (uint32_t bit : kPositionBits) {
        if (code & bit)
            return bit;
    }
    return 0;
}

int32_t TextureSetSize(uint32_t sizeCode)
{
    static constexpr int32_t kSizes[4] = {8, 12, 16, 4};
    return kSizes[sizeCode & 3u];
}

}  // namespace

void KxFvf::SetFormat(uint32_t code)
{
    fvf = code;
    stride = ComputeVertexSize(code);
}

int32_t KxFvf::ComputeVertexSize(uint32_t code)
{
    int32_t size = ComponentSize(PositionBit(code));
    if (code & KXFVF_NORMAL)
        size += 12;
    if (code & KXFVF_DIFFUSE)
        size += 4;
    if (code & KXFVF_SPECULAR)
        size += 4;

    uint32_t setCount = (code & KXFVF_TEXCOUNT_MASK) >> 8;
    if (setCount > kMaxTextureSets)
        setCount = kMaxTextureSets;
    for (uint32_t i = 0; i < setCount; ++i)
        size += TextureSetSize(code >> (16 + 2 * i));
    return size;
}

int32_t KxFvf::ComponentSize(uint32_t flag)
{
    switch (flag) {
    case KXFVF_XYZ:
        return 12;
    case KXFVF_XYZRHW:
        return 16;
    case 0x008:
        return 8;
    case KXFVF_NORMAL:
        return 12;
    case KXFVF_DIFFUSE:
    case KXFVF_SPECULAR:
        return 4;
    default:
        return 0;
    }
}

void KxFvf::SetData(uint8_t* p)
{
    if (!p)
        KX_ASSERT(0, "kxfvf");
    data = p;
    elementCursor = p;
    vertexCursor = p;
}

void KxFvf::Rewind()
{
    elementCursor = data;
    vertexCursor = elementCursor;
}

// The bytes of the components from `from` up to, not including, `to`.
// Only the position bit that the stride counts takes bytes, so a cursor
// never runs past the vertex for position fields such as 0x006.
int32_t KxFvf::SpanBetween(uint32_t from, uint32_t to) const
{
    uint32_t position = PositionBit(fvf);
    int32_t sum = 0;
    for (uint32_t c = from ? from : 1u; c != 0 && c < to; c <<= 1) {
        bool isPositionBit = (c & kPositionField) != 0;
        if (HasComponent(c) && (!isPositionBit || c == position))
            sum += ComponentSize(c);
    }
    return sum;
}

uint8_t* KxFvf::Seek(uint32_t from, uint32_t to)
{
    if (!HasComponent(to) || !elementCursor)
        return nullptr;
    elementCursor += SpanBetween(from, to);
    return elementCursor;
}

int32_t KxFvf::ComponentOffset(uint32_t flag) const
{
    return SpanBetween(0, flag);
}

void KxFvf::NextVertex()
{
    if (!vertexCursor)
        return;
    vertexCursor += stride;
    elementCursor = vertexCursor;
}
