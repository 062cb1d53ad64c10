#include "render/kxvertexbuffer.h"

#include <cstdlib>

KxVertexBuffer::KxVertexBuffer(uint32_t nLength)
    : length(nLength), data(static_cast<uint8_t*>(std::malloc(nLength))), boundsCentre(0.0f, 0.0f, 0.0f),
      boundsRadius(0.0f)
{
}

KxVertexBuffer::~KxVertexBuffer()
{
    if (data) {
        std::free(data);
        data = nullptr;
    }
}

// The whole block is handed out whatever range is asked for; there is no
// lock state.
bool KxVertexBuffer::Lock(uint32_t, uint32_t, void** dataPointer, uint32_t)
{
    radiusCache.bValid = false;
    if (!data || !dataPointer)
        return false;
    *dataPointer = data;
    return true;
}

bool KxVertexBuffer::Unlock()
{
    radiusCache.bValid = false;
    return true;
}

bool KxVertexBuffer::FindCachedRadius(int32_t stride, uint32_t count, float& radius) const
{
    const KxRadiusCache& c = radiusCache;
    if (!c.bValid || c.data != data || c.stride != stride || c.count != count)
        return false;
    radius = c.radius;
    return true;
}

void KxVertexBuffer::CacheRadius(int32_t stride, uint32_t count, float radius)
{
    radiusCache = {true, data, stride, count, radius};
}

bool KxVertexBuffer::Release()
{
    delete this;
    return true;
}
