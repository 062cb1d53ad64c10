// Flexible-vertex-format decoder and a cursor that walks a block of
// vertices component by component.
#pragma once

#include <cstdint>

#include "math/kxexactfloat.h"

enum : uint32_t {
    KXFVF_RESERVED0 = 0x001,
    KXFVF_XYZ = 0x002,
    KXFVF_XYZRHW = 0x004,
    KXFVF_NORMAL = 0x010,
    KXFVF_PSIZE = 0x020,
    KXFVF_DIFFUSE = 0x040,
    KXFVF_SPECULAR = 0x080,
    KXFVF_TEXCOUNT_MASK = 0xF00,
    KXFVF_TEX1 = 0x100,
};

class KxFvf {
public:
    KxFvf() = default;

    void SetFormat(uint32_t code);
    uint32_t GetFormat() const { return fvf; }
    bool HasComponent(uint32_t flag) const { return (fvf & flag) != 0; }
    static int32_t ComputeVertexSize(uint32_t code);
    static int32_t ComponentSize(uint32_t flag);

    void SetData(uint8_t* p);
    void Rewind();
    uint8_t* Seek(uint32_t from, uint32_t to);
    void NextVertex();
    // Where a component starts in a vertex: what Seek from the vertex start
    // to it skips.
    int32_t ComponentOffset(uint32_t flag) const;

    int32_t GetStride() const { return stride; }

private:
    int32_t SpanBetween(uint32_t from, uint32_t to) const;

    uint8_t* data = nullptr;
    uint32_t fvf = 0;
    int32_t stride = 0;
    uint8_t* elementCursor = nullptr;
    uint8_t* vertexCursor = nullptr;
};
