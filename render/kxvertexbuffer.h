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

    // The contents may change only between Lock and Unlock.
    bool Lock(uint32_t offsetToLock, uint32_t sizeToLock, void** dataPointer, uint32_t flags);
    bool Unlock();
    bool Release();

    // The radius a binding computed over count vertices of this stride, kept
    // for the next binding of the same unchanged block.
    bool FindCachedRadius(int32_t stride, uint32_t count, float& radius) const;
    void CacheRadius(int32_t stride, uint32_t count, float radius);

    uint32_t length;
    uint8_t* data;
    KxVector3 boundsCentre;
    float boundsRadius;

private:
    struct KxRadiusCache {
        bool bValid = false;
        const uint8_t* data = nullptr;
        int32_t stride = 0;
        uint32_t count = 0;
        float radius = 0.0f;
    };
    KxRadiusCache radiusCache;
};
