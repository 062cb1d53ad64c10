// An indexed mesh behind a pane of coloured glass, drawn off-screen and
// saved as a BMP file.
//   indexed_scene [FILE.bmp]     (default indexed_scene.bmp)
//
// One vertex buffer and one index buffer hold a twelve-sided tower on a
// floor: its roof is a triangle fan, its wall a triangle strip and the floor
// a triangle list. The pane in front is a fan too, textured with a 32-bit
// image whose alpha the device blends with (a see-through glass and an
// opaque frame) and tests (the holes, whose alpha is below the reference,
// are left out altogether).
#include <cstdio>
#include <cstring>
#include <vector>

#include "render/kxsoftwarerenderdevice.h"

namespace {

struct Vertex {  // format 0x112: position, normal, one texture coordinate set
    float x, y, z, nx, ny, nz, u, v;
};

constexpr int kSides = 12;
constexpr float kRadius = 1.2f;

// Cosine and sine of -30 degrees times i: written out rather than taken
// from the maths library, whose last bit may differ between systems, so
// that the frame is the same bytes everywhere. The angle falls, so that the
// roof's fan runs clockwise seen from above.
constexpr float kHalfRoot3 = 0.8660254f;
constexpr float kRim[kSides][2] = {{1, 0},           {kHalfRoot3, -0.5f}, {0.5f, -kHalfRoot3}, {0, -1},
                                   {-0.5f, -kHalfRoot3}, {-kHalfRoot3, -0.5f}, {-1, 0},      {-kHalfRoot3, 0.5f},
                                   {-0.5f, kHalfRoot3},  {0, 1},            {0.5f, kHalfRoot3}, {kHalfRoot3, 0.5f}};

// Roof centre and rim, wall top and bottom, floor corners, pane corners.
std::vector<Vertex> MakeVertices()
{
    std::vector<Vertex> vertices;
    vertices.push_back({0, 1, 0, 0, 1, 0, 0.5f, 0.5f});
    for (const auto& [c, s] : kRim)
        vertices.push_back({kRadius * c, 1, kRadius * s, 0, 1, 0, 0.5f + 0.5f * c, 0.5f + 0.5f * s});
    for (float y : {1.0f, -1.0f}) {
        for (int i = 0; i < kSides; ++i) {
            const float c = kRim[i][0], s = kRim[i][1];
            vertices.push_back({kRadius * c, y, kRadius * s, c, 0, s, 2.0f * float(i) / kSides, y > 0 ? 0.0f : 1.0f});
        }
    }
    for (float x : {-3.0f, 3.0f})
        for (float z : {-3.0f, 3.0f})
            vertices.push_back({x, -1, z, 0, 1, 0, (x + 3) / 2, (z + 3) / 2});
    const Vertex pane[4] = {{-2.0f, -0.9f, -2.4f, 0, 0, -1, 0, 1},
                            {-2.0f, 1.7f, -2.4f, 0, 0, -1, 0, 0},
                            {2.0f, 1.7f, -2.4f, 0, 0, -1, 1, 0},
                            {2.0f, -0.9f, -2.4f, 0, 0, -1, 1, 1}};
    vertices.insert(vertices.end(), pane, pane + 4);
    return vertices;
}

constexpr uint16_t kRoofCentre = 0, kRoofRim = 1, kWallTop = 1 + kSides, kWallBottom = 1 + 2 * kSides,
                   kFloor = 1 + 3 * kSides, kPane = kFloor + 4;

// The roof's fan (kSides triangles), the wall's strip (2 kSides), the
// floor's list (2), the pane's fan (2), one after another.
std::vector<uint16_t> MakeIndices()
{
    std::vector<uint16_t> indices = {kRoofCentre};
    for (int i = 0; i <= kSides; ++i)
        indices.push_back(uint16_t(kRoofRim + i % kSides));
    for (int i = 0; i <= kSides; ++i) {
        indices.push_back(uint16_t(kWallTop + i % kSides));
        indices.push_back(uint16_t(kWallBottom + i % kSides));
    }
    const uint16_t floor[6] = {kFloor, kFloor + 1, kFloor + 2, kFloor + 2, kFloor + 1, kFloor + 3};
    indices.insert(indices.end(), floor, floor + 6);
    for (int i = 0; i < 4; ++i)
        indices.push_back(uint16_t(kPane + i));
    return indices;
}

// A checker of warm and pale squares, 3 bytes a texel (blue, green, red).
KxTexture* MakeChecker(KxSoftwareRenderDevice& device)
{
    uint8_t texels[16 * 16 * 3];
    for (int i = 0; i < 16 * 16; ++i) {
        const bool bPale = (i % 16 / 4 + i / 16 / 4) % 2 == 0;
        const uint8_t bgr[3] = {uint8_t(bPale ? 220 : 40), uint8_t(bPale ? 230 : 110), uint8_t(bPale ? 235 : 210)};
        std::memcpy(texels + 3 * i, bgr, 3);
    }
    KxTexture* pTexture = nullptr;
    device.CreateTextureFromMemory(texels, 16, 16, 16 * 3, &pTexture);
    return pTexture;
}

// Glass, 4 bytes a texel (blue, green, red, alpha): a blue-green sheet at
// alpha 150, an opaque frame, and round holes at alpha 40.
KxTexture* MakeGlass(KxSoftwareRenderDevice& device)
{
    constexpr int kSize = 32;
    uint8_t texels[kSize * kSize * 4];
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            uint8_t* t = texels + 4 * (y * kSize + x);
            const bool bFrame = x < 2 || y < 2 || x >= kSize - 2 || y >= kSize - 2;
            const int dx = x % 16 - 8, dy = y % 16 - 8;
            const bool bHole = !bFrame && dx * dx + dy * dy < 16;
            const uint8_t bgra[4] = {uint8_t(bFrame ? 60 : 200), uint8_t(bFrame ? 60 : 170), uint8_t(bFrame ? 70 : 40),
                                     uint8_t(bFrame ? 255 : bHole ? 40 : 150)};
            std::memcpy(t, bgra, 4);
        }
    }
    KxTexture* pTexture = nullptr;
    device.CreateTextureFromMemory(texels, kSize, kSize, kSize * 4, KXFMT_A8R8G8B8, &pTexture);
    return pTexture;
}

}  // namespace

