#include "render/kxindexbuffer.h"

#include <cstdlib>

KxIndexBuffer::KxIndexBuffer(uint32_t nLength, uint32_t nFormat)
    : length(nLength), format(nFormat), data(static_cast<uint8_t*>(std::malloc(nLength)))
{
}

KxIndexBuffer::~KxIndexBuffer()
{
    std::free(data);
    data = nullptr;
}

// As for vertex buffers: the whole block whatever range is asked for, and
// no lock state.
bool KxIndexBuffer::Lock(uint32_t, uint32_t, void** dataPointer, uint32_t)
{
    if (!data || !dataPointer)
        return false;
    *dataPointer = data;
    return true;
}

bool KxIndexBuffer::Unlock()
{
    return true;
}

bool KxIndexBuffer::Release()
{
    delete this;
    return true;
}

