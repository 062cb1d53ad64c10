// A camera standing inside a lit, textured room: floor, ceiling and walls of
// triangles that reach behind the camera and beside it, so the device clips
// them at the near plane; daylight, a lamp and a spot light. The floor
// repeats a small tile texture, wrapped and filtered. One view is drawn
// off-screen and saved.
//   walkthrough [FILE.bmp] [VIEW]     (default walkthrough.bmp, view 0)
// Views: 0 the middle of the room, facing the window; 1 looking down at the
// floor in a corner; 2 looking up at the ceiling; 3 standing against a wall,
// looking along it.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "render/kxsoftwarerenderdevice.h"

namespace {

struct Vertex {  // format 0x112: position, normal, one texture coordinate set
    float x, y, z, nx, ny, nz, u, v;
};

// Textures made in memory, 3 bytes a texel in blue, green, red order.
struct Image {
    int32_t width, height;
    std::vector<uint8_t> bgr;
};

Image MakeImage(int32_t width, int32_t height, uint32_t (*texel)(int32_t x, int32_t y))
{
    Image image{width, height, {}};
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t rgb = texel(x, y);
            image.bgr.insert(image.bgr.end(), {uint8_t(rgb), uint8_t(rgb >> 8), uint8_t(rgb >> 16)});
        }
    }
    return image;
}

// Floor tiles: a 2 x 2 checker of two stones with dark joints, repeated.
uint32_t FloorTexel(int32_t x, int32_t y)
{
    if (x % 16 == 0 || y % 16 == 0)
        return 0x40382E;
    return (x / 16 + y / 16) % 2 ? 0xB89A70 : 0x8A7458;
}

// Bricks in rows of half-offset courses.
uint32_t WallTexel(int32_t x, int32_t y)
{
    const int32_t course = y / 8, shifted = x + (course % 2) * 8;
    if (y % 8 == 0 || shifted % 16 == 0)
        return 0xD8D0C0;
    return (course * 7 + shifted / 16) % 3 ? 0xA04830 : 0x8C3C28;
}

// Ceiling panels in a light grid.
uint32_t CeilingTexel(int32_t x, int32_t y)
{
    return x % 32 == 0 || y % 32 == 0 ? 0x909090 : 0xE8E8E0;
}

enum TextureId { kFloor, kWall, kCeiling, kTextureCount };

// How often each texture repeats across its surface: the floor's 2 x 2
// tiles 4 x 5 times, 8 x 10 tiles of 1 x 1.
const float kRepeats[kTextureCount][2] = {{4, 5}, {1, 1}, {1, 1}};

// The floor's texture wraps at its edges and is filtered bilinearly; the
// walls and the ceiling keep the default sampling (clamped, point).
void SetSampling(KxSoftwareRenderDevice& device, TextureId texture)
{
    const bool bTiled = texture == kFloor;
    const uint32_t address = bTiled ? KXTADDRESS_WRAP : KXTADDRESS_CLAMP;
    const uint32_t filter = bTiled ? KXTEXF_LINEAR : KXTEXF_POINT;
    device.SetSamplerState(0, KXSAMP_ADDRESSU, address);
    device.SetSamplerState(0, KXSAMP_ADDRESSV, address);
    device.SetSamplerState(0, KXSAMP_MAGFILTER, filter);
    device.SetSamplerState(0, KXSAMP_MINFILTER, filter);
}

// A rectangle of the room: the point at (s, t) is origin + s * across +
// t * down, for s and t from 0 to 1, with texture coordinates (s, t) times
// the texture's repeats.
// across x down points into the room, which makes the triangles face it.
struct Surface {
    KxVector3 origin, across, down;
    TextureId texture;
    // The parts drawn, as (s0, t0, s1, t1): the whole surface, or the
    // pieces around an opening.
    std::vector<float> parts = {0, 0, 1, 1};
};

