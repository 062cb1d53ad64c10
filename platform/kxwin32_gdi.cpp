// The GDI subset of kxwin32.h: window and memory device contexts, 24-bit DIB
// sections and the block transfer that presents one to a window. Handles
// are checked against the live objects before use. The window system
// beneath (kxwindowsystem.h) does the transfer's last step.
#include "platform/kxwindowsystem.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

enum class KxGdiKind { StockObject, StockBitmap, DibSection };

// DIB section bits start on a cache line, as Win32's start on a page: the
// renderer's block copies and fills run faster from an aligned start.
constexpr std::align_val_t kDibAlignment{64};

struct KxDibBitsDelete {
    void operator()(uint8_t* p) const { operator delete[](p, kDibAlignment); }
};

struct KxGdiObject {
    KxGdiKind kind = KxGdiKind::StockObject;
    int nWidth = 0;
    int nHeight = 0;
    bool bTopDown = false;
    ptrdiff_t nRowStride = 0;
    std::unique_ptr<uint8_t[], KxDibBitsDelete> pBits;
    HDC hSelectedIn = nullptr;  // a DIB section lives in at most one DC
};

struct KxDeviceContext {
    HWND hwnd = nullptr;  // set for a window DC, null for a memory DC
    HGDIOBJ hBitmap = nullptr;
};

namespace {

constexpr int kStockObjectCount = 20;  // WHITE_BRUSH .. DC_PEN
constexpr uint64_t kMaxDibBytes = 0x7FFFFFFF;
constexpr DWORD kMinInfoHeaderSize = 40;

struct KxGdiRegistry {
    std::vector<std::unique_ptr<KxDeviceContext>> dcs;
    std::vector<std::unique_ptr<KxGdiObject>> dibs;
};

KxGdiRegistry& Gdi() {
    static KxGdiRegistry registry;
    return registry;
}

KxGdiObject stockObjects[kStockObjectCount];
// What a new memory DC holds: Win32's 1x1 monochrome stock bitmap.
KxGdiObject stockBitmap{KxGdiKind::StockBitmap, 1, 1, false, 0, nullptr, nullptr};

bool IsStock(HGDIOBJ object) {
    return object == &stockBitmap || (object >= stockObjects && object < stockObjects + kStockObjectCount);
}

KxDeviceContext* FindDc(HDC hdc) {
    for (const std::unique_ptr<KxDeviceContext>& pDc : Gdi().dcs) {
        if (pDc.get() == hdc) {
            return pDc.get();
        }
    }
    return nullptr;
}

bool IsLiveDib(HGDIOBJ object) {
    const std::vector<std::unique_ptr<KxGdiObject>>& dibs = Gdi().dibs;
    return std::any_of(dibs.begin(), dibs.end(),
                       [object](const std::unique_ptr<KxGdiObject>& p) { return p.get() == object; });
}

HDC AddDc(HWND hwnd, HGDIOBJ hBitmap) {
    auto pDc = std::make_unique<KxDeviceContext>();
    pDc->hwnd = hwnd;
    pDc->hBitmap = hBitmap;
    HDC hdc = pDc.get();
    Gdi().dcs.push_back(std::move(pDc));
    return hdc;
}

void RemoveDc(HDC hdc) {
    if (hdc->hBitmap && hdc->hBitmap->kind == KxGdiKind::DibSection) {
        hdc->hBitmap->hSelectedIn = nullptr;
    }
    std::erase_if(Gdi().dcs, [hdc](const std::unique_ptr<KxDeviceContext>& p) { return p.get() == hdc; });
}

bool IsSupportedDib(const BITMAPINFOHEADER& header) {
    return header.biSize >= kMinInfoHeaderSize && header.biWidth > 0 && header.biHeight != 0 &&
           header.biPlanes == 1 && header.biBitCount == 24 && header.biCompression == BI_RGB;
}

}  // namespace

void KxReleaseWindowDcs(HWND hwnd) {
    std::erase_if(Gdi().dcs, [hwnd](const std::unique_ptr<KxDeviceContext>& p) { return p->hwnd == hwnd; });
}

HGDIOBJ GetStockObject(int object) {
    if (object < 0 || object >= kStockObjectCount) {
        return nullptr;
    }
    return &stockObjects[object];
}

