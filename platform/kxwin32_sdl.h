// What the files of the SDL2 implementation of kxwin32.h share with each
// other (and what tests and tools need to look behind a window handle).
// Program code uses kxwin32.h only.
#pragma once

#include "platform/kxwindowsystem.h"

#ifndef _WIN32

#include <cstdint>
#include <string>
#include <vector>

struct SDL_Window;

struct KxWindow {
    SDL_Window* pSdlWindow = nullptr;
    uint32_t nSdlId = 0;
    WNDPROC pfnWndProc = nullptr;
    std::string classKey;     // the registry key of the window's class
    bool bDestroying = false;  // DestroyWindow has begun; refuses a second one
};

// SDL video is started by the first user and stopped again once no window
// and no window class is left, so nothing of SDL outlives its last user.
bool KxAcquireVideo();
void KxReleaseVideoIfIdle();

HWND KxFindWindowBySdlId(uint32_t nSdlId);
std::vector<HWND> KxListWindows();
SDL_Window* KxGetSdlWindow(HWND hwnd);  // null for a handle that is not live

// Clean-up hooks DestroyWindow runs in the other parts of the layer.
void KxDiscardMessages(HWND hwnd);

#endif
