// One lit, textured triangle drawn off-screen and saved as a BMP file.
//   offscreen_triangle [FILE.bmp]     (default triangle.bmp)
#include <cstdio>
#include <cstring>

#include "render/kxsoftwarerenderdevice.h"

struct Vertex {  // format 0x112: position, normal, one texture coordinate set
    float x, y, z, nx, ny, nz, u, v;
};

int main(int argc, char** argv)
{
    const char* path = argc > 1 ? argv[1] : "triangle.bmp";
    KxSoftwareRenderDevice device;
    if (!device.CreateOffscreen(160, 120))
        return 1;

    // A checker of white and red squares, 32 x 32 texels in blue-green-red
    // bytes, top row first.
    uint8_t checker[32 * 32 * 3];
    for (int i = 0; i < 32 * 32; ++i) {
        const bool bWhite = (i % 32 / 4 + i / 32 / 4) % 2 == 0;
        checker[3 * i] = checker[3 * i + 1] = bWhite ? 255 : 0;
        checker[3 * i + 2] = 255;
    }
    KxTexture* pTexture = nullptr;
    device.CreateTextureFromMemory(checker, 32, 32, 32 * 3, &pTexture);
    device.SetTexture(0, pTexture);

    // Clockwise as the camera sees it; the normals lean apart to show the shading.
    const Vertex triangle[3] = {{-1.5f, -1.2f, 0, -0.6f, 0, -0.8f, 0, 1},
                                {0, 1.5f, 0, 0, 0.6f, -0.8f, 0.5f, 0},
                                {1.5f, -1.2f, 0, 0.6f, 0, -0.8f, 1, 1}};
    KxVertexBuffer* pBuffer = nullptr;
    void* data = nullptr;
    device.CreateVertexBuffer(sizeof(triangle), 0, 0x112, 1, &pBuffer, nullptr);
    pBuffer->Lock(0, 0, &data, 0);
    std::memcpy(data, triangle, sizeof(triangle));
    pBuffer->Unlock();

    KxMatrix4 view, projection;
    view.SetLookAtLeftHanded(KxVector3(0, 0, -5), KxVector3(0, 0, 0), KxVector3(0, 1, 0));
    projection.SetPerspectiveLeftHanded(0.7853982f, 160.0f / 120.0f, 1.0f, 100.0f);
    device.SetTransform(KXTS_VIEW, &view);
    device.SetTransform(KXTS_PROJECTION, &projection);

    KxLight light;  // a warm light from the upper left, behind the camera, and a dim ambient
    light.Diffuse = KxColor(1.0f, 0.9f, 0.7f, 1.0f);
    light.Ambient = KxColor(0.2f, 0.2f, 0.2f, 1.0f);
    light.Direction = KxVector3(0.6f, -0.6f, 0.53f);
    device.SetLight(0, &light);

    device.Clear(0, nullptr, KXCLEAR_TARGET | KXCLEAR_ZBUFFER, 0x402010, 1.0f, 0);
    device.SetFVF(0x112);
    device.SetStreamSource(0, pBuffer, 0, sizeof(Vertex));
    device.DrawPrimitive(KXPT_TRIANGLELIST, 0, 1);

    const bool bSaved = device.SaveBmp(path);
    pBuffer->Release();
    pTexture->Release();
    std::printf(bSaved ? "wrote %s\n" : "cannot write %s\n", path);
    return bSaved ? 0 : 1;
}
