#include "tools/kxexactscenes.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <iterator>

namespace {

constexpr uint32_t kLitFormat = KXFVF_XYZ | KXFVF_NORMAL | KXFVF_TEX1;
constexpr uint32_t kColoredFormat = KXFVF_XYZ | KXFVF_DIFFUSE;

// Frame sizes: the demo's, small and odd ones (rows padded to 4 bytes), a
// single row and a single column.
constexpr int32_t kSizes[][2] = {{640, 480}, {160, 120}, {97, 61}, {301, 17}, {1, 40}, {64, 1}, {255, 256}};
// Texture sides: powers of two and others, 1 included.
constexpr int32_t kTextureSides[] = {1, 2, 3, 8, 16, 31, 32, 64, 100};

template <typename T>
void Append(std::vector<uint8_t>& bytes, const T& value)
{
    const size_t at = bytes.size();
    bytes.resize(at + sizeof(T));
    std::memcpy(bytes.data() + at, &value, sizeof(T));
}

void AppendVector(std::vector<uint8_t>& bytes, const KxVector3& v)
{
    Append(bytes, v.x);
    Append(bytes, v.y);
    Append(bytes, v.z);
}

KxMatrix4 RandomWorld(KxExactRandom& random)
{
    KxMatrix4 rotation, scaling, translation;
    const KxVector3 angles = random.Vector(3.2f);
    rotation.SetRotationXYZ(angles.x, angles.y, angles.z);
    const float scale = random.Float(0.5f, 1.5f);
    scaling.SetScaling(scale, scale * random.Float(0.7f, 1.3f), scale);
    const KxVector3 offset = random.Vector(2.0f);
    translation.SetTranslation(offset.x, offset.y, offset.z);
    return scaling * rotation * translation;
}

// Triangles scattered around the object's origin, some large enough to
// leave the frame, with random normals (not of unit length) and texture
// coordinates a little beyond 0..1.
KxExactDraw RandomMesh(KxExactRandom& random)
{
    KxExactDraw draw;
    draw.world = RandomWorld(random);
    draw.fvf = kLitFormat;
    draw.nStride = uint32_t(KxFvf::ComputeVertexSize(kLitFormat));
    const int32_t nTriangles = random.Int(10, 80);
    for (int32_t t = 0; t < nTriangles; ++t) {
        const KxVector3 centre = random.Vector(2.5f);
        const float size = random.Chance(10) ? random.Float(3.0f, 12.0f) : random.Float(0.2f, 2.0f);
        for (int k = 0; k < 3; ++k) {
            AppendVector(draw.vertices, centre + random.Vector(size));
            AppendVector(draw.vertices, random.Vector(1.5f));
            Append(draw.vertices, random.Float(-0.25f, 1.25f));
            Append(draw.vertices, random.Float(-0.25f, 1.25f));
        }
    }
    return draw;
}

KxLight RandomLight(KxExactRandom& random)
{
    KxLight light;
    light.Type = 3;  // directional
    light.Diffuse = random.LightColor(1.0f);
    light.Ambient = random.LightColor(0.4f);
    light.Direction = random.Vector(1.0f);
    if (light.Direction.x == 0.0f && light.Direction.y == 0.0f && light.Direction.z == 0.0f)
        light.Direction.y = -1.0f;
    return light;
}

// Every kind starts here: a frame of one of the sizes, cleared to a random
// colour; a camera looking at the origin; one white-ish directional light;
// a random material; one lit, textured mesh without a texture bound.
KxExactScene BaseScene(KxExactRandom& random)
{
    KxExactScene scene;
    const auto& size = kSizes[random.Int(0, int32_t(std::size(kSizes)) - 1)];
    scene.nWidth = size[0];
    scene.nHeight = size[1];
    scene.clearColor = random.Color();
    const KxVector3 eye = random.Vector(-6.0f, 6.0f, -4.0f, 4.0f, -14.0f, -6.0f);
    const KxVector3 at = random.Vector(1.0f);
    scene.view.SetLookAtLeftHanded(eye, at, KxVector3(0.0f, 1.0f, 0.0f));
    const float fovY = random.Float(0.5f, 1.4f);
    const float zNear = random.Float(0.5f, 2.0f);
    const float zFar = random.Float(20.0f, 100.0f);
    scene.projection.SetPerspectiveLeftHanded(fovY, float(scene.nWidth) / float(scene.nHeight), zNear, zFar);
    scene.material.Diffuse = random.LightColor(1.0f);
    scene.material.Ambient = random.LightColor(1.0f);
    scene.material.Specular = random.LightColor(1.0f);
    scene.material.Power = random.Float(1.0f, 40.0f);
    scene.lights.push_back(RandomLight(random));
    scene.draws.push_back(RandomMesh(random));
    return scene;
}

void Specular(KxExactRandom& random, KxExactScene& scene)
{
    scene.renderStates.push_back({KXRS_SPECULARENABLE, 1});
    for (KxLight& light : scene.lights)
        light.Specular = random.LightColor(1.0f);
}

void SeveralLights(KxExactRandom& random, KxExactScene& scene)
{
    for (int32_t n = random.Int(1, 3); n > 0; --n)
        scene.lights.push_back(RandomLight(random));
}

void Ambient(KxExactRandom& random, KxExactScene& scene)
{
    scene.renderStates.push_back({KXRS_AMBIENT, random.Color()});
    scene.material.Emissive = random.LightColor(0.3f);
}

void Textured(KxExactRandom& random, KxExactScene& scene)
{
    const int32_t nSides = int32_t(std::size(kTextureSides));
    scene.textureWidth = kTextureSides[random.Int(0, nSides - 1)];
    scene.textureHeight = kTextureSides[random.Int(0, nSides - 1)];
    scene.textureStage = uint32_t(random.Int(0, KxSoftwareRenderDevice::kTextureStageCount - 1));
    scene.texels.resize(size_t(scene.textureWidth) * size_t(scene.textureHeight) * 3);
    for (uint8_t& texel : scene.texels)
        texel = uint8_t(random.Next());
}

void NoDepth(KxExactRandom&, KxExactScene& scene)
{
    scene.renderStates.push_back({KXRS_ZENABLE, 0});
}

void Depth32(KxExactRandom& random, KxExactScene& scene)
{
    scene.bDepth32 = true;
    scene.clearZ = random.Float(0.5f, 1.0f);
}

void SeveralObjects(KxExactRandom& random, KxExactScene& scene)
{
    for (int32_t n = random.Int(1, 3); n > 0; --n)
        scene.draws.push_back(RandomMesh(random));
}

void NormalizeNormals(KxExactRandom&, KxExactScene& scene)
{
    scene.renderStates.push_back({KXRS_NORMALIZENORMALS, 1});
}

void SubViewport(KxExactRandom& random, KxExactScene& scene)
{
    scene.bViewport = true;
    scene.viewport.X = uint32_t(random.Int(0, scene.nWidth / 2));
    scene.viewport.Y = uint32_t(random.Int(0, scene.nHeight / 2));
    scene.viewport.Width = uint32_t(random.Int(1, scene.nWidth - int32_t(scene.viewport.X)));
    scene.viewport.Height = uint32_t(random.Int(1, scene.nHeight - int32_t(scene.viewport.Y)));
    scene.viewport.MinZ = random.Float(0.0f, 0.5f);
    scene.viewport.MaxZ = random.Float(0.5f, 1.0f);
}

void ClippingOff(KxExactRandom&, KxExactScene& scene)
{
    scene.renderStates.push_back({KXRS_CLIPPING, 0});
}

// One to three point and spot lights among the objects, most aimed near
// the origin; ranges, attenuations and cones reach part of the meshes, and
// Phi falls below Theta now and then.
void LocalLights(KxExactRandom& random, KxExactScene& scene)
{
    for (int32_t n = random.Int(1, 3); n > 0; --n) {
        KxLight light = RandomLight(random);
        light.Type = random.Chance(50) ? KXLIGHT_POINT : KXLIGHT_SPOT;
        light.Position = random.Vector(5.0f);
        const KxVector3 aim = random.Vector(1.5f);
        light.Direction = aim - light.Position;
        light.Range = random.Float(2.0f, 10.0f);
        light.Attenuation0 = random.Float(0.0f, 1.0f);
        light.Attenuation1 = random.Float(0.0f, 0.4f);
        light.Attenuation2 = random.Float(0.0f, 0.1f);
        light.Theta = random.Float(0.1f, 1.5f);
        light.Phi = random.Float(0.2f, 2.5f);
        light.Falloff = float(random.Int(0, 2));
        scene.lights.push_back(light);
    }
}

// Vertex colours at screen positions, some beyond the frame, drawn by the
// Gouraud filler as they stand; the camera only decides what is culled.
void ScreenColors(KxExactRandom& random, KxExactScene& scene)
{
    const float w = float(scene.nWidth);
    const float h = float(scene.nHeight);
    scene.view.SetLookAtLeftHanded(KxVector3(0.0f, 0.0f, -5.0f), KxVector3(0.0f, 0.0f, 0.0f),
                                   KxVector3(0.0f, 1.0f, 0.0f));
    scene.projection.SetOrthographicLeftHanded(3.0f * w, 3.0f * h, 1.0f, 10.0f);
    KxExactDraw draw;
    draw.fvf = kColoredFormat;
    draw.nStride = uint32_t(KxFvf::ComputeVertexSize(kColoredFormat));
    for (int32_t n = 3 * random.Int(10, 60); n > 0; --n) {
        AppendVector(draw.vertices, random.Vector(-0.2f * w, 1.2f * w, -0.2f * h, 1.2f * h, 0.0f, 0.0f));
        Append(draw.vertices, random.Color());
    }
    scene.draws.assign(1, draw);
}

// Every draw indexed as a list, strip or fan of its vertices: indices of any
// vertex under a base either side of 0, a few naming one past the last (their
// triangles are left out), 16 or 32 bits.
void Indexed(KxExactRandom& random, KxExactScene& scene, uint32_t type)
{
    for (KxExactDraw& draw : scene.draws) {
        const int32_t nVertices = int32_t(draw.vertices.size() / draw.nStride);
        draw.primitiveType = type;
        draw.bIndex32 = random.Chance(50);
        draw.baseVertexIndex = random.Int(-2, 2);
        draw.primitiveCount = uint32_t(random.Int(1, type == KXPT_TRIANGLELIST ? nVertices : 2 * nVertices));
        for (uint64_t n = KxIndicesRead(type, draw.primitiveCount); n > 0; --n) {
            const int32_t vertex = random.Int(0, nVertices);
            draw.indices.push_back(uint32_t(std::max(vertex - draw.baseVertexIndex, 0)));
        }
    }
}

void IndexedLists(KxExactRandom& random, KxExactScene& scene)
{
    Indexed(random, scene, KXPT_TRIANGLELIST);
}

void IndexedStrips(KxExactRandom& random, KxExactScene& scene)
{
    Indexed(random, scene, KXPT_TRIANGLESTRIP);
}

void IndexedFans(KxExactRandom& random, KxExactScene& scene)
{
    Indexed(random, scene, KXPT_TRIANGLEFAN);
}

// Both windings drawn, blended by the material's alpha over what is behind.
void Blended(KxExactRandom& random, KxExactScene& scene)
{
    scene.renderStates.push_back({KXRS_CULLMODE, KXCULL_NONE});
    scene.renderStates.push_back({KXRS_ALPHABLENDENABLE, 1});
    scene.renderStates.push_back({KXRS_SRCBLEND, KXBLEND_SRCALPHA});
    scene.renderStates.push_back({KXRS_DESTBLEND, KXBLEND_INVSRCALPHA});
    scene.material.Diffuse.a = random.Float(0.0f, 1.0f);
}

// Random address modes and filters on the texture's stage.
void SamplerStates(KxExactRandom& random, KxExactScene& scene)
{
    const uint32_t addressU = uint32_t(random.Int(KXTADDRESS_WRAP, KXTADDRESS_CLAMP));
    const uint32_t addressV = uint32_t(random.Int(KXTADDRESS_WRAP, KXTADDRESS_CLAMP));
    const uint32_t magFilter = uint32_t(random.Int(KXTEXF_POINT, KXTEXF_LINEAR));
    const uint32_t minFilter = uint32_t(random.Int(KXTEXF_POINT, KXTEXF_LINEAR));
    scene.samplerStates = {{KXSAMP_ADDRESSU, addressU},
                           {KXSAMP_ADDRESSV, addressV},
                           {KXSAMP_MAGFILTER, magFilter},
                           {KXSAMP_MINFILTER, minFilter}};
}

// Texture coordinates of the lit meshes scaled and moved: the texture
// repeats up to 8 times across a triangle, and now and then the whole mesh
// sits far out, where neighbouring pixels step over several texels.
void TiledCoordinates(KxExactRandom& random, KxExactScene& scene)
{
    const float scale = random.Float(-8.0f, 8.0f);
    const float farOut = random.Chance(25) ? 1e6f : 0.0f;
    const float offsetU = random.Float(-4.0f, 4.0f) + farOut;
    const float offsetV = random.Float(-4.0f, 4.0f) - farOut;
    for (KxExactDraw& draw : scene.draws) {
        if (draw.fvf != kLitFormat)
            continue;
        for (size_t at = 24; at + 8 <= draw.vertices.size(); at += draw.nStride) {
            float uv[2];
            std::memcpy(uv, draw.vertices.data() + at, sizeof(uv));
            uv[0] = uv[0] * scale + offsetU;
            uv[1] = uv[1] * scale + offsetV;
            std::memcpy(draw.vertices.data() + at, uv, sizeof(uv));
        }
    }
}

// The texture gets random alphas, blended over the frame.
void AlphaTexels(KxExactRandom& random, KxExactScene& scene)
{
    std::vector<uint8_t> texels;
    for (size_t i = 0; i < scene.texels.size(); i += 3) {
        texels.insert(texels.end(), scene.texels.begin() + ptrdiff_t(i), scene.texels.begin() + ptrdiff_t(i + 3));
        texels.push_back(uint8_t(random.Next()));
    }
    scene.texels = std::move(texels);
    scene.textureFormat = KXFMT_A8R8G8B8;
    scene.renderStates.push_back({KXRS_ALPHABLENDENABLE, 1});
    scene.renderStates.push_back({KXRS_SRCBLEND, KXBLEND_SRCALPHA});
    scene.renderStates.push_back({KXRS_DESTBLEND, KXBLEND_INVSRCALPHA});
}

}  // namespace