// 8 wide (x), 3 high (y), 10 deep (z); a window in the far wall.
const Surface kRoom[] = {
    {{-4, 0, 5}, {8, 0, 0}, {0, 0, -10}, kFloor},
    {{-4, 3, -5}, {8, 0, 0}, {0, 0, 10}, kCeiling},
    {{-4, 3, -5}, {0, 0, 10}, {0, -3, 0}, kWall},  // left
    {{4, 3, 5}, {0, 0, -10}, {0, -3, 0}, kWall},   // right
    {{4, 3, -5}, {-8, 0, 0}, {0, -3, 0}, kWall},   // behind the start
    {{-4, 3, 5}, {8, 0, 0}, {0, -3, 0}, kWall,     // far, with the window
     {0, 0, 1, 0.2f, 0, 0.6f, 1, 1, 0, 0.2f, 0.3125f, 0.6f, 0.6875f, 0.2f, 1, 0.6f}},
};

struct View {
    KxVector3 eye, at;
};

const View kViews[] = {
    {{0, 1.6f, -3}, {0, 1.5f, 5}},
    {{3.3f, 1.6f, -4.3f}, {3.9f, 0, -4.9f}},
    {{0, 1.6f, 0}, {1, 3, 2}},
    {{-3.9f, 1.5f, 0}, {-3.9f, 1.4f, 5}},
};

KxVector3 At(const Surface& s, float across, float down)
{
    return s.origin + s.across * across + s.down * down;
}

// Two triangles per part, clockwise as seen from inside the room.
std::vector<Vertex> Triangles(const Surface& s)
{
    const KxVector3 n = s.across.Cross(s.down).Normalized();
    const float* repeat = kRepeats[s.texture];
    std::vector<Vertex> vertices;
    for (size_t i = 0; i + 4 <= s.parts.size(); i += 4) {
        const float s0 = s.parts[i], t0 = s.parts[i + 1], s1 = s.parts[i + 2], t1 = s.parts[i + 3];
        const float corners[6][2] = {{s0, t0}, {s1, t0}, {s1, t1}, {s0, t0}, {s1, t1}, {s0, t1}};
        for (const auto& c : corners) {
            const KxVector3 p = At(s, c[0], c[1]);
            vertices.push_back({p.x, p.y, p.z, n.x, n.y, n.z, c[0] * repeat[0], c[1] * repeat[1]});
        }
    }
    return vertices;
}

// Per-vertex lighting needs vertices where the light changes: each part
// split into n x n smaller ones.
Surface Tessellated(const Surface& s, int32_t n)
{
    Surface split = s;
    split.parts.clear();
    for (size_t i = 0; i + 4 <= s.parts.size(); i += 4) {
        const float s0 = s.parts[i], t0 = s.parts[i + 1], s1 = s.parts[i + 2], t1 = s.parts[i + 3];
        for (int32_t row = 0; row < n; ++row) {
            for (int32_t column = 0; column < n; ++column) {
                split.parts.insert(split.parts.end(), {s0 + (s1 - s0) * float(column) / float(n),
                                                       t0 + (t1 - t0) * float(row) / float(n),
                                                       s0 + (s1 - s0) * float(column + 1) / float(n),
                                                       t0 + (t1 - t0) * float(row + 1) / float(n)});
            }
        }
    }
    return split;
}

// A warm lamp near the left wall that fades with distance, and a cool spot
// from the ceiling onto the floor on the right.
void AddLamps(KxSoftwareRenderDevice& device)
{
    KxLight lamp;
    lamp.Type = KXLIGHT_POINT;
    lamp.Diffuse = KxColor(0.9f, 0.6f, 0.3f, 1.0f);
    lamp.Position = KxVector3(-2.6f, 2.0f, 2.0f);
    lamp.Range = 7.0f;
    lamp.Attenuation0 = 0.3f;
    lamp.Attenuation1 = 0.2f;
    lamp.Attenuation2 = 0.08f;
    device.SetLight(2, &lamp);
    device.LightEnable(2, 1);

    KxLight spot;
    spot.Type = KXLIGHT_SPOT;
    spot.Diffuse = KxColor(0.55f, 0.75f, 1.0f, 1.0f);
    spot.Position = KxVector3(1.2f, 2.95f, 0.5f);
    spot.Direction = KxVector3(0.2f, -1.0f, 0.3f);
    spot.Range = 8.0f;
    spot.Attenuation0 = 0.4f;
    spot.Attenuation1 = 0.1f;
    spot.Theta = 0.5f;
    spot.Phi = 1.1f;
    spot.Falloff = 1.0f;
    device.SetLight(3, &spot);
    device.LightEnable(3, 1);
}

}  // namespace

