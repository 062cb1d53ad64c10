// The random scenes of kxexactness. A scene is a description (frame, camera,
// lights, material, render states, texture, draws) that one routine renders
// on a fresh off-screen device. Each kind of scene is a row of a table: a
// name, how many seeds, and the features that shape its random base scene.
// The random values are integers from SplitMix64, turned into floats by
// exact steps, so a seed gives the same scene on every machine. Draw one
// value per statement: the order in which a call's arguments are evaluated
// differs between compilers and processors.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "render/kxsoftwarerenderdevice.h"

class KxExactRandom {
public:
    explicit KxExactRandom(uint64_t seed) : state(seed) {}

    uint64_t Next();
    // lo..hi, both included.
    int32_t Int(int32_t lo, int32_t hi);
    // lo + (hi - lo) * k / 2^24 for a random k in 0..2^24-1, in float.
    float Float(float lo, float hi);
    bool Chance(int32_t percent) { return Int(0, 99) < percent; }
    uint32_t Color() { return uint32_t(Next() & 0xFFFFFF); }
    // Each component in -extent..extent, x drawn first.
    KxVector3 Vector(float extent) { return Vector(-extent, extent, -extent, extent, -extent, extent); }
    KxVector3 Vector(float xLo, float xHi, float yLo, float yHi, float zLo, float zHi);
    // Red, green and blue in 0..hi, in that order; alpha 1.
    KxColor LightColor(float hi);

private:
    uint64_t state;
};

// One DrawPrimitive: the world it is drawn with and its vertices, in the
// format's layout. With indices, one DrawIndexedPrimitive of them instead.
struct KxExactDraw {
    KxMatrix4 world = KxMatrix4::Identity();
    uint32_t fvf = 0;
    uint32_t nStride = 0;
    std::vector<uint8_t> vertices;
    std::vector<uint32_t> indices;
    bool bIndex32 = false;
    uint32_t primitiveType = KXPT_TRIANGLELIST;
    int32_t baseVertexIndex = 0;
    uint32_t primitiveCount = 0;
};

struct KxExactScene {
    int32_t nWidth = 0;
    int32_t nHeight = 0;
    bool bDepth32 = false;
    uint32_t clearColor = 0;
    float clearZ = 1.0f;
    KxMatrix4 view = KxMatrix4::Identity();
    KxMatrix4 projection = KxMatrix4::Identity();
    bool bViewport = false;  // set viewport below instead of the whole frame
    KxViewport viewport;
    KxMaterial material;
    std::vector<KxLight> lights;  // at indices 0.., all enabled
    // Set in this order after the device's defaults.
    std::vector<std::pair<uint32_t, uint32_t>> renderStates;
    // A texture of textureWidth x textureHeight texels (blue, green, red,
    // top row first) bound to textureStage; none when textureWidth is 0.
    int32_t textureWidth = 0;
    int32_t textureHeight = 0;
    uint32_t textureStage = 0;
    std::vector<uint8_t> texels;
    std::vector<KxExactDraw> draws;
};

// A feature changes the random base scene; features run in their row's order.
typedef void (*KxExactFeature)(KxExactRandom& random, KxExactScene& scene);

struct KxExactKind {
    const char* name;
    int32_t nSeeds;
    std::vector<KxExactFeature> features;
};

const std::vector<KxExactKind>& KxExactKinds();

// The scene of a kind for one seed: the base scene, then the kind's features.
KxExactScene KxMakeExactScene(const KxExactKind& kind, int32_t seed);

// A scene rendered on an off-screen device of its own, which keeps the
// vertex buffers and the texture it drew with until it goes.
class KxExactFrame {
public:
    KxExactFrame() = default;
    ~KxExactFrame();
    KxExactFrame(const KxExactFrame&) = delete;
    KxExactFrame& operator=(const KxExactFrame&) = delete;

    // False when the device cannot be created. On nThreads threads every
    // draw is split across them, however small.
    bool Render(const KxExactScene& scene, uint32_t nThreads = 1);
    // The draw's indices in an index buffer of their size, bound.
    void BindIndices(const KxExactDraw& draw);
    const KxSoftwareRenderDevice& Device() const { return device; }

private:
    KxSoftwareRenderDevice device;
    std::vector<KxVertexBuffer*> buffers;
    std::vector<KxIndexBuffer*> indexBuffers;
    KxTexture* pTexture = nullptr;
};
