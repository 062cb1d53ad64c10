#include "render/kxframerate.h"

#include <cstdio>
#include <cstring>

#include "platform/kxwin32.h"

DWORD KxFrameRate::ReadTicks() const
{
    return tickSource ? tickSource() : GetTickCount();
}

void KxFrameRate::Update()
{
    frameCount += 1;
    if (nextTick < ReadTicks()) {
        value = frameCount;
        frameCount = 1;
        nextTick = ReadTicks() + 1000;
        std::memset(text, 0, sizeof(text));
        std::snprintf(text, sizeof(text), "FPS : %d", value);
    }
}

void KxFrameRate::Reset()
{
    frameCount = 0;
    value = 0;
    nextTick = 0;
    std::memset(text, 0, sizeof(text));
}