HDC GetDC(HWND hwnd) {
    // The whole-screen DC (a null window) is not provided.
    return KxIsWindow(hwnd) ? AddDc(hwnd, nullptr) : nullptr;
}

int ReleaseDC(HWND hwnd, HDC hdc) {
    KxDeviceContext* pDc = FindDc(hdc);
    if (!pDc || !pDc->hwnd || pDc->hwnd != hwnd) {
        return 0;
    }
    RemoveDc(hdc);
    return 1;
}

HDC CreateCompatibleDC(HDC hdc) {
    if (hdc && !FindDc(hdc)) {
        return nullptr;
    }
    return AddDc(nullptr, &stockBitmap);
}

BOOL DeleteDC(HDC hdc) {
    KxDeviceContext* pDc = FindDc(hdc);
    if (!pDc || pDc->hwnd) {
        return FALSE;  // window DCs go back through ReleaseDC
    }
    RemoveDc(hdc);
    return TRUE;
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT, void** bits, HANDLE section, DWORD) {
    if (bits) {
        *bits = nullptr;
    }
    if (!info || !IsSupportedDib(info->bmiHeader) || section) {
        return nullptr;
    }
    const int64_t width = info->bmiHeader.biWidth;
    const int64_t height = info->bmiHeader.biHeight;
    const int64_t rowHeight = height < 0 ? -height : height;
    const int64_t rowStride = (width * 3 + 3) & ~int64_t(3);
    if (static_cast<uint64_t>(rowStride) * static_cast<uint64_t>(rowHeight) > kMaxDibBytes) {
        return nullptr;
    }
    const size_t nBytes = static_cast<size_t>(rowStride * rowHeight);
    auto pDib = std::make_unique<KxGdiObject>();
    pDib->pBits.reset(new (kDibAlignment, std::nothrow) uint8_t[nBytes]());
    if (!pDib->pBits) {
        return nullptr;
    }
    pDib->kind = KxGdiKind::DibSection;
    pDib->nWidth = static_cast<int>(width);
    pDib->nHeight = static_cast<int>(rowHeight);
    pDib->bTopDown = height < 0;
    pDib->nRowStride = static_cast<ptrdiff_t>(rowStride);
    if (bits) {
        *bits = pDib->pBits.get();
    }
    HBITMAP hBitmap = pDib.get();
    Gdi().dibs.push_back(std::move(pDib));
    return hBitmap;
}

// Only bitmaps are selected here (into memory DCs); the previous one comes
// back, as Win32.
HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object) {
    KxDeviceContext* pDc = FindDc(hdc);
    if (!pDc || pDc->hwnd || !(object == &stockBitmap || IsLiveDib(object))) {
        return nullptr;
    }
    if (object->kind == KxGdiKind::DibSection) {
        if (object->hSelectedIn && object->hSelectedIn != hdc) {
            return nullptr;
        }
        object->hSelectedIn = hdc;
    }
    HGDIOBJ previous = pDc->hBitmap;
    if (previous != object && previous && previous->kind == KxGdiKind::DibSection) {
        previous->hSelectedIn = nullptr;
    }
    pDc->hBitmap = object;
    return previous;
}

BOOL DeleteObject(HGDIOBJ object) {
    if (IsStock(object)) {
        return TRUE;  // stock objects are never deleted; asking is harmless
    }
    if (!object || !IsLiveDib(object) || object->hSelectedIn) {
        return FALSE;  // Win32 refuses to delete a bitmap still selected into a DC
    }
    std::erase_if(Gdi().dibs, [object](const std::unique_ptr<KxGdiObject>& p) { return p.get() == object; });
    return TRUE;
}

BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC src, int srcX, int srcY, DWORD rop) {
    KxDeviceContext* pDest = FindDc(dest);
    KxDeviceContext* pSrc = FindDc(src);
    if (rop != SRCCOPY || !pDest || !pDest->hwnd || !pSrc || pSrc->hwnd || !pSrc->hBitmap ||
        pSrc->hBitmap->kind != KxGdiKind::DibSection) {
        return FALSE;
    }
    const KxGdiObject& dib = *pSrc->hBitmap;
    const KxDibPixels pixels{dib.pBits.get(), dib.nWidth, dib.nHeight, dib.bTopDown, dib.nRowStride};
    return KxBlitToWindow(pDest->hwnd, pixels, x, y, width, height, srcX, srcY);
}
