// Windows, classes, messages, the keyboard and GDI objects of the Win32
// layer over SDL2.
#include <gtest/gtest.h>

#include <SDL.h>

#include <algorithm>
#include <array>
#include <tuple>
#include <vector>

#include "platform/kxkeyhook.h"
#include "platform/kxwin32_sdl.h"

namespace {

std::vector<UINT> recorded;  // every message the test class's procedure saw
UINT refusedMessage = 0;     // WM_NCCREATE is refused with FALSE, WM_CREATE with -1

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    recorded.push_back(message);
    if (message == refusedMessage)
        return message == WM_NCCREATE ? FALSE : -1;
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

ATOM RegisterTestClass(const char* name) {
    WNDCLASSA wndClass{};
    wndClass.lpfnWndProc = RecordingProc;
    wndClass.lpszClassName = name;
    return RegisterClassA(&wndClass);
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

// Leaves no window, class, queued message, refusal or held key behind.
class KxWindowTest : public ::testing::Test {
protected:
    static constexpr const char* kClassName = "KxTestClass";

    void SetUp() override { ASSERT_NE(RegisterTestClass(kClassName), 0); }

    void TearDown() override {
        for (HWND hwnd : windows)
            DestroyWindow(hwnd);  // FALSE for those a test destroyed already
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {}
        EXPECT_TRUE(UnregisterClassA(kClassName, nullptr));
        recorded.clear();
        refusedMessage = 0;
        KxReleaseAllKeys();
    }

    HWND CreateTestWindow(const char* className = kClassName) {
        HWND hwnd = CreateWindowExA(0, className, "KxTest", WS_OVERLAPPEDWINDOW, 10, 20, 64, 48, nullptr, nullptr,
                                    nullptr, nullptr);
        if (hwnd)
            windows.push_back(hwnd);
        return hwnd;
    }

    std::vector<HWND> windows;
};

}  // namespace

TEST_F(KxWindowTest, CreationClassesAndRefusals) {
    ASSERT_NE(CreateTestWindow("kxtestclass"), nullptr);  // class names ignore case
    EXPECT_EQ(recorded, (std::vector<UINT>{WM_NCCREATE, WM_CREATE}));
    EXPECT_EQ(CreateTestWindow("NoSuchClass"), nullptr);
    EXPECT_EQ(RegisterTestClass("KXTESTCLASS"), 0);
    EXPECT_FALSE(UnregisterClassA(kClassName, nullptr));  // kept while it has windows

    recorded.clear();
    for (UINT message : {WM_NCCREATE, WM_CREATE}) {
        refusedMessage = message;
        EXPECT_EQ(CreateTestWindow(), nullptr);
    }
    // A window whose WM_CREATE failed is destroyed the ordinary way.
    EXPECT_EQ(recorded, (std::vector<UINT>{WM_NCCREATE, WM_NCCREATE, WM_CREATE, WM_DESTROY}));
}

TEST_F(KxWindowTest, KeysArriveAsVirtualKeyMessagesAndHeldKeysReadAsDown) {
    HWND hwnd = CreateTestWindow();
    PushKey(hwnd, SDL_KEYDOWN, SDL_SCANCODE_W, KMOD_LSHIFT | KMOD_CAPS);
    PushKey(hwnd, SDL_KEYDOWN, SDL_SCANCODE_KP_5);  // no virtual key here: dropped
    PushKey(hwnd, SDL_KEYUP, SDL_SCANCODE_F12);
    PushKey(hwnd, SDL_KEYDOWN, SDL_SCANCODE_0);
    // lParam: repeat count 1; a release sets bits 30 and 31.
    std::vector<std::tuple<UINT, WPARAM, LPARAM, BOOL>> messages;
    MSG msg{};
    while (PeekMessageA(&msg, hwnd, 0, 0, PM_REMOVE))
        messages.emplace_back(msg.message, msg.wParam, msg.lParam, TranslateMessage(&msg));
    EXPECT_EQ(messages, (std::vector<std::tuple<UINT, WPARAM, LPARAM, BOOL>>{
                            {WM_KEYDOWN, 'W', 1, TRUE}, {WM_KEYUP, VK_F1 + 11, 1 | (LPARAM(3) << 30), TRUE},
                            {WM_KEYDOWN, '0', 1, TRUE}}));
    msg = MSG{hwnd, WM_PAINT, 0, 0, 0, POINT{0, 0}};
    DispatchMessageA(&msg);
    EXPECT_EQ(std::count(recorded.begin(), recorded.end(), UINT(WM_PAINT)), 1);
    EXPECT_FALSE(TranslateMessage(&msg));

    for (int key : {int('W'), VK_SHIFT, 300, -1})
        KxHoldKey(key, true);
    KxHoldKey('W', false);
    const std::array<int, 6> probes = {'W', VK_SHIFT, 'S', 300, -1, 300 & 0xFF};
    std::array<bool, 6> down{};
    for (size_t i = 0; i < probes.size(); ++i)
        down[i] = (GetAsyncKeyState(probes[i]) & 0x8000) != 0;
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

// A DIB section selected into a memory DC is protected until it is
// deselected; every new DC holds the stock bitmap. Torn down in the order the
// render device uses.
TEST_F(KxWindowTest, SelectedBitmapsAreProtectedAndANewDcHoldsTheStockBitmap) {
    HWND hwnd = CreateTestWindow();
    HDC hdcWindow = GetDC(hwnd), hdcMemory = CreateCompatibleDC(hdcWindow);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 8, -8, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* pBits = nullptr;
    HBITMAP hDib = CreateDIBSection(hdcWindow, &info, DIB_RGB_COLORS, &pBits, nullptr, 0);
    HGDIOBJ hOld = SelectObject(hdcMemory, hDib);
    ASSERT_TRUE(hdcWindow && hdcMemory && hDib && pBits && hOld);
    EXPECT_FALSE(DeleteObject(hDib));  // still selected
    HDC hdcOther = CreateCompatibleDC(nullptr);
    EXPECT_EQ(SelectObject(hdcOther, hDib), nullptr);  // one DC at a time
    EXPECT_EQ(SelectObject(hdcMemory, hDib), hDib);
    EXPECT_EQ(SelectObject(hdcWindow, hDib), nullptr);
    EXPECT_EQ(SelectObject(hdcMemory, GetStockObject(BLACK_BRUSH)), nullptr);
    EXPECT_FALSE(BitBlt(hdcWindow, 0, 0, 8, 8, hdcOther, 0, 0, SRCCOPY));  // only the stock bitmap
    EXPECT_TRUE(DeleteDC(hdcOther));
    EXPECT_FALSE(DeleteDC(hdcWindow));

    info.bmiHeader.biWidth = 4;
    HGDIOBJ hStock = nullptr;
    for (int round = 0; round < 2; ++round) {
        HDC hdc = CreateCompatibleDC(nullptr);
        HBITMAP hOtherDib = CreateDIBSection(hdc, &info, DIB_RGB_COLORS, &pBits, nullptr, 0);
        HGDIOBJ hPrevious = SelectObject(hdc, hOtherDib);
        ASSERT_NE(hPrevious, nullptr);
        EXPECT_NE(hPrevious, hOtherDib);
        EXPECT_TRUE(round == 0 || hPrevious == hStock);  // the same stock bitmap each time
        hStock = hPrevious;
        EXPECT_TRUE(DeleteDC(hdc));  // deselects the DIB
        EXPECT_TRUE(DeleteObject(hOtherDib));
        EXPECT_FALSE(DeleteObject(hOtherDib));
        EXPECT_TRUE(DeleteObject(hStock));  // stock objects survive
    }
    EXPECT_EQ(SelectObject(hdcMemory, hOld), hDib);
    EXPECT_TRUE(DeleteDC(hdcMemory) && DeleteObject(hDib));
    EXPECT_EQ(ReleaseDC(hwnd, hdcWindow), 1);
}