int main(int argc, char** argv)
{
    const char* path = argc > 1 ? argv[1] : "walkthrough.bmp";
    const int view = argc > 2 ? std::atoi(argv[2]) : 0;
    if (view < 0 || view >= int(std::size(kViews))) {
        std::fprintf(stderr, "walkthrough: VIEW is 0 to %d\n", int(std::size(kViews)) - 1);
        return 2;
    }
    KxSoftwareRenderDevice device;
    if (!device.CreateOffscreen(320, 240))
        return 1;

    const Image images[kTextureCount] = {MakeImage(32, 32, FloorTexel), MakeImage(64, 64, WallTexel),
                                         MakeImage(128, 128, CeilingTexel)};
    KxTexture* textures[kTextureCount] = {};
    for (int i = 0; i < kTextureCount; ++i)
        device.CreateTextureFromMemory(images[i].bgr.data(), images[i].width, images[i].height,
                                       3 * images[i].width, &textures[i]);

    // One buffer per surface, drawn with its own texture.
    std::vector<KxVertexBuffer*> buffers;
    for (const Surface& surface : kRoom) {
        const std::vector<Vertex> vertices = Triangles(Tessellated(surface, 16));
        const uint32_t bytes = uint32_t(vertices.size() * sizeof(Vertex));
        KxVertexBuffer* pBuffer = nullptr;
        void* data = nullptr;
        device.CreateVertexBuffer(bytes, 0, 0x112, 1, &pBuffer, nullptr);
        pBuffer->Lock(0, 0, &data, 0);
        std::memcpy(data, vertices.data(), bytes);
        pBuffer->Unlock();
        buffers.push_back(pBuffer);
    }

    // Evening light through the window from above, a dim cool one bounced
    // up from the floor, and some ambient; the lamps do the rest.
    KxLight sun, fill;
    sun.Diffuse = KxColor(0.4f, 0.36f, 0.3f, 1.0f);
    sun.Ambient = KxColor(0.16f, 0.16f, 0.18f, 1.0f);
    sun.Direction = KxVector3(0.3f, -0.8f, -0.52f);
    fill.Diffuse = KxColor(0.25f, 0.27f, 0.35f, 1.0f);
    fill.Direction = KxVector3(-0.5f, 0.5f, 0.71f);
    device.SetLight(0, &sun);
    device.SetLight(1, &fill);
    device.LightEnable(1, 1);
    AddLamps(device);

    KxMatrix4 viewMatrix, projection;
    viewMatrix.SetLookAtLeftHanded(kViews[view].eye, kViews[view].at, KxVector3(0, 1, 0));
    projection.SetPerspectiveLeftHanded(1.1f, 320.0f / 240.0f, 0.1f, 50.0f);
    device.SetTransform(KXTS_VIEW, &viewMatrix);
    device.SetTransform(KXTS_PROJECTION, &projection);

    device.Clear(0, nullptr, KXCLEAR_TARGET | KXCLEAR_ZBUFFER, 0xE0A060, 1.0f, 0);  // sky blue
    device.SetFVF(0x112);
    for (size_t i = 0; i < buffers.size(); ++i) {
        device.SetTexture(0, textures[kRoom[i].texture]);
        SetSampling(device, kRoom[i].texture);
        device.SetStreamSource(0, buffers[i], 0, sizeof(Vertex));
        device.DrawPrimitive(KXPT_TRIANGLELIST, 0, uint32_t(buffers[i]->length / sizeof(Vertex) / 3));
    }

    const bool bSaved = device.SaveBmp(path);
    for (KxVertexBuffer* pBuffer : buffers)
        pBuffer->Release();
    for (KxTexture* pTexture : textures)
        pTexture->Release();
    std::printf(bSaved ? "wrote %s\n" : "cannot write %s\n", path);
    return bSaved ? 0 : 1;
}
