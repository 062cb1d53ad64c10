#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "app/kxmywinclass.h"
#include "app/kxwinclass.h"

namespace {

// Records the messages the window procedure sees.
class KxRecordingWindow : public KxWinClass {
public:
    LRESULT WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override
    {
        messages.push_back(message);
        return KxWinClass::WndProc(hwnd, message, wParam, lParam);
    }
    bool Saw(UINT message) const { return std::count(messages.begin(), messages.end(), message) > 0; }
    std::vector<UINT> messages;
};

}  // namespace

TEST(WindowPlacement, ModesAndCentring)
{
    const struct {
        int mode, width, height;
    } sizes[] = {{1, 640, 480}, {2, 800, 600}, {4, 1024, 768}, {0, 1920, 1080}, {3, 1920, 1080}, {-1, 1920, 1080}};
    for (const auto& c : sizes) {
        int w = 0, h = 0;
        KxClientSizeForMode(c.mode, 1920, 1080, &w, &h);
        EXPECT_EQ(w, c.width) << c.mode;
        EXPECT_EQ(h, c.height) << c.mode;
    }
    // Each half truncates before the subtraction: 683 - 320.
    const int origins[][3] = {{1920, 640, 640}, {1080, 480, 300}, {1366, 641, 363}, {600, 1081, -240}};
    for (const auto& o : origins)
        EXPECT_EQ(KxCentredOrigin(o[0], o[1]), o[2]) << o[0] << " " << o[1];
}

TEST(WinClass, CreateShowsA640By480ClientAreaAndCloseStopsTheLoop)
{
    KxRecordingWindow window;
    EXPECT_TRUE(window.Register(nullptr, "KxTestWinClass"));
    ASSERT_TRUE(window.Create(1, WS_OVERLAPPEDWINDOW));
    EXPECT_TRUE(window.IsRunning());
    EXPECT_TRUE(window.Saw(WM_CREATE));  // sent during creation
    RECT client;
    GetClientRect(window.GetWindow(), &client);
    EXPECT_EQ(client.right - client.left, 640);
    EXPECT_EQ(client.bottom - client.top, 480);
    EXPECT_TRUE(window.Hook1() && window.Hook2() && window.Init());

    // The default handling destroys the window; WM_DESTROY stops the loop
    // and posts the quit message.
    window.WndProc(window.GetWindow(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(window.Saw(WM_DESTROY));
    EXPECT_FALSE(window.IsRunning());
    EXPECT_FALSE(window.Run());
    MSG msg;
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), 0);
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

TEST(MyWinClass, InitCreatesTheSceneOnceAndDeletingFreesTheClass)
{
    KxMyWinClass* pWindow = new KxMyWinClass();
    pWindow->Register(nullptr, "KxTestMyWinClass");
    ASSERT_TRUE(pWindow->Create(1, WS_OVERLAPPEDWINDOW));
    ASSERT_TRUE(pWindow->Init());
    KxScene* pScene = pWindow->GetScene();
    ASSERT_NE(pScene, nullptr);
    EXPECT_TRUE(pWindow->Init());
    EXPECT_EQ(pWindow->GetScene(), pScene);
    pWindow->WndProc(pWindow->GetWindow(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(pWindow->Run());
    delete pWindow;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "KxTestMyWinClass";
    EXPECT_NE(RegisterClassA(&wc), 0);  // the name is free again
    UnregisterClassA("KxTestMyWinClass", nullptr);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
}
