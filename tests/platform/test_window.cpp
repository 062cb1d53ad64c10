// Windows, classes, the message queue and the keyboard of the Win32 layer
// over SDL2.
#include "platform/kxkeyhook.h"
#include "platform/kxwin32_sdl.h"
#include "tests/platform/kxtestwindow.h"

#include <SDL.h>

#include <array>
#include <tuple>
#include <vector>

namespace {

LRESULT CALLBACK RefusingNcCreateProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    RecordedMessages().push_back(KxRecordedMessage{hwnd, message});
    return message == WM_NCCREATE ? FALSE : DefWindowProcA(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK FailingCreateProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    RecordedMessages().push_back(KxRecordedMessage{hwnd, message});
    return message == WM_CREATE ? -1 : DefWindowProcA(hwnd, message, wParam, lParam);
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

void Push(HWND hwnd, Uint32 type, SDL_Scancode scancode = SDL_SCANCODE_UNKNOWN, Uint16 modifiers = KMOD_NONE) {
    SDL_Event event{};
    event.type = type;
    if (type == SDL_WINDOWEVENT) {
        event.window.event = SDL_WINDOWEVENT_CLOSE;
        event.window.windowID = SDL_GetWindowID(KxGetSdlWindow(hwnd));
    } else if (type != SDL_QUIT) {
        event.key.windowID = SDL_GetWindowID(KxGetSdlWindow(hwnd));
        event.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
        event.key.keysym.scancode = scancode;
        event.key.keysym.mod = modifiers;
    }
    ASSERT_EQ(SDL_PushEvent(&event), 1);
}

// Client rectangle, then window rectangle.
std::array<LONG, 8> Rects(HWND hwnd) {
    RECT client{}, window{};
    EXPECT_TRUE(GetClientRect(hwnd, &client));
    EXPECT_TRUE(GetWindowRect(hwnd, &window));
    return {client.left, client.top, client.right, client.bottom, window.left, window.top, window.right, window.bottom};
}

}  // namespace

TEST_F(KxWindowTest, CreationClassesAndRefusals) {
    HWND hwnd = CreateTestWindow(10, 20, 64, 48, "kxtestclass");  // class names ignore case
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(RecordedMessages(), (std::vector<KxRecordedMessage>{{hwnd, WM_NCCREATE}, {hwnd, WM_CREATE}}));
    EXPECT_EQ(CreateTestWindow(0, 0, 8, 8, "NoSuchClass"), nullptr);
    EXPECT_EQ(RegisterTestClass("KXTESTCLASS"), 0);
    EXPECT_FALSE(UnregisterClassA(kClassName, nullptr));  // kept while it has windows

    ASSERT_NE(RegisterTestClass("KxRefusing", RefusingNcCreateProc), 0);
    ASSERT_NE(RegisterTestClass("KxFailing", FailingCreateProc), 0);
    RecordedMessages().clear();
    EXPECT_EQ(CreateTestWindow(0, 0, 8, 8, "KxRefusing"), nullptr);
    EXPECT_EQ(CreateTestWindow(0, 0, 8, 8, "KxFailing"), nullptr);
    std::vector<UINT> messages;  // a window whose WM_CREATE failed is destroyed the ordinary way
    for (const KxRecordedMessage& recorded : RecordedMessages()) {
        messages.push_back(recorded.message);
    }
    EXPECT_EQ(messages, (std::vector<UINT>{WM_NCCREATE, WM_NCCREATE, WM_CREATE, WM_DESTROY}));
    EXPECT_TRUE(UnregisterClassA("KxRefusing", nullptr) && UnregisterClassA("KxFailing", nullptr));
}

TEST_F(KxWindowTest, SizeVisibilityAndDestruction) {
    HWND hwnd = CreateTestWindow(10, 20, 64, 48);
    EXPECT_EQ(Rects(hwnd), (std::array<LONG, 8>{0, 0, 64, 48, 10, 20, 74, 68}));
    ASSERT_TRUE(SetWindowPos(hwnd, nullptr, 0, 0, 100, 80, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE));
    ASSERT_TRUE(SetWindowPos(hwnd, nullptr, 30, 40, 1, 1, SWP_NOSIZE | SWP_NOZORDER));
    EXPECT_EQ(Rects(hwnd), (std::array<LONG, 8>{0, 0, 100, 80, 30, 40, 130, 120}));
    EXPECT_FALSE(ShowWindow(hwnd, SW_SHOW));  // the previous visibility
    EXPECT_TRUE(ShowWindow(hwnd, SW_HIDE));
    EXPECT_TRUE(UpdateWindow(hwnd));

    EXPECT_EQ(DefWindowProcA(hwnd, WM_CLOSE, 0, 0), 0);  // destroys the window, once
    RECT rect{};
    EXPECT_FALSE(GetClientRect(hwnd, &rect));
    EXPECT_FALSE(DestroyWindow(hwnd));
    EXPECT_FALSE(ShowWindow(hwnd, SW_SHOW));
    EXPECT_EQ(CountRecorded(hwnd, WM_DESTROY), 1);
}

TEST_F(KxWindowTest, QueueFiltersAndQuit) {
    HWND first = CreateTestWindow();
    HWND second = CreateTestWindow();
    PostQuitMessage(7);
    Push(second, SDL_WINDOWEVENT);
    MSG msg{};
    EXPECT_FALSE(PeekMessageA(&msg, first, 0, 0, PM_REMOVE));
    EXPECT_FALSE(PeekMessageA(&msg, second, WM_KEYDOWN, WM_KEYUP, PM_REMOVE));
    for (UINT remove : {PM_NOREMOVE, PM_REMOVE}) {
        ASSERT_TRUE(PeekMessageA(&msg, second, WM_CLOSE, WM_CLOSE, remove));
        EXPECT_EQ(msg.message, UINT(WM_CLOSE));
        EXPECT_EQ(msg.hwnd, second);
    }
    EXPECT_FALSE(PeekMessageA(&msg, second, 0, 0, PM_REMOVE));
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), 0);
    EXPECT_EQ(msg.message, UINT(WM_QUIT));
    EXPECT_EQ(msg.wParam, WPARAM(7));

    Push(first, SDL_WINDOWEVENT);  // destroying a window drops its messages
    ASSERT_TRUE(DestroyWindow(first));
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    int notAWindow = 0;
    HWND bogus = reinterpret_cast<HWND>(&notAWindow);
    EXPECT_EQ(GetMessageA(&msg, bogus, 0, 0), -1);  // instead of blocking
    EXPECT_FALSE(PeekMessageA(&msg, bogus, 0, 0, PM_REMOVE));
}

