// Device creation, the colour and depth buffers, Clear, Present, the frame
// as a file and the frame-rate counter.
#include "render/kxsoftwarerenderdevice.h"

#include "platform/kxwin32.h"
#include "render/kxbmpwriter.h"
#include "render/kxthreadeddraw.h"
#include "render/kxworkers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <limits>
#include <new>

namespace {

// Off-screen colour buffers: below 2 GiB, starting on a cache line like the
// window path's DIB sections.
constexpr int64_t kMaxFrameBytes = 0x7FFFFFFF;
constexpr std::align_val_t kFrameAlignment{64};

// Construction values of the render-state word: z-enable on, shade mode 1,
// lighting on.
constexpr uint32_t kConstructionRenderStates = (1u << 4) | (1u << 5) | (1u << 1);

// trunc(value), with values no 64-bit integer holds (and NaN) mapped to 0
// instead of undefined behaviour.
int64_t TruncateToInt64(double value)
{
    if (!(value > -9.2e18 && value < 9.2e18))
        return 0;
    return static_cast<int64_t>(value);
}

// Whether a clear colour's three channels are equal: then its pixels are
// one byte repeated.
bool IsGrey(uint32_t color)
{
    return uint8_t(color) == uint8_t(color >> 8) && uint8_t(color) == uint8_t(color >> 16);
}

// Fills n entries with value: a byte fill when both bytes agree, else the
// first entries by hand and the rest by doubling block copies.
template <typename T>
void FillEntries(T* entries, size_t n, T value)
{
    if (n == 0)
        return;
    const uint8_t lowByte = uint8_t(value);
    if (value == T(lowByte * (T(~T(0)) / 0xFF))) {
        std::memset(entries, lowByte, n * sizeof(T));
        return;
    }
    size_t filled = std::min<size_t>(n, 64);
    for (size_t i = 0; i < filled; ++i)
        entries[i] = value;
    while (filled < n) {
        const size_t block = std::min(filled, n - filled);
        std::memcpy(entries + filled, entries, block * sizeof(T));
        filled += block;
    }
}

}  // namespace

KxSoftwareRenderDevice::KxSoftwareRenderDevice() : renderStates(kConstructionRenderStates)
{
    world.SetIdentity();
    view.SetIdentity();
    projection.SetIdentity();
    viewportMatrix.SetIdentity();
    clipMatrix.SetIdentity();
    combinedMatrix.SetIdentity();
}

KxSoftwareRenderDevice::~KxSoftwareRenderDevice()
{
    ReleaseGdiObjects();
    delete[] depthBuffer16;
    depthBuffer16 = nullptr;
    delete[] depthBuffer32;
    depthBuffer32 = nullptr;
    if (pOffscreenPixels) {
        operator delete[](pOffscreenPixels, kFrameAlignment);
        pOffscreenPixels = pixels = nullptr;
    }
}

void KxSoftwareRenderDevice::Create(HWND window, int32_t nWidth, int32_t nHeight)
{
    if (!window)
        return;

    hWnd = window;
    hdcWindow = GetDC(window);
    hdcMemory = CreateCompatibleDC(hdcWindow);
    height = nHeight;
    width = nWidth;
    hDibSection = CreateDibSection(hdcWindow, nWidth, nHeight, reinterpret_cast<void**>(&pixels));
    hOldBitmap = SelectObject(hdcMemory, hDibSection);
    if (!pixels) {
        // Without a colour buffer the device has nothing to draw into: an
        // empty frame keeps every writer inside it.
        width = height = rowStride = 0;
    }

    SetDefaultState();
    for (KxTexture*& stage : textureStages)
        stage = nullptr;
    CreateDepthBuffer(false);
}

