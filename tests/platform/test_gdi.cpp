#include "platform/kxwin32_sdl.h"
#include "tests/platform/kxtestwindow.h"

#include <SDL.h>

#include <cstring>

namespace {

struct KxRgb {
    Uint8 r, g, b;
    bool operator==(const KxRgb&) const = default;
};

BITMAPINFO DibInfo(LONG width, LONG height, WORD bitCount = 24, DWORD compression = BI_RGB) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = bitCount;
    info.bmiHeader.biCompression = compression;
    return info;
}

void PutBgr(void* bits, size_t offset, KxRgb colour) {
    uint8_t* p = static_cast<uint8_t*>(bits) + offset;
    p[0] = colour.b;
    p[1] = colour.g;
    p[2] = colour.r;
}

KxRgb SurfacePixel(HWND hwnd, int x, int y) {
    SDL_Surface* pSurface = SDL_GetWindowSurface(KxGetSdlWindow(hwnd));
    Uint32 value = 0;
    std::memcpy(&value, static_cast<const uint8_t*>(pSurface->pixels) + y * pSurface->pitch + x * 4, 4);
    KxRgb colour{};
    SDL_GetRGB(value, pSurface->format, &colour.r, &colour.g, &colour.b);
    return colour;
}

// A window with its DC and a memory DC holding a DIB section, torn down in
// the order the render device uses.
class KxGdiTest : public KxWindowTest {
protected:
    bool Prepare(int windowWidth, int windowHeight, LONG dibWidth, LONG dibHeight) {
        hwnd = CreateTestWindow(0, 0, windowWidth, windowHeight);
        hdcWindow = GetDC(hwnd);
        hdcMemory = CreateCompatibleDC(hdcWindow);
        BITMAPINFO info = DibInfo(dibWidth, dibHeight);
        hDib = CreateDIBSection(hdcWindow, &info, DIB_RGB_COLORS, &pBits, nullptr, 0);
        hOld = SelectObject(hdcMemory, hDib);
        SDL_Surface* pSurface = SDL_GetWindowSurface(KxGetSdlWindow(hwnd));
        return hwnd && hdcWindow && hdcMemory && hDib && pBits && hOld && pSurface &&
               pSurface->format->BytesPerPixel == 4;
    }

    void TearDown() override {
        if (hdcMemory) {
            EXPECT_EQ(SelectObject(hdcMemory, hOld), hDib);
            EXPECT_TRUE(DeleteDC(hdcMemory));
            EXPECT_TRUE(DeleteObject(hDib));
            EXPECT_EQ(ReleaseDC(hwnd, hdcWindow), 1);
        }
        KxWindowTest::TearDown();
    }

    HWND hwnd = nullptr;
    HDC hdcWindow = nullptr;
    HDC hdcMemory = nullptr;
    HBITMAP hDib = nullptr;
    HGDIOBJ hOld = nullptr;
    void* pBits = nullptr;
};

constexpr KxRgb kRed{0xFF, 0x00, 0x00};
constexpr KxRgb kBlack{0x00, 0x00, 0x00};
constexpr KxRgb kMixed{0x33, 0x22, 0x11};

}  // namespace

TEST_F(KxGdiTest, TopDownDibRowsAre1920BytesApartAt640) {
    ASSERT_TRUE(Prepare(640, 480, 640, -480));
    const uint8_t* pBytes = static_cast<const uint8_t*>(pBits);
    for (size_t i = 0; i < 1920 * 480; ++i) {
        ASSERT_EQ(pBytes[i], 0) << "byte " << i;
    }
    PutBgr(pBits, 1920 * 1 + 3 * 2, kMixed);      // (2, 1)
    PutBgr(pBits, 1920 * 479 + 3 * 639, kRed);    // the last pixel
    ASSERT_TRUE(BitBlt(hdcWindow, 0, 0, 640, 480, hdcMemory, 0, 0, SRCCOPY));
    EXPECT_EQ(SurfacePixel(hwnd, 2, 1), kMixed);
    EXPECT_EQ(SurfacePixel(hwnd, 639, 479), kRed);
    EXPECT_EQ(SurfacePixel(hwnd, 3, 1), kBlack);
    EXPECT_EQ(SurfacePixel(hwnd, 2, 0), kBlack);
}

