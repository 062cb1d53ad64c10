// One floor drawn six times under the sampler states: columns wrap, mirror
// and clamp addressing, rows point and bilinear filtering. Its texture
// coordinates run from -1 to 2, so the 8 x 8 texture repeats three times
// across where it wraps, and is seen large near the camera.
//   sampler_states [FILE.bmp]     (default sampler_states.bmp)
#include <cstdio>
#include <cstring>

#include "render/kxsoftwarerenderdevice.h"

namespace {

struct Vertex {  // format 0x112: position, normal, one texture coordinate set
    float x, y, z, nx, ny, nz, u, v;
};

constexpr int32_t kCellWidth = 160, kCellHeight = 150;

// An "F" on cream with a red top row and a teal left column: asymmetric,
// so wrapping and mirroring tell apart. Blue, green, red bytes, top row
// first.
void MakeTexels(uint8_t texels[8 * 8 * 3])
{
    const char* rows[8] = {"rrrrrrrr", "t.FFFFF.", "t.F.....", "t.FFFF..",
                           "t.F.....", "t.F.....", "t.F.....", "t......."};
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            const char c = rows[y][x];
            const uint32_t rgb = c == 'r' ? 0xD04020 : c == 't' ? 0x208080 : c == 'F' ? 0x203060 : 0xF0E6D2;
            uint8_t* texel = texels + 3 * (8 * y + x);
            texel[0] = uint8_t(rgb);
            texel[1] = uint8_t(rgb >> 8);
            texel[2] = uint8_t(rgb >> 16);
        }
    }
}

// Sets a stage's addressing for u and v and both of its filters.
void SetSampling(KxSoftwareRenderDevice& device, uint32_t address, uint32_t filter)
{
    device.SetSamplerState(0, KXSAMP_ADDRESSU, address);
    device.SetSamplerState(0, KXSAMP_ADDRESSV, address);
    device.SetSamplerState(0, KXSAMP_MAGFILTER, filter);
    device.SetSamplerState(0, KXSAMP_MINFILTER, filter);
}

}  // namespace

int main(int argc, char** argv)
{
    const char* path = argc > 1 ? argv[1] : "sampler_states.bmp";
    KxSoftwareRenderDevice device;
    if (!device.CreateOffscreen(3 * kCellWidth, 2 * kCellHeight))
        return 1;

    uint8_t texels[8 * 8 * 3];
    MakeTexels(texels);
    KxTexture* pTexture = nullptr;
    device.CreateTextureFromMemory(texels, 8, 8, 8 * 3, &pTexture);
    device.SetTexture(0, pTexture);

    // A 2 x 2 floor, clockwise seen from above; u and v run from -1 to 2.
    const Vertex a{-1, 0, 0, 0, 1, 0, -1, 2}, b{-1, 0, 2, 0, 1, 0, -1, -1};
    const Vertex c{1, 0, 2, 0, 1, 0, 2, -1}, d{1, 0, 0, 0, 1, 0, 2, 2};
    const Vertex floor[6] = {a, b, c, a, c, d};
    KxVertexBuffer* pBuffer = nullptr;
    void* data = nullptr;
    device.CreateVertexBuffer(sizeof(floor), 0, 0x112, 1, &pBuffer, nullptr);
    pBuffer->Lock(0, 0, &data, 0);
    std::memcpy(data, floor, sizeof(floor));
    pBuffer->Unlock();

    KxMatrix4 view, projection;
    view.SetLookAtLeftHanded(KxVector3(0, 2.0f, -1.9f), KxVector3(0, 0, 0.9f), KxVector3(0, 1, 0));
    projection.SetPerspectiveLeftHanded(0.78f, float(kCellWidth) / float(kCellHeight), 0.5f, 20.0f);
    device.SetTransform(KXTS_VIEW, &view);
    device.SetTransform(KXTS_PROJECTION, &projection);

    // The default light's white ambient on the white material: every
    // vertex is white, and the texels show as they are.
    device.Clear(0, nullptr, KXCLEAR_TARGET | KXCLEAR_ZBUFFER, 0x403830, 1.0f, 0);
    device.SetFVF(0x112);
    device.SetStreamSource(0, pBuffer, 0, sizeof(Vertex));
    const uint32_t addresses[3] = {KXTADDRESS_WRAP, KXTADDRESS_MIRROR, KXTADDRESS_CLAMP};
    const uint32_t filters[2] = {KXTEXF_POINT, KXTEXF_LINEAR};
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < 3; ++column) {
            const KxViewport cell{uint32_t(column * kCellWidth), uint32_t(row * kCellHeight), kCellWidth,
                                  kCellHeight, 0.0f, 1.0f};
            device.SetViewport(&cell);
            SetSampling(device, addresses[column], filters[row]);
            device.DrawPrimitive(KXPT_TRIANGLELIST, 0, 2);
        }
    }

    const bool bSaved = device.SaveBmp(path);
    pBuffer->Release();
    pTexture->Release();
    std::printf(bSaved ? "wrote %s\n" : "cannot write %s\n", path);
    return bSaved ? 0 : 1;
}