TEST_F(KxWindowTest, CloseRequestEndsTheProgramLoop) {
    ASSERT_NE(RegisterTestClass("KxQuitting", QuittingWndProc), 0);
    HWND hwnd = CreateTestWindow(0, 0, 32, 32, "KxQuitting");
    Push(hwnd, SDL_WINDOWEVENT);  // a close button reports both the window's close
    Push(hwnd, SDL_QUIT);         // and the application's quit
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

TEST_F(KxWindowTest, KeysArriveAsVirtualKeyMessagesAndHeldKeysReadAsDown) {
    HWND hwnd = CreateTestWindow();
    Push(hwnd, SDL_KEYDOWN, SDL_SCANCODE_W, KMOD_LSHIFT | KMOD_CAPS);
    Push(hwnd, SDL_KEYDOWN, SDL_SCANCODE_KP_5);  // no virtual key here: dropped
    Push(hwnd, SDL_KEYUP, SDL_SCANCODE_F12);
    Push(hwnd, SDL_KEYDOWN, SDL_SCANCODE_0);
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

    for (int key : {int('W'), VK_SHIFT, 300, -1}) {
        KxHoldKey(key, true);
    }
    KxHoldKey('W', false);
    const std::array<int, 6> probes = {'W', VK_SHIFT, 'S', 300, -1, 300 & 0xFF};
    std::array<bool, 6> down{};
    for (size_t i = 0; i < probes.size(); ++i) {
        down[i] = (GetAsyncKeyState(probes[i]) & 0x8000) != 0;
    }
    EXPECT_EQ(down, (std::array<bool, 6>{false, true, false, false, false, false}));
    KxReleaseAllKeys();
    EXPECT_EQ(GetAsyncKeyState(VK_SHIFT), 0);
}

TEST(KxSystem, ScreenSizeHandlesAndMessageBoxWithoutADesktop) {
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 768);
    EXPECT_EQ(GetSystemMetrics(42), 0);
    EXPECT_NE(LoadIconA(nullptr, IDI_APPLICATION), nullptr);
    EXPECT_NE(LoadCursorA(nullptr, IDC_ARROW), nullptr);
    EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_BRUSH)));  // stock objects survive
    EXPECT_EQ(GetStockObject(BLACK_BRUSH), GetStockObject(BLACK_BRUSH));
    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(nullptr, "vertex buffer", "Error", MB_OK), IDOK);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: vertex buffer\n");
}
