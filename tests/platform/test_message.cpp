#include "platform/kxkeyhook.h"
#include "platform/kxwin32_sdl.h"
#include "tests/platform/kxtestwindow.h"

#include <SDL.h>

namespace {

void PushWindowClose(HWND hwnd) {
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.event = SDL_WINDOWEVENT_CLOSE;
    event.window.windowID = SDL_GetWindowID(KxGetSdlWindow(hwnd));
    ASSERT_EQ(SDL_PushEvent(&event), 1);
}

void PushKey(HWND hwnd, Uint32 type, SDL_Scancode scancode, Uint16 modifiers) {
    SDL_Event event{};
    event.type = type;
    event.key.windowID = SDL_GetWindowID(KxGetSdlWindow(hwnd));
    event.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    event.key.keysym.scancode = scancode;
    event.key.keysym.mod = modifiers;
    ASSERT_EQ(SDL_PushEvent(&event), 1);
}

bool RunningFlag = false;

// The shape of the program's window procedure: WM_DESTROY ends the loop.
LRESULT CALLBACK QuittingWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    RecordedMessages().push_back(KxRecordedMessage{hwnd, message});
    if (message == WM_DESTROY) {
        RunningFlag = false;
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace

TEST(KxMessages, QuitMessageEndsGetMessage) {
    PostQuitMessage(7);
    MSG msg{};
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), 0);
    EXPECT_EQ(msg.message, UINT(WM_QUIT));
    EXPECT_EQ(msg.wParam, WPARAM(7));
    EXPECT_EQ(msg.hwnd, nullptr);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
}

TEST(KxMessages, InvalidWindowFilterFailsInsteadOfBlocking) {
    MSG msg{};
    int notAWindow = 0;
    HWND bogus = reinterpret_cast<HWND>(&notAWindow);
    EXPECT_EQ(GetMessageA(&msg, bogus, 0, 0), -1);
    EXPECT_FALSE(PeekMessageA(&msg, bogus, 0, 0, PM_REMOVE));
}

TEST_F(KxWindowTest, NoRemoveLeavesTheMessageQueued) {
    HWND hwnd = CreateTestWindow();
    ASSERT_NE(hwnd, nullptr);
    PushWindowClose(hwnd);
    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, hwnd, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, UINT(WM_CLOSE));
    EXPECT_EQ(msg.hwnd, hwnd);
    ASSERT_TRUE(PeekMessageA(&msg, hwnd, 0, 0, PM_NOREMOVE));
    ASSERT_TRUE(PeekMessageA(&msg, hwnd, 0, 0, PM_REMOVE));
    EXPECT_FALSE(PeekMessageA(&msg, hwnd, 0, 0, PM_REMOVE));
}

TEST_F(KxWindowTest, WindowFilterSkipsOtherWindowsAndThreadMessages) {
    HWND first = CreateTestWindow();
    HWND second = CreateTestWindow();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    PostQuitMessage(0);
    PushWindowClose(second);
    MSG msg{};
    EXPECT_FALSE(PeekMessageA(&msg, first, 0, 0, PM_REMOVE));
    ASSERT_TRUE(PeekMessageA(&msg, second, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT(WM_CLOSE));
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT(WM_QUIT));
}

TEST_F(KxWindowTest, MessageRangeFilters) {
    HWND hwnd = CreateTestWindow();
    ASSERT_NE(hwnd, nullptr);
    PushWindowClose(hwnd);
    MSG msg{};
    EXPECT_FALSE(PeekMessageA(&msg, hwnd, WM_KEYDOWN, WM_KEYUP, PM_REMOVE));
    EXPECT_TRUE(PeekMessageA(&msg, hwnd, WM_CLOSE, WM_CLOSE, PM_REMOVE));
}

