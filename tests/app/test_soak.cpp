// A long run must not grow: the peak resident size after 2,000 frames and
// after 20,000 frames agree within 1 MiB. Measured in this process alone
// (CTest runs each test in its own process).
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "app/kxscene.h"
#include "platform/kxkeyhook.h"
#include "tests/render/kxtestdevice.h"

#if defined(__SANITIZE_ADDRESS__)
#define KX_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KX_UNDER_ASAN 1
#endif
#endif

namespace {

// VmHWM from /proc/self/status in KiB, or -1.
long PeakResidentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

// The program's loop: drain the window's messages, then one frame. The keys
// take turns, so the second pyramid wanders off and comes back.
void RunFrames(KxScene& scene, HWND window, int from, int to)
{
    const char keys[] = {'W', 'A', 'Z', 'S', 'D', 'X'};
    for (int frame = from; frame < to; ++frame) {
        KxReleaseAllKeys();
        KxHoldKey(keys[(frame / 250) % 6], true);
        MSG msg;
        while (PeekMessageA(&msg, window, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        scene.Frame();
    }
    KxReleaseAllKeys();
}

}  // namespace

TEST(Soak, PeakResidentSizeStaysFlatOverTwentyThousandFrames)
{
#ifdef KX_UNDER_ASAN
    GTEST_SKIP() << "AddressSanitizer's quarantine and shadow memory dominate the resident size";
#endif
    KxTestWindow window(640, 480);
    KxScene scene;
    scene.Setup(window.hWnd);

    RunFrames(scene, window.hWnd, 0, 2000);
    const long early = PeakResidentKiB();
    ASSERT_GT(early, 0);
    RunFrames(scene, window.hWnd, 2000, 20000);
    const long late = PeakResidentKiB();
    RecordProperty("PeakKiBAfter2000", std::to_string(early));
    RecordProperty("PeakKiBAfter20000", std::to_string(late));
    EXPECT_LE(late - early, 1024) << "after 2,000 frames: " << early << " KiB; after 20,000: " << late << " KiB";
}
