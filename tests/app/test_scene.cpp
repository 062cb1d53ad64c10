// The program's window class and scene: the 640x480 window and its loop, and
// the keys that move the second pyramid one unit a frame.
#include <gtest/gtest.h>

#include <vector>

#include "app/kxscene.h"
#include "app/kxwinclass.h"
#include "platform/kxkeyhook.h"

namespace {

std::vector<float> Offset(const KxScene& scene)
{
    return {scene.GetOffset().x, scene.GetOffset().y, scene.GetOffset().z};
}

}  // namespace

TEST(WinClass, CreateShowsA640By480ClientAreaAndCloseStopsTheLoop)
{
    KxWinClass window;
    EXPECT_TRUE(window.Register(nullptr, "KxTestWinClass"));
    ASSERT_TRUE(window.Create(1, WS_OVERLAPPEDWINDOW));
    EXPECT_TRUE(window.IsRunning());
    RECT client;
    GetClientRect(window.GetWindow(), &client);
    EXPECT_EQ(client.right - client.left, 640);
    EXPECT_EQ(client.bottom - client.top, 480);
    EXPECT_TRUE(window.Hook1() && window.Hook2() && window.Init());

    // The default handling destroys the window; WM_DESTROY stops the loop
    // and posts the quit message.
    window.WndProc(window.GetWindow(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(window.IsRunning());
    EXPECT_FALSE(window.Run());
    MSG msg;
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), 0);
    EXPECT_EQ(msg.message, UINT(WM_QUIT));
}

TEST(Scene, KeysMoveTheSecondCopyOneUnitAFrameEachOnItsOwn)
{
    const struct {
        std::vector<int> keys;  // held during the frames
        int frames;
        std::vector<float> offset;
    } cases[] = {
        {{}, 1, {10, 5, 15}},
        {{'W'}, 10, {10, 5, 25}},
        {{'A', 'D'}, 1, {10, 5, 15}},
        {{'S', 'Z', VK_SHIFT}, 1, {10, 6, 14}},  // Shift changes nothing
        {{'X', 'D', VK_F1}, 1, {11, 4, 15}},     // nor does F1
    };
    KxWinClass window;
    window.Register(nullptr, "KxTestScene");
    ASSERT_TRUE(window.Create(1, WS_OVERLAPPEDWINDOW));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.keys.size());
        KxScene scene;
        scene.Setup(window.GetWindow());
        EXPECT_EQ(scene.GetDevice()->GetWidth(), 640);
        EXPECT_EQ(scene.GetDevice()->GetHeight(), 480);
        for (int key : c.keys)
            KxHoldKey(key, true);
        for (int i = 0; i < c.frames; ++i)
            scene.HandleKeys();
        KxReleaseAllKeys();
        EXPECT_EQ(Offset(scene), c.offset);
    }
    DestroyWindow(window.GetWindow());
}