uint64_t KxExactRandom::Next()
{
    // SplitMix64.
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

int32_t KxExactRandom::Int(int32_t lo, int32_t hi)
{
    return lo + int32_t(Next() % uint64_t(int64_t(hi) - lo + 1));
}

float KxExactRandom::Float(float lo, float hi)
{
    const float unit = float(Next() >> 40) * 0x1p-24f;  // exact: 24 bits scaled by a power of two
    const float span = hi - lo;
    const float offset = span * unit;
    return lo + offset;
}

KxVector3 KxExactRandom::Vector(float xLo, float xHi, float yLo, float yHi, float zLo, float zHi)
{
    KxVector3 v;
    v.x = Float(xLo, xHi);
    v.y = Float(yLo, yHi);
    v.z = Float(zLo, zHi);
    return v;
}

KxColor KxExactRandom::LightColor(float hi)
{
    KxColor c;
    c.r = Float(0.0f, hi);
    c.g = Float(0.0f, hi);
    c.b = Float(0.0f, hi);
    c.a = 1.0f;
    return c;
}

const std::vector<KxExactKind>& KxExactKinds()
{
    static const std::vector<KxExactKind> kinds = {
        {"lit", 10, {}},
        {"lit-specular", 10, {Specular, SeveralLights}},
        {"textured", 10, {Textured}},
        {"lit-specular-textured", 16, {Specular, SeveralLights, Ambient, Textured, SeveralObjects}},
        {"gouraud-no-depth", 10, {NoDepth, Specular, SeveralObjects}},
        {"depth32", 10, {Depth32, Textured, Specular, SeveralObjects}},
        {"viewport-normalized", 10, {SubViewport, NormalizeNormals, Textured, Ambient}},
        {"no-clipping", 6, {ClippingOff, Textured}},
        {"screen-colors", 8, {ScreenColors}},
        {"point-spot", 10, {LocalLights, Textured}},
        {"point-spot-specular", 10, {LocalLights, SeveralLights, Specular, Ambient, Textured}},
        {"point-spot-gouraud", 8, {LocalLights, NoDepth, Specular, SeveralObjects}},
        {"indexed-lists", 8, {Textured, SeveralObjects, IndexedLists}},
        {"indexed-strips", 8, {Textured, Blended, SeveralObjects, IndexedStrips}},
        {"indexed-fans", 8, {Specular, SeveralObjects, IndexedFans}},
        {"indexed-screen-colors", 6, {ScreenColors, Blended, IndexedStrips}},
        {"sampler-states", 10, {Textured, SamplerStates}},
        {"sampler-states-tiled", 12, {Textured, SamplerStates, TiledCoordinates, SeveralObjects}},
        {"sampler-states-alpha", 8, {Textured, AlphaTexels, SamplerStates, TiledCoordinates}},
    };
    return kinds;
}

KxExactScene KxMakeExactScene(const KxExactKind& kind, int32_t seed)
{
    // The kind's name takes part in the seed, so kinds do not share scenes.
    uint64_t mixed = uint64_t(seed);
    for (const char* c = kind.name; *c; ++c)
        mixed = mixed * 131 + uint8_t(*c);
    KxExactRandom random(mixed);
    KxExactScene scene = BaseScene(random);
    for (KxExactFeature feature : kind.features)
        feature(random, scene);
    return scene;
}

KxExactFrame::~KxExactFrame()
{
    for (KxVertexBuffer* pBuffer : buffers)
        pBuffer->Release();
    for (KxIndexBuffer* pBuffer : indexBuffers)
        pBuffer->Release();
    if (pTexture)
        pTexture->Release();
}

bool KxExactFrame::Render(const KxExactScene& scene, uint32_t nThreads)
{
    if (!device.CreateOffscreen(scene.nWidth, scene.nHeight) || !device.SetThreadCount(nThreads))
        return false;
    if (nThreads > 1)
        device.SetThreadThreshold(0);
    if (scene.bDepth32)
        device.CreateDepthBuffer(1);
    device.SetTransform(KXTS_VIEW, &scene.view);
    device.SetTransform(KXTS_PROJECTION, &scene.projection);
    if (scene.bViewport)
        device.SetViewport(&scene.viewport);
    device.SetMaterial(&scene.material);
    for (size_t i = 0; i < scene.lights.size(); ++i) {
        device.SetLight(int32_t(i), &scene.lights[i]);
        device.LightEnable(int32_t(i), 1);
    }
    for (const auto& [state, value] : scene.renderStates)
        device.SetRenderState(state, value);
    if (scene.textureWidth > 0) {
        const int32_t nTexelBytes = scene.textureFormat == KXFMT_R8G8B8 ? 3 : 4;
        device.CreateTextureFromMemory(scene.texels.data(), scene.textureWidth, scene.textureHeight,
                                       nTexelBytes * scene.textureWidth, scene.textureFormat, &pTexture);
        device.SetTexture(scene.textureStage, pTexture);
        for (const auto& [type, value] : scene.samplerStates)
            device.SetSamplerState(scene.textureStage, type, value);
    }

    device.Clear(0, nullptr, KXCLEAR_TARGET | KXCLEAR_ZBUFFER, scene.clearColor, scene.clearZ, 0);
    for (const KxExactDraw& draw : scene.draws) {
        KxVertexBuffer* pBuffer = nullptr;
        const uint32_t length = uint32_t(draw.vertices.size());
        if (!device.CreateVertexBuffer(length, 0, draw.fvf, 1, &pBuffer, nullptr))
            continue;
        buffers.push_back(pBuffer);
        void* data = nullptr;
        if (pBuffer->Lock(0, 0, &data, 0)) {
            std::memcpy(data, draw.vertices.data(), length);
            pBuffer->Unlock();
        }
        device.SetTransform(KXTS_WORLD, &draw.world);
        device.SetFVF(draw.fvf);
        device.SetStreamSource(0, pBuffer, 0, draw.nStride);
        if (draw.indices.empty()) {
            device.DrawPrimitive(KXPT_TRIANGLELIST, 0, length / draw.nStride / 3);
            continue;
        }
        BindIndices(draw);
        device.DrawIndexedPrimitive(draw.primitiveType, draw.baseVertexIndex, 0, length / draw.nStride, 0,
                                    draw.primitiveCount);
    }
    return true;
}

void KxExactFrame::BindIndices(const KxExactDraw& draw)
{
    const uint32_t size = draw.bIndex32 ? 4 : 2;
    KxIndexBuffer* pBuffer = nullptr;
    if (!device.CreateIndexBuffer(uint32_t(draw.indices.size()) * size, 0, draw.bIndex32 ? KXFMT_INDEX32 : KXFMT_INDEX16,
                                  1, &pBuffer, nullptr))
        return;
    indexBuffers.push_back(pBuffer);
    void* data = nullptr;
    if (pBuffer->Lock(0, 0, &data, 0)) {
        // Little-endian whatever the processor.
        for (size_t i = 0; i < draw.indices.size(); ++i)
            for (uint32_t byte = 0; byte < size; ++byte)
                static_cast<uint8_t*>(data)[i * size + byte] = uint8_t(draw.indices[i] >> (8 * byte));
        pBuffer->Unlock();
    }
    device.SetIndices(pBuffer);
}
