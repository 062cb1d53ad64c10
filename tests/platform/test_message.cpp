#include "platform/kxkeyhook.h"
#include "platform/kxwin32_sdl.h"
#include "tests/platform/kxtestwindow.h"

#include <SDL.h>

#include <tuple>
#include <vector>

namespace {

void PushWindowClose(HWND hwnd) {
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.event = SDL_WINDOWEVENT_CLOSE;
    event.window.windowID = SDL_GetWindowID(KxGetSdlWindow(hwnd));
    ASSERT_EQ(SDL_PushEvent(&event), 1);
}

void PushKey(HWND hwnd, Uint32 type, SDL_Scancode scancode, Uint16 modifiers = KMOD_NONE) {
    SDL_Event event{};
    event.type = type;
    event.key.windowID = SDL_GetWindowID(KxGetSdlWindow(hwnd));
    event.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    event.key.keysym.scancode = scancode;
    event.key.keysym.mod = modifiers;
    ASSERT_EQ(SDL_PushEvent(&event), 1);
}

bool bRunning = false;

// The shape of the program's window procedure: WM_DESTROY ends the loop.
LRESULT CALLBACK QuittingWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    RecordedMessages().push_back(KxRecordedMessage{hwnd, message});
    if (message == WM_DESTROY) {
        bRunning = false;
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace

TEST(KxMessages, QuitMessageEndsGetMessageAndAnInvalidFilterFails) {
    PostQuitMessage(7);
    MSG msg{};
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), 0);
    EXPECT_EQ(msg.message, UINT(WM_QUIT));
    EXPECT_EQ(msg.wParam, WPARAM(7));
    EXPECT_EQ(msg.hwnd, nullptr);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));

    int notAWindow = 0;
    HWND bogus = reinterpret_cast<HWND>(&notAWindow);
    EXPECT_EQ(GetMessageA(&msg, bogus, 0, 0), -1);  // instead of blocking
    EXPECT_FALSE(PeekMessageA(&msg, bogus, 0, 0, PM_REMOVE));
}

TEST_F(KxWindowTest, PeekFiltersByWindowAndRangeAndRemovesOnlyWhenAsked) {
    HWND first = CreateTestWindow();
    HWND second = CreateTestWindow();
    PostQuitMessage(0);
    PushWindowClose(second);
    MSG msg{};
    EXPECT_FALSE(PeekMessageA(&msg, first, 0, 0, PM_REMOVE));
    EXPECT_FALSE(PeekMessageA(&msg, second, WM_KEYDOWN, WM_KEYUP, PM_REMOVE));
    for (UINT remove : {PM_NOREMOVE, PM_NOREMOVE, PM_REMOVE}) {
        ASSERT_TRUE(PeekMessageA(&msg, second, WM_CLOSE, WM_CLOSE, remove));
        EXPECT_EQ(msg.message, UINT(WM_CLOSE));
        EXPECT_EQ(msg.hwnd, second);
    }
    EXPECT_FALSE(PeekMessageA(&msg, second, 0, 0, PM_REMOVE));
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT(WM_QUIT));
}

TEST_F(KxWindowTest, CloseRequestEndsTheProgramLoop) {
    ASSERT_NE(RegisterTestClass("KxQuitting", QuittingWndProc), 0);
    HWND hwnd = CreateTestWindow(0, 0, 32, 32, "KxQuitting");
    PushWindowClose(hwnd);
    // A close button reports both the window's close and the application's quit.
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    ASSERT_EQ(SDL_PushEvent(&quit), 1);

    bRunning = true;
    MSG msg{};
    for (int turns = 0; bRunning && turns < 100; ++turns) {
        if (PeekMessageA(&msg, hwnd, 0, 0, PM_NOREMOVE)) {
            if (GetMessageA(&msg, hwnd, 0, 0) == 0) {
                break;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    EXPECT_FALSE(bRunning);
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
    PushWindowClose(hwnd);
    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    ASSERT_TRUE(DestroyWindow(hwnd));
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(DispatchMessageA(&msg), 0);  // a message kept from before reaches nobody
    EXPECT_EQ(CountRecorded(hwnd, WM_CLOSE), 0);
}

TEST_F(KxWindowTest, KeysArriveAsVirtualKeyMessagesAndDispatchCallsTheProcedure) {
    HWND hwnd = CreateTestWindow();
    PushKey(hwnd, SDL_KEYDOWN, SDL_SCANCODE_W, KMOD_LSHIFT | KMOD_CAPS);
    PushKey(hwnd, SDL_KEYDOWN, SDL_SCANCODE_KP_5);  // no virtual key here: dropped
    PushKey(hwnd, SDL_KEYUP, SDL_SCANCODE_F12);
    PushKey(hwnd, SDL_KEYDOWN, SDL_SCANCODE_0);
    // lParam: repeat count 1; a release sets bits 30 and 31.
    std::vector<std::tuple<UINT, WPARAM, LPARAM, BOOL>> messages;
    MSG msg{};
    while (PeekMessageA(&msg, hwnd, 0, 0, PM_REMOVE)) {
        messages.emplace_back(msg.message, msg.wParam, msg.lParam, TranslateMessage(&msg));
    }
    EXPECT_EQ(messages, (std::vector<std::tuple<UINT, WPARAM, LPARAM, BOOL>>{
                            {WM_KEYDOWN, 'W', 1, TRUE}, {WM_KEYUP, VK_F1 + 11, 1 | (LPARAM(3) << 30), TRUE},
                            {WM_KEYDOWN, '0', 1, TRUE}}));
    msg = MSG{hwnd, WM_PAINT, 0, 0, 0, POINT{0, 0}};
    DispatchMessageA(&msg);
    EXPECT_EQ(CountRecorded(hwnd, WM_PAINT), 1);
    EXPECT_FALSE(TranslateMessage(&msg));
}

TEST_F(KxWindowTest, HeldKeysReadAsDownWithAndWithoutAWindow) {
    // Before the window exists SDL's video is not running.
    KxHoldKey('W', true);
    KxHoldKey(VK_SHIFT, true);
    KxHoldKey(300, true);
    KxHoldKey(-1, true);
    EXPECT_EQ(GetAsyncKeyState('W') & 0x8000, 0x8000);
    EXPECT_EQ(GetAsyncKeyState(VK_SHIFT) & 0x8000, 0x8000);
    EXPECT_EQ(GetAsyncKeyState('S'), 0);
    for (int outOfRange : {300, -1, 300 & 0xFF}) {
        EXPECT_EQ(GetAsyncKeyState(outOfRange), 0) << outOfRange;
    }
    KxHoldKey('W', false);
    EXPECT_EQ(GetAsyncKeyState('W'), 0);
    EXPECT_NE(GetAsyncKeyState(VK_SHIFT), 0);
    KxReleaseAllKeys();
    EXPECT_EQ(GetAsyncKeyState(VK_SHIFT), 0);

    ASSERT_NE(CreateTestWindow(), nullptr);
    KxHoldKey('A', true);
    KxHoldKey('D', true);
    EXPECT_EQ(GetAsyncKeyState('A') & 0x8000, 0x8000);
    EXPECT_EQ(GetAsyncKeyState('D') & 0x8000, 0x8000);
    EXPECT_EQ(GetAsyncKeyState('W'), 0);
    KxReleaseAllKeys();
    EXPECT_EQ(GetAsyncKeyState('A'), 0);
}