TEST_F(KxGdiTest, RowsArePaddedToFourBytesAt641) {
    ASSERT_TRUE(Prepare(641, 4, 641, -4));
    PutBgr(pBits, 1924 * 1, kMixed);            // (0, 1)
    PutBgr(pBits, 1924 * 3 + 3 * 640, kRed);    // the last pixel
    ASSERT_TRUE(BitBlt(hdcWindow, 0, 0, 641, 4, hdcMemory, 0, 0, SRCCOPY));
    EXPECT_EQ(SurfacePixel(hwnd, 0, 1), kMixed);
    EXPECT_EQ(SurfacePixel(hwnd, 640, 3), kRed);
    EXPECT_EQ(SurfacePixel(hwnd, 640, 0), kBlack);
}

TEST_F(KxGdiTest, PositiveHeightIsBottomUp) {
    ASSERT_TRUE(Prepare(8, 3, 5, 3));  // rows of 16 bytes
    PutBgr(pBits, 0, kMixed);          // memory row 0 is the bottom row
    PutBgr(pBits, 16 * 2 + 3 * 4, kRed);
    ASSERT_TRUE(BitBlt(hdcWindow, 0, 0, 5, 3, hdcMemory, 0, 0, SRCCOPY));
    EXPECT_EQ(SurfacePixel(hwnd, 0, 2), kMixed);
    EXPECT_EQ(SurfacePixel(hwnd, 4, 0), kRed);
    EXPECT_EQ(SurfacePixel(hwnd, 0, 0), kBlack);
}

TEST_F(KxGdiTest, BlitIsClippedToBothImages) {
    ASSERT_TRUE(Prepare(10, 10, 6, -6));
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 6; ++x) {
            PutBgr(pBits, static_cast<size_t>(y * 20 + x * 3), KxRgb{Uint8(x), Uint8(y), 0x80});
        }
    }
    // Window (-1, 7) takes source (1, 2): one column is cut on the left,
    // the window's bottom cuts after three rows, the source's right edge after
    // four columns.
    ASSERT_TRUE(BitBlt(hdcWindow, -1, 7, 100, 100, hdcMemory, 1, 2, SRCCOPY));
    EXPECT_EQ(SurfacePixel(hwnd, 0, 7), (KxRgb{2, 2, 0x80}));
    EXPECT_EQ(SurfacePixel(hwnd, 3, 9), (KxRgb{5, 4, 0x80}));
    EXPECT_EQ(SurfacePixel(hwnd, 4, 7), kBlack);
    EXPECT_EQ(SurfacePixel(hwnd, 0, 6), kBlack);
    // Entirely outside: nothing to copy, which is no failure.
    EXPECT_TRUE(BitBlt(hdcWindow, 20, 20, 5, 5, hdcMemory, 0, 0, SRCCOPY));
    EXPECT_TRUE(BitBlt(hdcWindow, 0, 0, 5, 5, hdcMemory, -10, 0, SRCCOPY));
}

TEST_F(KxGdiTest, OnlyAWindowFedFromADibIsPresented) {
    ASSERT_TRUE(Prepare(8, 8, 8, -8));
    EXPECT_FALSE(BitBlt(hdcWindow, 0, 0, 8, 8, hdcMemory, 0, 0, 0x00EE0086));  // SRCPAINT
    EXPECT_FALSE(BitBlt(hdcMemory, 0, 0, 8, 8, hdcWindow, 0, 0, SRCCOPY));
    HDC hdcEmpty = CreateCompatibleDC(hdcWindow);
    EXPECT_FALSE(BitBlt(hdcWindow, 0, 0, 8, 8, hdcEmpty, 0, 0, SRCCOPY));  // only the stock bitmap
    EXPECT_TRUE(DeleteDC(hdcEmpty));
}