bool KxSoftwareRenderDevice::CreateOffscreen(int32_t nWidth, int32_t nHeight)
{
    if (hWnd || pixels || nWidth <= 0 || nHeight <= 0)
        return false;
    // The window path's DIB sections stop short of 2 GiB too, which keeps
    // every byte offset of the frame within 32 bits.
    const int64_t stride = (3 * int64_t(nWidth) + 3) & ~int64_t(3);
    if (stride * nHeight > kMaxFrameBytes)
        return false;
    uint8_t* colour = new (kFrameAlignment, std::nothrow) uint8_t[size_t(stride * nHeight)];
    if (!colour)
        return false;

    pOffscreenPixels = pixels = colour;
    width = nWidth;
    height = nHeight;
    rowStride = int32_t(stride);
    SetDefaultState();
    for (KxTexture*& stage : textureStages)
        stage = nullptr;
    if (!AllocateDepthBuffer(false)) {
        operator delete[](pOffscreenPixels, kFrameAlignment);
        pOffscreenPixels = pixels = nullptr;
        width = height = rowStride = 0;
        return false;
    }
    return true;
}

void KxSoftwareRenderDevice::SetDefaultState()
{
    KxViewport viewport;
    viewport.X = 0;
    viewport.Y = 0;
    viewport.Width = uint32_t(width);
    viewport.Height = uint32_t(height);
    viewport.MinZ = 0.0f;
    viewport.MaxZ = 1.0f;
    SetViewport(&viewport);

    KxClipVolume clipVolume;
    clipVolume.ClipX = -1.0f;
    clipVolume.ClipWidth = 2.0f;
    clipVolume.ClipY = 1.0f;
    clipVolume.ClipHeight = 2.0f;
    clipVolume.MinZ = 0.0f;
    clipVolume.MaxZ = 1.0f;
    SetClipVolume(&clipVolume);

    KxLight light;
    light.Diffuse = KxColor(1.0f, 1.0f, 1.0f, 1.0f);
    light.Specular = KxColor(0.0f, 0.0f, 0.0f, 1.0f);
    light.Ambient = KxColor(1.0f, 1.0f, 1.0f, 1.0f);
    light.Direction = KxVector3(0.0f, 1.0f, 0.0f);
    SetLight(0, &light);

    material.Diffuse = KxColor(1.0f, 1.0f, 1.0f, 1.0f);
    material.Ambient = KxColor(1.0f, 1.0f, 1.0f, 1.0f);
    material.Specular = KxColor(1.0f, 1.0f, 1.0f, 1.0f);
    material.Emissive = KxColor(0.0f, 0.0f, 0.0f, 1.0f);
    material.Power = 1.0f;
    SetMaterial(&material);

    SetRenderState(KXRS_SPECULARENABLE, 0);
    SetRenderState(KXRS_AMBIENT, 0);
    LightEnable(0, TRUE);
    SetRenderState(KXRS_SHADEMODE, KXSHADE_GOURAUD);
    SetRenderState(KXRS_LIGHTING, 1);
    SetRenderState(KXRS_CLIPPING, 1);
}

