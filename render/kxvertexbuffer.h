// A plain block of vertex memory with the bounding sphere of its positions.
#pragma once

#include <cstdint>

#include "math/kxvector3.h"

class KxVertexBuffer {
public:
    explicit KxVertexBuffer(uint32_t length);
    ~KxVertexBuffer();
    KxVertexBuffer(const KxVertexBuffer&) = delete;
    KxVertexBuffer& operator=(const KxVertexBuffer&) = delete;

    bool Lock(uint32_t offsetToLock, uint32_t sizeToLock, void** dataPointer, uint32_t flags);
    bool Unlock();
    bool Release();

    uint32_t length;
    uint8_t* data;
    KxVector3 boundsCentre;
    float boundsRadius;
};
