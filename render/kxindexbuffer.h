// A plain block of vertex numbers, 16 or 32 bits each, for indexed drawing.
#pragma once

#include <cstdint>

#include "math/kxexactfloat.h"

// Index formats (Direct3D 9's codes).
enum : uint32_t {
    KXFMT_INDEX16 = 101,
    KXFMT_INDEX32 = 102,
};

class KxIndexBuffer {
public:
    // format is KXFMT_INDEX16 or KXFMT_INDEX32; the device refuses others.
    KxIndexBuffer(uint32_t length, uint32_t format);
    ~KxIndexBuffer();
    KxIndexBuffer(const KxIndexBuffer&) = delete;
    KxIndexBuffer& operator=(const KxIndexBuffer&) = delete;

    bool Lock(uint32_t offsetToLock, uint32_t sizeToLock, void** dataPointer, uint32_t flags);
    bool Unlock();
    bool Release();

    uint32_t IndexSize() const { return format == KXFMT_INDEX32 ? 4u : 2u; }
    // The whole indices the block holds; a trailing part of one is ignored.
    uint32_t IndexCount() const { return length / IndexSize(); }

    uint32_t length;
    uint32_t format;
    uint8_t* data;
};
