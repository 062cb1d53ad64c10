// Create with a handle that names no window, as every handle does in a
// build without a window system: the device draws into memory and Present
// fails, changing nothing. Exit status 0 when it behaves so.
#include <cstdio>

#include "render/kxsoftwarerenderdevice.h"

int main()
{
    int notAWindow = 0;
    KxSoftwareRenderDevice device;
    device.Create(reinterpret_cast<HWND>(&notAWindow), 8, 4);
    if (!device.GetPixels() || device.GetWidth() != 8 || device.GetHeight() != 4) {
        std::puts("no colour buffer");
        return 1;
    }
    device.Clear(0, nullptr, KXCLEAR_TARGET | KXCLEAR_ZBUFFER, 0x123456, 0.5f, 0);
    const uint8_t* pixel = device.GetPixels() + device.GetRowStride() + 3;  // (1, 1): blue in bits 16-23
    if (pixel[0] != 0x12 || pixel[1] != 0x34 || pixel[2] != 0x56 || device.GetDepth(7, 3) != 32768) {
        std::puts("the clear did not reach the buffers");
        return 1;
    }
    if (device.Present() != 0) {
        std::puts("Present succeeded without a window");
        return 1;
    }
    return 0;
}
