#include "app/kxmywinclass.h"

KxMyWinClass::KxMyWinClass() : pScene(nullptr)
{
}

KxMyWinClass::~KxMyWinClass()
{
    if (pScene) {
        delete pScene;
        pScene = nullptr;
    }
}

bool KxMyWinClass::Init()
{
    KxWinClass::Init();
    if (!pScene) {
        pScene = new KxScene();
        pScene->Setup(hWnd);
    }
    return pScene != nullptr;
}

// Renders back to back, with no timer and no sleep, while the queue is empty.
bool KxMyWinClass::Run()
{
    while (bRunning) {
        if (PeekMessageA(&msg, hWnd, 0, 0, PM_NOREMOVE)) {
            if (!GetMessageA(&msg, hWnd, 0, 0))
                break;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        } else {
            pScene->Frame();
        }
    }
    return false;
}
