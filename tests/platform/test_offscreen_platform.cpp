// The platform layer of a build without windows (kxwin32_offscreen.cpp with
// the shared GDI, clock and held keys), linked here on its own: no handle is
// a window, memory DCs and DIB sections work, a transfer to a window fails.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/kxkeyhook.h"
#include "platform/kxwin32.h"

namespace {

BITMAPINFO DibInfo(LONG width, LONG height)
{
    BITMAPINFO info;
    std::memset(&info, 0, sizeof(info));
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

TEST(KxOffscreenPlatform, NoHandleIsAWindowAndMemoryDcsWork)
{
    int notAWindow = 0;
    const HWND hwnd = reinterpret_cast<HWND>(&notAWindow);
    EXPECT_EQ(GetDC(hwnd), nullptr);
    EXPECT_EQ(GetDC(nullptr), nullptr);
    EXPECT_EQ(ReleaseDC(hwnd, nullptr), 0);

    HDC memory = CreateCompatibleDC(nullptr);
    ASSERT_NE(memory, nullptr);
    const BITMAPINFO info = DibInfo(5, -3);
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(dib, nullptr);
    ASSERT_NE(bits, nullptr);
    static_cast<uint8_t*>(bits)[3 * 16 - 1] = 7;  // the last byte of 3 rows of 16 (15 padded)
    HGDIOBJ old = SelectObject(memory, dib);
    ASSERT_NE(old, nullptr);
    // Neither to a DC of no window nor to a memory DC does a transfer go.
    EXPECT_EQ(BitBlt(nullptr, 0, 0, 5, 3, memory, 0, 0, SRCCOPY), FALSE);
    EXPECT_EQ(BitBlt(memory, 0, 0, 5, 3, memory, 0, 0, SRCCOPY), FALSE);
    EXPECT_EQ(SelectObject(memory, old), dib);
    EXPECT_EQ(DeleteDC(memory), TRUE);
    EXPECT_EQ(DeleteObject(dib), TRUE);
}

TEST(KxOffscreenPlatform, HeldKeysAreTheKeyboard)
{
    for (int key : {int('W'), int('D'), VK_F1, 0, 255})
        EXPECT_EQ(GetAsyncKeyState(key), 0) << key;
    KxHoldKey('W', true);
    KxHoldKey(0, true);  // the first and last codes
    KxHoldKey(255, true);
    KxHoldKey(256, true);  // not a virtual key: ignored
    EXPECT_EQ(GetAsyncKeyState('W') & 0x8000, 0x8000);
    EXPECT_EQ(GetAsyncKeyState(0) & 0x8000, 0x8000);
    EXPECT_EQ(GetAsyncKeyState(255) & 0x8000, 0x8000);
    EXPECT_EQ(GetAsyncKeyState(256), 0);
    EXPECT_EQ(GetAsyncKeyState(-1), 0);
    EXPECT_EQ(GetAsyncKeyState('D'), 0);
    KxHoldKey('W', false);
    EXPECT_EQ(GetAsyncKeyState('W'), 0);
    KxReleaseAllKeys();
    EXPECT_EQ(GetAsyncKeyState(0), 0);
    EXPECT_EQ(GetAsyncKeyState(255), 0);
}

TEST(KxOffscreenPlatform, MessageBoxesGoToStderrAndTheClockRuns)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(nullptr, "no texture", "kxsnapshot", MB_OK), IDOK);
    EXPECT_EQ(MessageBoxA(nullptr, nullptr, nullptr, MB_OK), IDOK);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "kxsnapshot: no texture\nError: \n");
    const DWORD start = GetTickCount();
    Sleep(20);
    EXPECT_GE(DWORD(GetTickCount() - start), 19u);
}

}  // namespace