TEST_F(KxGdiTest, ADestroyedWindowTakesItsDcAlong) {
    ASSERT_TRUE(Prepare(8, 8, 8, -8));
    ASSERT_TRUE(DestroyWindow(hwnd));
    EXPECT_FALSE(BitBlt(hdcWindow, 0, 0, 8, 8, hdcMemory, 0, 0, SRCCOPY));
    // The device's shutdown order after the window is gone.
    EXPECT_EQ(SelectObject(hdcMemory, hOld), hDib);
    EXPECT_TRUE(DeleteDC(hdcMemory));
    EXPECT_TRUE(DeleteObject(hDib));
    EXPECT_EQ(ReleaseDC(hwnd, hdcWindow), 0);
    hdcMemory = nullptr;
}

TEST_F(KxGdiTest, SelectedBitmapsAreProtected) {
    ASSERT_TRUE(Prepare(8, 8, 8, -8));
    EXPECT_FALSE(DeleteObject(hDib));  // still selected
    HDC hdcOther = CreateCompatibleDC(nullptr);
    ASSERT_NE(hdcOther, nullptr);
    EXPECT_EQ(SelectObject(hdcOther, hDib), nullptr);  // one DC at a time
    EXPECT_EQ(SelectObject(hdcMemory, hDib), hDib);
    EXPECT_EQ(SelectObject(hdcWindow, hDib), nullptr);
    EXPECT_EQ(SelectObject(hdcMemory, GetStockObject(BLACK_BRUSH)), nullptr);
    EXPECT_TRUE(DeleteDC(hdcOther));
    EXPECT_FALSE(DeleteDC(hdcWindow));
}

TEST(KxDib, OnlyUncompressed24BitDibsAreMade) {
    const BITMAPINFO unsupported[] = {
        DibInfo(8, 8, 32), DibInfo(8, 8, 8), DibInfo(8, 8, 24, 3 /* BI_BITFIELDS */),
        DibInfo(0, 8), DibInfo(8, 0), DibInfo(-8, 8), DibInfo(0x10000, 0x10000),
    };
    for (const BITMAPINFO& info : unsupported) {
        void* pBits = &pBits;
        EXPECT_EQ(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pBits, nullptr, 0), nullptr);
        EXPECT_EQ(pBits, nullptr);
    }
    EXPECT_EQ(CreateDIBSection(nullptr, nullptr, DIB_RGB_COLORS, nullptr, nullptr, 0), nullptr);
}

TEST(KxDib, ANewMemoryDcHoldsTheStockBitmap) {
    HDC hdc = CreateCompatibleDC(nullptr);
    BITMAPINFO info = DibInfo(4, -4);
    void* pBits = nullptr;
    HBITMAP hDib = CreateDIBSection(hdc, &info, DIB_RGB_COLORS, &pBits, nullptr, 0);
    ASSERT_NE(hDib, nullptr);
    HGDIOBJ hStock = SelectObject(hdc, hDib);
    ASSERT_NE(hStock, nullptr);
    EXPECT_NE(hStock, hDib);
    EXPECT_TRUE(DeleteDC(hdc));  // deselects the DIB
    EXPECT_TRUE(DeleteObject(hDib));
    EXPECT_FALSE(DeleteObject(hDib));
    EXPECT_TRUE(DeleteObject(hStock));  // stock objects survive
    HDC hdcAgain = CreateCompatibleDC(nullptr);
    BITMAPINFO again = DibInfo(4, -4);
    HBITMAP hDibAgain = CreateDIBSection(hdcAgain, &again, DIB_RGB_COLORS, &pBits, nullptr, 0);
    EXPECT_EQ(SelectObject(hdcAgain, hDibAgain), hStock);
    EXPECT_EQ(SelectObject(hdcAgain, hStock), hDibAgain);
    EXPECT_TRUE(DeleteDC(hdcAgain));
    EXPECT_TRUE(DeleteObject(hDibAgain));
}
