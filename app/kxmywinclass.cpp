#include "app/kxmywinclass.h"

#include <algorithm>

namespace {

// The longest nap of the idle loop: messages wait no longer than this.
constexpr long kMaxIdleSleepMs = 10;

}  // namespace

KxMyWinClass::KxMyWinClass(const KxProgramOptions& options)
    : pScene(nullptr), pacer(options.nMaxFps), bShowFps(options.bShowFps), nThreads(options.nThreads)
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
        pScene->GetDevice()->SetThreadCount(uint32_t(nThreads));
    }
    return pScene != nullptr;
}

// Renders whenever the queue is empty; without a frame limit, back to back
// with no timer and no sleep.
bool KxMyWinClass::Run()
{
    while (bRunning) {
        if (PeekMessageA(&msg, hWnd, 0, 0, PM_NOREMOVE)) {
            if (!GetMessageA(&msg, hWnd, 0, 0))
                break;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        } else {
            RenderWhenDue();
        }
    }
    return false;
}

// An idle turn before the next frame is due sleeps, in naps short enough
// that messages are still answered promptly.
void KxMyWinClass::RenderWhenDue()
{
    const KxFramePacer::Clock::time_point now = KxFramePacer::Clock::now();
    const KxFramePacer::Clock::duration wait = pacer.TimeToNextFrame(now);
    if (wait > KxFramePacer::Clock::duration::zero()) {
        const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(wait).count();
        Sleep(DWORD(std::min<long>(long(milliseconds), kMaxIdleSleepMs)));
        return;
    }
    pacer.FrameStarted(now);
    pScene->Frame();
    ShowFrameRate();
}

// The device's text changes at most once a second; the title follows it.
void KxMyWinClass::ShowFrameRate()
{
    const char* text = pScene->GetDevice()->GetFrameRateText();
    if (!bShowFps || shownFps == text)
        return;
    shownFps = text;
    SetWindowTextA(hWnd, (std::string(className) + " - " + shownFps).c_str());
}
