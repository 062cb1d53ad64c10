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
    if (!data || !dataPointer)
        return false;
    *dataPointer = data;
    return true;
}

bool KxVertexBuffer::Unlock()
{
    return true;
}

bool KxVertexBuffer::Release()
{
    delete this;
    return true;
}