TEST_F(KxWindowTest, CloseRequestEndsTheProgramLoop) {
    WNDCLASSA wndClass{};
    wndClass.lpfnWndProc = QuittingWndProc;
    wndClass.lpszClassName = "KxQuitting";
    ASSERT_NE(RegisterClassA(&wndClass), 0);
    HWND hwnd = CreateWindowExA(0, "KxQuitting", "", WS_OVERLAPPEDWINDOW, 0, 0, 32, 32,
                                nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(hwnd, nullptr);
    PushWindowClose(hwnd);
    // A close button reports both the window's close and the application's quit.
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    ASSERT_EQ(SDL_PushEvent(&quit), 1);

    RunningFlag = true;
    int turns = 0;
    MSG msg{};
    while (RunningFlag && turns++ < 100) {
        if (PeekMessageA(&msg, hwnd, 0, 0, PM_NOREMOVE)) {
            if (GetMessageA(&msg, hwnd, 0, 0) == 0) {
                break;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    EXPECT_FALSE(RunningFlag);
    EXPECT_EQ(CountRecorded(hwnd, WM_CLOSE), 1);
    EXPECT_EQ(CountRecorded(hwnd, WM_DESTROY), 1);
    EXPECT_EQ(KxGetSdlWindow(hwnd), nullptr);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT(WM_QUIT));
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_TRUE(UnregisterClassA("KxQuitting", nullptr));
}

TEST_F(KxWindowTest, DestroyingAWindowDropsItsQueuedMessages) {
    HWND hwnd = CreateTestWindow();
    ASSERT_NE(hwnd, nullptr);
    PushWindowClose(hwnd);
    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    ASSERT_TRUE(DestroyWindow(hwnd));
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    // A message kept from before reaches nobody.
    EXPECT_EQ(DispatchMessageA(&msg), 0);
    EXPECT_EQ(CountRecorded(hwnd, WM_CLOSE), 0);
}

TEST_F(KxWindowTest, KeysArriveAsVirtualKeyMessages) {
    HWND hwnd = CreateTestWindow();
    ASSERT_NE(hwnd, nullptr);
    PushKey(hwnd, SDL_KEYDOWN, SDL_SCANCODE_W, KMOD_LSHIFT | KMOD_CAPS);
    PushKey(hwnd, SDL_KEYDOWN, SDL_SCANCODE_KP_5, KMOD_NONE);  // no virtual key here: dropped
    PushKey(hwnd, SDL_KEYUP, SDL_SCANCODE_F12, KMOD_NONE);
    PushKey(hwnd, SDL_KEYDOWN, SDL_SCANCODE_0, KMOD_NONE);

    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, hwnd, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT(WM_KEYDOWN));
    EXPECT_EQ(msg.wParam, WPARAM('W'));
    EXPECT_EQ(msg.lParam & 0xFFFF, 1);
    EXPECT_TRUE(TranslateMessage(&msg));
    ASSERT_TRUE(PeekMessageA(&msg, hwnd, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT(WM_KEYUP));
    EXPECT_EQ(msg.wParam, WPARAM(VK_F1 + 11));
    EXPECT_EQ(msg.lParam & (LPARAM(3) << 30), LPARAM(3) << 30);
    ASSERT_TRUE(PeekMessageA(&msg, hwnd, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.wParam, WPARAM('0'));
    EXPECT_FALSE(PeekMessageA(&msg, hwnd, 0, 0, PM_REMOVE));
}

TEST_F(KxWindowTest, DispatchCallsTheWindowProcedure) {
    HWND hwnd = CreateTestWindow();
    ASSERT_NE(hwnd, nullptr);
    MSG msg{hwnd, WM_PAINT, 0, 0, 0, POINT{0, 0}};
    DispatchMessageA(&msg);
    EXPECT_EQ(CountRecorded(hwnd, WM_PAINT), 1);
    EXPECT_FALSE(TranslateMessage(&msg));
}

TEST(KxKeys, HeldKeysReadAsDownWithoutAWindow) {
    EXPECT_EQ(GetAsyncKeyState('W'), 0);
    KxHoldKey('W', true);
    KxHoldKey(VK_SHIFT, true);
    EXPECT_EQ(GetAsyncKeyState('W') & 0x8000, 0x8000);
    EXPECT_EQ(GetAsyncKeyState(VK_SHIFT) & 0x8000, 0x8000);
    EXPECT_EQ(GetAsyncKeyState('S'), 0);
    KxHoldKey('W', false);
    EXPECT_EQ(GetAsyncKeyState('W'), 0);
    EXPECT_NE(GetAsyncKeyState(VK_SHIFT), 0);
    KxReleaseAllKeys();
    EXPECT_EQ(GetAsyncKeyState(VK_SHIFT), 0);
}

TEST(KxKeys, OutOfRangeKeysAreNeverDown) {
    KxHoldKey(300, true);
    KxHoldKey(-1, true);
    EXPECT_EQ(GetAsyncKeyState(300), 0);
    EXPECT_EQ(GetAsyncKeyState(-1), 0);
    EXPECT_EQ(GetAsyncKeyState(300 & 0xFF), 0);
}

TEST_F(KxWindowTest, HeldKeysReadAsDownWithAWindow) {
    ASSERT_NE(CreateTestWindow(), nullptr);
    KxHoldKey('A', true);
    KxHoldKey('D', true);
    EXPECT_EQ(GetAsyncKeyState('A') & 0x8000, 0x8000);
    EXPECT_EQ(GetAsyncKeyState('D') & 0x8000, 0x8000);
    EXPECT_EQ(GetAsyncKeyState('W'), 0);
    KxReleaseAllKeys();
    EXPECT_EQ(GetAsyncKeyState('A'), 0);
}