int main(int argc, char** argv)
{
    const char* path = argc > 1 ? argv[1] : "indexed_scene.bmp";
    KxSoftwareRenderDevice device;
    if (!device.CreateOffscreen(320, 240))
        return 1;
    KxTexture* pChecker = MakeChecker(device);
    KxTexture* pGlass = MakeGlass(device);

    const std::vector<Vertex> vertices = MakeVertices();
    const std::vector<uint16_t> indices = MakeIndices();
    KxVertexBuffer* pVertices = nullptr;
    KxIndexBuffer* pIndices = nullptr;
    void* data = nullptr;
    const uint32_t vertexBytes = uint32_t(vertices.size() * sizeof(Vertex));
    const uint32_t indexBytes = uint32_t(indices.size() * sizeof(uint16_t));
    if (!pChecker || !pGlass || !device.CreateVertexBuffer(vertexBytes, 0, 0x112, 1, &pVertices, nullptr) ||
        !device.CreateIndexBuffer(indexBytes, 0, KXFMT_INDEX16, 1, &pIndices, nullptr))
        return 1;
    pVertices->Lock(0, 0, &data, 0);
    std::memcpy(data, vertices.data(), vertexBytes);
    pVertices->Unlock();
    pIndices->Lock(0, 0, &data, 0);
    std::memcpy(data, indices.data(), indexBytes);
    pIndices->Unlock();

    KxMatrix4 view, projection, world;
    view.SetLookAtLeftHanded(KxVector3(1.5f, 2.8f, -6.5f), KxVector3(0, 0, 0), KxVector3(0, 1, 0));
    projection.SetPerspectiveLeftHanded(0.7853982f, 320.0f / 240.0f, 1.0f, 50.0f);
    world.SetIdentity();
    device.SetTransform(KXTS_VIEW, &view);
    device.SetTransform(KXTS_PROJECTION, &projection);
    device.SetTransform(KXTS_WORLD, &world);

    KxLight light;  // from the upper left, behind the camera, and a dim ambient
    light.Diffuse = KxColor(1.0f, 0.95f, 0.85f, 1.0f);
    light.Ambient = KxColor(0.25f, 0.25f, 0.3f, 1.0f);
    light.Direction = KxVector3(0.5f, -0.7f, 0.5f);
    device.SetLight(0, &light);

    device.Clear(0, nullptr, KXCLEAR_TARGET | KXCLEAR_ZBUFFER, 0x302418, 1.0f, 0);
    device.SetFVF(0x112);
    device.SetStreamSource(0, pVertices, 0, sizeof(Vertex));
    device.SetIndices(pIndices);
    const uint32_t nVertices = uint32_t(vertices.size());

    // The opaque tower and floor: the base vertex and range name every vertex.
    device.SetTexture(0, pChecker);
    const uint32_t roofStart = 0, wallStart = kSides + 2, floorStart = wallStart + 2 * (kSides + 1);
    device.DrawIndexedPrimitive(KXPT_TRIANGLEFAN, 0, 0, nVertices, roofStart, kSides);
    device.DrawIndexedPrimitive(KXPT_TRIANGLESTRIP, 0, 0, nVertices, wallStart, 2 * kSides);
    device.DrawIndexedPrimitive(KXPT_TRIANGLELIST, 0, 0, nVertices, floorStart, 2);

    // The pane last, blended by its texels' alpha over what is behind it;
    // texels below alpha 100 fail the alpha test and leave holes.
    device.SetTexture(0, pGlass);
    device.SetRenderState(KXRS_CULLMODE, KXCULL_NONE);
    device.SetRenderState(KXRS_ALPHABLENDENABLE, 1);
    device.SetRenderState(KXRS_SRCBLEND, KXBLEND_SRCALPHA);
    device.SetRenderState(KXRS_DESTBLEND, KXBLEND_INVSRCALPHA);
    device.SetRenderState(KXRS_ALPHATESTENABLE, 1);
    device.SetRenderState(KXRS_ALPHAREF, 100);
    device.SetRenderState(KXRS_ALPHAFUNC, KXCMP_GREATEREQUAL);
    device.DrawIndexedPrimitive(KXPT_TRIANGLEFAN, 0, 0, nVertices, floorStart + 6, 2);

    const bool bSaved = device.SaveBmp(path);
    pIndices->Release();
    pVertices->Release();
    pGlass->Release();
    pChecker->Release();
    std::printf(bSaved ? "wrote %s\n" : "cannot write %s\n", path);
    return bSaved ? 0 : 1;
}
