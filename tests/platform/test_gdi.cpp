#include "platform/kxwin32_sdl.h"
#include "tests/platform/kxtestwindow.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

struct KxRgb {
    Uint8 r, g, b;
    bool operator==(const KxRgb&) const = default;
};

constexpr KxRgb kRed{0xFF, 0x00, 0x00};
constexpr KxRgb kBlack{0x00, 0x00, 0x00};
constexpr KxRgb kMixed{0x33, 0x22, 0x11};

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

// A window with its DC and a memory DC holding a DIB section, torn down in
// the order the render device uses.
class KxGdiTest : public KxWindowTest {
protected:
    void Prepare(int windowWidth, int windowHeight, LONG dibWidth, LONG dibHeight) {
        hwnd = CreateTestWindow(0, 0, windowWidth, windowHeight);
        hdcWindow = GetDC(hwnd);
        hdcMemory = CreateCompatibleDC(hdcWindow);
        BITMAPINFO info = DibInfo(dibWidth, dibHeight);
        hDib = CreateDIBSection(hdcWindow, &info, DIB_RGB_COLORS, &pBits, nullptr, 0);
        hOld = SelectObject(hdcMemory, hDib);
        SDL_Surface* pSurface = SDL_GetWindowSurface(KxGetSdlWindow(hwnd));
        ASSERT_TRUE(hdcWindow && hdcMemory && hDib && pBits && hOld && pSurface);
        ASSERT_EQ(pSurface->format->BytesPerPixel, 4);
    }

    void Release(int releaseResult = 1) {
        EXPECT_EQ(SelectObject(hdcMemory, hOld), hDib);
        EXPECT_TRUE(DeleteDC(hdcMemory));
        EXPECT_TRUE(DeleteObject(hDib));
        EXPECT_EQ(ReleaseDC(hwnd, hdcWindow), releaseResult);
        hdcMemory = nullptr;
    }

    void TearDown() override {
        if (hdcMemory) {
            Release();
        }
        KxWindowTest::TearDown();
    }

    void Put(size_t offset, KxRgb colour) {
        uint8_t* p = static_cast<uint8_t*>(pBits) + offset;
        p[0] = colour.b;
        p[1] = colour.g;
        p[2] = colour.r;
    }

    KxRgb SurfacePixel(int x, int y) const {
        SDL_Surface* pSurface = SDL_GetWindowSurface(KxGetSdlWindow(hwnd));
        Uint32 value = 0;
        std::memcpy(&value, static_cast<const uint8_t*>(pSurface->pixels) + y * pSurface->pitch + x * 4, 4);
        KxRgb colour{};
        SDL_GetRGB(value, pSurface->format, &colour.r, &colour.g, &colour.b);
        return colour;
    }

    HWND hwnd = nullptr;
    HDC hdcWindow = nullptr;
    HDC hdcMemory = nullptr;
    HBITMAP hDib = nullptr;
    HGDIOBJ hOld = nullptr;
    void* pBits = nullptr;
};

}  // namespace

TEST_F(KxGdiTest, RowsArePaddedToFourBytesAndOrderedByTheHeightSign) {
    const struct {
        int width, height;  // the DIB's; negative: top-down
        size_t stride;
    } cases[] = {{640, -480, 1920}, {641, -4, 1924}, {5, 4, 16}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.width);
        const int rows = c.height < 0 ? -c.height : c.height;
        ASSERT_NO_FATAL_FAILURE(Prepare(c.width + 3, rows, c.width, c.height));
        const uint8_t* pBytes = static_cast<const uint8_t*>(pBits);
        EXPECT_EQ(std::count(pBytes, pBytes + c.stride * size_t(rows), 0), ptrdiff_t(c.stride * size_t(rows)));
        // (2, 1) and the last pixel; bottom-up memory starts with the bottom row.
        Put(c.stride * size_t(c.height < 0 ? 1 : rows - 2) + 3 * 2, kMixed);
        Put(c.stride * size_t(c.height < 0 ? rows - 1 : 0) + 3 * size_t(c.width - 1), kRed);
        ASSERT_TRUE(BitBlt(hdcWindow, 0, 0, c.width, rows, hdcMemory, 0, 0, SRCCOPY));
        EXPECT_EQ(SurfacePixel(2, 1), kMixed);
        EXPECT_EQ(SurfacePixel(c.width - 1, rows - 1), kRed);
        for (const auto& [x, y] : {std::pair{3, 1}, {2, 0}, {c.width, rows - 1}}) {
            EXPECT_EQ(SurfacePixel(x, y), kBlack) << x << ", " << y;
        }
        Release();
        DestroyWindow(hwnd);
    }
}

TEST_F(KxGdiTest, BlitIsClippedToBothImagesAndNeedsAWindowFedFromADib) {
    Prepare(10, 10, 6, -6);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 6; ++x) {
            Put(static_cast<size_t>(y * 20 + x * 3), KxRgb{Uint8(x), Uint8(y), 0x80});
        }
    }
    // Window (-1, 7) takes source (1, 2): one column is cut on the left,
    // the window's bottom cuts after three rows, the source's right edge after
    // four columns. Wholly outside is nothing to copy, which is no failure.
    ASSERT_TRUE(BitBlt(hdcWindow, -1, 7, 100, 100, hdcMemory, 1, 2, SRCCOPY));
    EXPECT_EQ(SurfacePixel(0, 7), (KxRgb{2, 2, 0x80}));
    EXPECT_EQ(SurfacePixel(3, 9), (KxRgb{5, 4, 0x80}));
    EXPECT_EQ(SurfacePixel(4, 7), kBlack);
    EXPECT_EQ(SurfacePixel(0, 6), kBlack);
    EXPECT_TRUE(BitBlt(hdcWindow, 20, 20, 5, 5, hdcMemory, 0, 0, SRCCOPY));
    EXPECT_TRUE(BitBlt(hdcWindow, 0, 0, 5, 5, hdcMemory, -10, 0, SRCCOPY));

    EXPECT_FALSE(BitBlt(hdcWindow, 0, 0, 8, 8, hdcMemory, 0, 0, 0x00EE0086));  // SRCPAINT
    EXPECT_FALSE(BitBlt(hdcMemory, 0, 0, 8, 8, hdcWindow, 0, 0, SRCCOPY));
    // A destroyed window takes its DC along; the device's shutdown order
    // still works.
    ASSERT_TRUE(DestroyWindow(hwnd));
    EXPECT_FALSE(BitBlt(hdcWindow, 0, 0, 8, 8, hdcMemory, 0, 0, SRCCOPY));
    Release(0);
}

TEST_F(KxGdiTest, SelectedBitmapsAreProtectedAndANewDcHoldsTheStockBitmap) {
    Prepare(8, 8, 8, -8);
    EXPECT_FALSE(DeleteObject(hDib));  // still selected
    HDC hdcOther = CreateCompatibleDC(nullptr);
    EXPECT_EQ(SelectObject(hdcOther, hDib), nullptr);  // one DC at a time
    EXPECT_EQ(SelectObject(hdcMemory, hDib), hDib);
    EXPECT_EQ(SelectObject(hdcWindow, hDib), nullptr);
    EXPECT_EQ(SelectObject(hdcMemory, GetStockObject(BLACK_BRUSH)), nullptr);
    EXPECT_FALSE(BitBlt(hdcWindow, 0, 0, 8, 8, hdcOther, 0, 0, SRCCOPY));  // only the stock bitmap
    EXPECT_TRUE(DeleteDC(hdcOther));
    EXPECT_FALSE(DeleteDC(hdcWindow));

    BITMAPINFO info = DibInfo(4, -4);
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
