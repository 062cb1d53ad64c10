// An off-screen device for tests: a window on SDL's dummy video driver and a
// device created on it at the requested size.
#pragma once

#include <cstdint>

#include "platform/kxwin32.h"
#include "render/kxsoftwarerenderdevice.h"

// Created before the device and destroyed after it, as in the program.
struct KxTestWindow {
    static constexpr const char* kClassName = "KxTestDevice";

    KxTestWindow(int32_t nWidth, int32_t nHeight)
    {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = kClassName;
        RegisterClassA(&wc);
        hWnd = CreateWindowExA(0, kClassName, kClassName, WS_OVERLAPPEDWINDOW, 0, 0, nWidth, nHeight,
                               nullptr, nullptr, nullptr, nullptr);
    }

    ~KxTestWindow()
    {
        if (hWnd)
            DestroyWindow(hWnd);
        UnregisterClassA(kClassName, nullptr);
    }

    HWND hWnd = nullptr;
};

struct KxTestDevice : KxTestWindow {
    explicit KxTestDevice(int32_t nWidth = 64, int32_t nHeight = 48) : KxTestWindow(nWidth, nHeight)
    {
        device.Create(hWnd, nWidth, nHeight);
    }

    const uint8_t* Pixel(int32_t x, int32_t y) const
    {
        return device.GetPixels() + y * device.GetRowStride() + 3 * x;
    }

    // The packed colour (red in bits 0-7, blue in bits 16-23) stored at (x, y).
    uint32_t Color(int32_t x, int32_t y) const
    {
        const uint8_t* p = Pixel(x, y);
        return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
    }

    KxSoftwareRenderDevice device;
};