HBITMAP KxSoftwareRenderDevice::CreateDibSection(HDC dc, int32_t nWidth, int32_t nHeight, void** bits)
{
    BITMAPINFO info;
    std::memset(&info, 0, sizeof(info));
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = nWidth;
    info.bmiHeader.biHeight = -nHeight;  // negative: rows top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;

    rowStride = (info.bmiHeader.biBitCount / 8 * width + 3) & ~3;
    return CreateDIBSection(dc, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

void KxSoftwareRenderDevice::CreateDepthBuffer(int32_t use32Bit)
{
    if (!AllocateDepthBuffer(use32Bit)) {
        std::fprintf(stderr, "Out of memory for a %d x %d depth buffer\n", int(width), int(height));
        std::abort();
    }
}

bool KxSoftwareRenderDevice::AllocateDepthBuffer(int32_t use32Bit)
{
    // A second call replaces the buffer instead of leaking it.
    delete[] depthBuffer16;
    depthBuffer16 = nullptr;
    delete[] depthBuffer32;
    depthBuffer32 = nullptr;

    const size_t entries = size_t(width > 0 ? width : 0) * size_t(height > 0 ? height : 0);
    depthScale = uint32_t(int64_t(std::pow(2.0, 16)) - 1);
    if (use32Bit) {
        depth32Bit = 1;
        depthBuffer32 = new (std::nothrow) uint32_t[entries];
        if (!depthBuffer32)
            return false;
        FillEntries(depthBuffer32, entries, depthScale);
    } else {
        depth32Bit = 0;
        depthBuffer16 = new (std::nothrow) uint16_t[entries];
        if (!depthBuffer16)
            return false;
        FillEntries(depthBuffer16, entries, uint16_t(depthScale));
    }
    return true;
}

bool KxSoftwareRenderDevice::Clear(uint32_t, const void*, uint32_t, uint32_t color, float z, uint32_t)
{
    const int64_t depth = TruncateToInt64(double(depthScale) * z + 0.5);
    if (!IsGrey(color) && rowStride > 0)
        clearPattern.Prepare(color, width, rowStride);
    // Large frames are cleared by all threads, each its own rows.
    if (pWorkers && (nThreadThreshold == 0 || int64_t(width) * height >= kThreadedClearPixels)) {
        const int32_t nThreads = int32_t(pWorkers->Count());
        constexpr int32_t kRows = KxClearPattern::kRows;
        const int32_t nRows = ((height + nThreads - 1) / nThreads + kRows - 1) / kRows * kRows;
        auto clearRows = [&](uint32_t thread) {
            const int32_t first = std::min(height, int32_t(thread) * nRows);
            ClearRows(first, std::min(height, first + nRows), color, depth);
        };
        pWorkers->Run(clearRows);
    } else {
        ClearRows(0, height, color, depth);
    }
    return true;
}

// Rows first to end - 1 of the colour and depth buffers.
void KxSoftwareRenderDevice::ClearRows(int32_t first, int32_t end, uint32_t color, int64_t depth)
{
    if (first >= end || rowStride <= 0)
        return;
    if (IsGrey(color))
        std::memset(pixels + size_t(first) * size_t(rowStride), uint8_t(color),
                    size_t(end - first) * size_t(rowStride));
    else
        clearPattern.FillRows(pixels, rowStride, first, end);

    const size_t firstEntry = size_t(first) * size_t(width), entries = size_t(end - first) * size_t(width);
    if (depth32Bit)
        FillEntries(depthBuffer32 + firstEntry, entries, uint32_t(depth));
    else
        FillEntries(depthBuffer16 + firstEntry, entries, uint16_t(depth));
}

BOOL KxSoftwareRenderDevice::Present()
{
    if (!hWnd)
        return FALSE;
    return BitBlt(hdcWindow, 0, 0, width, height, hdcMemory, 0, 0, SRCCOPY);
}

bool KxSoftwareRenderDevice::SaveBmp(const char* path) const
{
    return KxWriteBmpFile(path, pixels, width, height, rowStride);
}

void KxSoftwareRenderDevice::UpdateFrameRate()
{
    frameRate.Update();
}

void KxSoftwareRenderDevice::ReleaseGdiObjects()
{
    if (!hWnd)
        return;
    SelectObject(hdcMemory, hOldBitmap);
    DeleteDC(hdcMemory);
    DeleteObject(hDibSection);
    ReleaseDC(hWnd, hdcWindow);
    hdcMemory = nullptr;
    hDibSection = nullptr;
    hdcWindow = nullptr;
    hWnd = nullptr;
    pixels = nullptr;
}

uint32_t KxSoftwareRenderDevice::GetDepth(int32_t x, int32_t y) const
{
    if (x < 0 || x >= width || y < 0 || y >= height)
        return 0;
    const size_t index = size_t(y) * size_t(width) + size_t(x);
    return depth32Bit ? depthBuffer32[index] : depthBuffer16[index];
}
