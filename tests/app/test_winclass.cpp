#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

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
