#include <gtest/gtest.h>

#include <vector>

#include "app/kxmywinclass.h"
#include "app/kxwinclass.h"

TEST(WindowPlacement, ModesGiveTheirClientSizes)
{
    int w = 0, h = 0;
    KxClientSizeForMode(1, 1920, 1080, &w, &h);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
    KxClientSizeForMode(2, 1920, 1080, &w, &h);
    EXPECT_EQ(w, 800);
    EXPECT_EQ(h, 600);
    KxClientSizeForMode(4, 1920, 1080, &w, &h);
    EXPECT_EQ(w, 1024);
    EXPECT_EQ(h, 768);
    for (int mode : {0, 3, -1}) {
        KxClientSizeForMode(mode, 1920, 1080, &w, &h);
        EXPECT_EQ(w, 1920);
        EXPECT_EQ(h, 1080);
    }
}

TEST(WindowPlacement, CentringHalvesEachSideBeforeSubtracting)
{
    EXPECT_EQ(KxCentredOrigin(1920, 640), 640);
    EXPECT_EQ(KxCentredOrigin(1080, 480), 300);
    EXPECT_EQ(KxCentredOrigin(1366, 640), 363);
    EXPECT_EQ(KxCentredOrigin(1366, 641), 363);  // 683 - 320
    EXPECT_EQ(KxCentredOrigin(600, 1081), -240);
}

namespace {

// Records the messages the window procedure sees.
class KxRecordingWindow : public KxWinClass {
public:
    LRESULT WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override
    {
        messages.push_back(message);
        return KxWinClass::WndProc(hwnd, message, wParam, lParam);
    }
    std::vector<UINT> messages;
};

bool Contains(const std::vector<UINT>& messages, UINT message)
{
    for (UINT m : messages)
        if (m == message)
            return true;
    return false;
}

}  // namespace

TEST(WinClass, CreateShowsA640By480ClientAreaAndRuns)
{
    KxRecordingWindow window;
    EXPECT_TRUE(window.Register(nullptr, "KxTestWinClass"));
    EXPECT_FALSE(window.IsRunning());
    ASSERT_TRUE(window.Create(1, WS_OVERLAPPEDWINDOW));
    EXPECT_TRUE(window.IsRunning());
    EXPECT_TRUE(Contains(window.messages, WM_CREATE));  // sent during creation

    RECT client;
    GetClientRect(window.GetWindow(), &client);
    EXPECT_EQ(client.right - client.left, 640);
    EXPECT_EQ(client.bottom - client.top, 480);
    EXPECT_TRUE(window.Hook1());
    EXPECT_TRUE(window.Hook2());
    EXPECT_TRUE(window.Init());

    // Closing: the default handling destroys the window, WM_DESTROY stops the loop.
    window.WndProc(window.GetWindow(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(Contains(window.messages, WM_DESTROY));
    EXPECT_FALSE(window.IsRunning());
    EXPECT_FALSE(window.Run());

    MSG msg;
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), 0);  // the quit message was posted
    EXPECT_EQ(msg.message, UINT(WM_QUIT));
}

TEST(WinClass, FailedCreateLeavesItStopped)
{
    KxWinClass window;
    window.Register(nullptr, "KxTestWinClass");
    UnregisterClassA("KxTestWinClass", nullptr);
    EXPECT_FALSE(window.Create(1, WS_OVERLAPPEDWINDOW));
    EXPECT_EQ(window.GetWindow(), nullptr);
    EXPECT_FALSE(window.IsRunning());
    EXPECT_FALSE(window.Run());
}

TEST(MyWinClass, InitCreatesTheSceneOnceAndTheLoopEndsOnClose)
{
    KxMyWinClass* pWindow = new KxMyWinClass();
    pWindow->Register(nullptr, "KxTestMyWinClass");
    ASSERT_TRUE(pWindow->Create(1, WS_OVERLAPPEDWINDOW));
    ASSERT_TRUE(pWindow->Init());
    KxScene* pScene = pWindow->GetScene();
    ASSERT_NE(pScene, nullptr);
    EXPECT_TRUE(pWindow->Init());
    EXPECT_EQ(pWindow->GetScene(), pScene);
    EXPECT_EQ(pScene->GetDevice()->GetWidth(), 640);

    pWindow->WndProc(pWindow->GetWindow(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(pWindow->Run());
    delete pWindow;  // deletes the scene, then unregisters the class
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "KxTestMyWinClass";
    EXPECT_NE(RegisterClassA(&wc), 0);  // the name is free again
    UnregisterClassA("KxTestMyWinClass", nullptr);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
}
