// A device's frame-rate counter: frames counted per second of ticks, and
// the count as the text "FPS : N".
#pragma once

#include <cstdint>

#include "platform/kxwintypes.h"

class KxFrameRate {
public:
    // Where the milliseconds come from; null means GetTickCount.
    typedef DWORD (*TickSource)();

    // Counts a frame. When the ticks have passed the end of the current
    // second, the count so far becomes the value and a new second starts
    // at this frame, which so counts in both.
    void Update();
    // Back to the state of a new counter; the tick source stays.
    void Reset();
    void SetTickSource(TickSource source) { tickSource = source; }

    int32_t GetValue() const { return value; }
    int32_t GetCount() const { return frameCount; }
    const char* GetText() const { return text; }

private:
    DWORD ReadTicks() const;

    int32_t frameCount = 0;
    int32_t value = 0;
    DWORD nextTick = 0;
    char text[64] = {};
    TickSource tickSource = nullptr;
};
