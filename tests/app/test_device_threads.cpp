// Independent devices: scenes drawn on devices of their own, in turn on one
// thread and at once on four, give every frame's bytes as each scene gives
// them alone on one thread; at once, some devices draw on workers of their
// own. The ThreadSanitizer build (make test-tsan) runs these too.
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <memory>
#include <thread>
#include <vector>

#include "app/kxscene.h"
#include "tests/render/kxtestdevice.h"

namespace {

typedef std::vector<uint8_t> KxFrameBytes;

// Every colour byte, padding included, then every depth entry.
KxFrameBytes FrameBytes(const KxSoftwareRenderDevice& d)
{
    const uint8_t* pixels = d.GetPixels();
    KxFrameBytes bytes(pixels, pixels + size_t(d.GetRowStride()) * size_t(d.GetHeight()));
    for (int32_t y = 0; y < d.GetHeight(); ++y)
        for (int32_t x = 0; x < d.GetWidth(); ++x) {
            const uint32_t depth = d.GetDepth(x, y);
            for (int k = 0; k < 4; ++k)
                bytes.push_back(uint8_t(depth >> (8 * k)));
        }
    return bytes;
}

// A scene on a device of its own, drawn a frame at a time; the seed makes
// each one differ, so that state shared between devices shows.
class KxThreadScene {
public:
    virtual ~KxThreadScene() = default;
    virtual void DrawFrame() = 0;
    virtual KxFrameBytes Bytes() const = 0;
};

// The demo, from its own angle and with its own keys held, drawn by
// nThreads threads.
class KxDemoScene : public KxThreadScene {
public:
    KxDemoScene(uint32_t seed, uint32_t nThreads)
    {
        EXPECT_TRUE(scene.SetupOffscreen() && scene.GetTexture());
        EXPECT_TRUE(scene.GetDevice()->SetThreadCount(nThreads));
        scene.GetDevice()->SetThreadThreshold(0);
        scene.SetAngle(1.0f + 37.0f * float(seed));
        const char* keys[] = {"", "W", "AZ", "DSX", "WD"};
        scene.HoldKeys(keys[seed % std::size(keys)]);
    }
    void DrawFrame() override { scene.Frame(); }
    KxFrameBytes Bytes() const override { return FrameBytes(*scene.GetDevice()); }

private:
    KxScene scene;
};

// Random triangles of format 0x112 in front of the demo's camera, lit by
// up to three lights, specular or not, and textured; each frame turns them
// and clears to a colour of its own. The first of a frame's two draws
// takes the diffuse colour from elsewhere than the material, so lighting
// uses the colour this device's previous frame left in its holder.
class KxLitTexturedScene : public KxThreadScene {
public:
    KxLitTexturedScene(uint32_t seed, uint32_t nThreads) : test(96, 72, nThreads), r{std::mt19937(seed)}
    {
        KxSoftwareRenderDevice& d = test.device;
        std::vector<uint32_t> texels(16 * 8);
        for (uint32_t& texel : texels)
            texel = uint32_t(r.rng()) & 0xFFFFFF;
        texture = KxMakeTexture(16, 8, texels);
        d.SetTexture(0, texture.get());

        constexpr int kTriangles = 40;
        d.CreateVertexBuffer(kTriangles * 3 * 32, 0, 0x112, 1, &pBuffer, nullptr);
        float* v = reinterpret_cast<float*>(pBuffer->data);
        for (int i = 0; i < kTriangles * 3; ++i, v += 8) {
            const float normal[3] = {r.Uniform(-1, 1), r.Uniform(-1, 1), r.Uniform(-1, 1)};
            const float values[8] = {r.Uniform(-6, 6), r.Uniform(-6, 6), r.Uniform(-6, 6), normal[0],
                                     normal[1],        normal[2],        r.Uniform(0, 1),  r.Uniform(0, 1)};
            std::memcpy(v, values, sizeof(values));
        }
        d.SetStreamSource(0, pBuffer, 0, 32);

        KxMatrix4 view, projection;
        view.SetLookAtLeftHanded(KxVector3(0, 0, -12), KxVector3(1, 2, 3), KxVector3(0, 1, 0));
        projection.SetPerspectiveLeftHanded(0.7853982f, 1.3333334f, 10.0f, 110.0f);
        d.SetTransform(KXTS_VIEW, &view);
        d.SetTransform(KXTS_PROJECTION, &projection);
        d.SetRenderState(KXRS_SPECULARENABLE, r.Chance(50));
        d.SetRenderState(KXRS_AMBIENT, uint32_t(r.rng()) & 0xFFFFFF);
        for (int i = r.Int(1, 3); i > 0; --i) {
            KxLight light;
            light.Diffuse = Color();
            light.Specular = Color();
            light.Ambient = Color();
            light.Direction = KxVector3(r.Uniform(-1, 1), r.Uniform(-1, 1), r.Uniform(-1, 1));
            d.SetLight(i, &light);
            d.LightEnable(i, TRUE);
        }
    }
    ~KxLitTexturedScene() override { pBuffer->Release(); }

    void DrawFrame() override
    {
        KxSoftwareRenderDevice& d = test.device;
        // Never grey, so that Clear copies the device's pattern rows.
        const uint32_t color = (uint32_t(r.rng()) & 0xFFFF00) | 0x80 | (frame & 0x3F);
        d.Clear(0, nullptr, KXCLEAR_TARGET | KXCLEAR_ZBUFFER, color, 1.0f, 0);
        d.SetFVF(0x112);
        d.SetStreamSource(0, pBuffer, 0, 32);
        for (int draw = 0; draw < 2; ++draw) {
            KxMaterial material;
            material.Diffuse = Color();
            material.Ambient = Color();
            material.Specular = Color();
            material.Power = r.Uniform(1, 20);
            d.SetMaterial(&material);
            d.SetRenderState(KXRS_DIFFUSEMATERIALSOURCE, draw == 0 ? 1 : 0);
            KxMatrix4 world = KxMatrix4().SetRotationXYZ(0.3f * float(frame), 0.1f * float(draw), 0.2f);
            world *= KxMatrix4().SetTranslation(0, 0, 24.0f + 3.0f * float(draw));
            d.SetTransform(KXTS_WORLD, &world);
            d.DrawPrimitive(KXPT_TRIANGLELIST, 0, 0);
        }
        ++frame;
    }
    KxFrameBytes Bytes() const override { return FrameBytes(test.device); }

private:
    KxColor Color() { return KxColor(r.Uniform(0, 1), r.Uniform(0, 1), r.Uniform(0, 1), 1.0f); }

    KxTestDevice test;
    KxTestRandom r;
    KxTexturePtr texture;
    KxVertexBuffer* pBuffer = nullptr;
    uint32_t frame = 0;
};

// A grid drawn from an index buffer, as a strip per row and a fan over it,
// blended over an opaque list of the same vertices; both windings drawn.
class KxIndexedBlendedScene : public KxThreadScene {
public:
    KxIndexedBlendedScene(uint32_t seed, uint32_t nThreads) : test(80, 60, nThreads), r{std::mt19937(seed + 22)}
    {
        KxSoftwareRenderDevice& d = test.device;
        d.CreateVertexBuffer(kSide * kSide * 32, 0, 0x112, 1, &pVertices, nullptr);
        float* v = reinterpret_cast<float*>(pVertices->data);
        for (int i = 0; i < kSide * kSide; ++i, v += 8) {
            const float values[8] = {float(i % kSide) - 2.5f, float(i / kSide) - 2.5f, r.Uniform(-0.5f, 0.5f),
                                     r.Uniform(-1, 1),        r.Uniform(-1, 1),        -1.0f,
                                     r.Uniform(0, 1),         r.Uniform(0, 1)};
            std::memcpy(v, values, sizeof(values));
        }
        std::vector<uint16_t> indices;
        for (int row = 0; row + 1 < kSide; ++row)
            for (int column = 0; column < kSide; ++column)
                indices.insert(indices.end(), {uint16_t(row * kSide + column), uint16_t((row + 1) * kSide + column)});
        for (int i = 0; i < kSide * kSide; ++i)
            indices.push_back(uint16_t((i * 7) % (kSide * kSide)));
        d.CreateIndexBuffer(uint32_t(indices.size() * 2), 0, KXFMT_INDEX16, 1, &pIndices, nullptr);
        std::memcpy(pIndices->data, indices.data(), indices.size() * 2);
        std::vector<uint32_t> texels(8 * 8);
        for (uint32_t& texel : texels)
            texel = uint32_t(r.rng()) & 0xFFFFFF;
        texture = KxMakeTexture(8, 8, texels);
        d.SetTexture(0, texture.get());
        KxMatrix4 view, projection;
        view.SetLookAtLeftHanded(KxVector3(0, 0, -9), KxVector3(0, 0, 0), KxVector3(0, 1, 0));
        projection.SetPerspectiveLeftHanded(0.9f, 4.0f / 3.0f, 1.0f, 40.0f);
        d.SetTransform(KXTS_VIEW, &view);
        d.SetTransform(KXTS_PROJECTION, &projection);
        d.SetRenderState(KXRS_CULLMODE, KXCULL_NONE);
        d.SetRenderState(KXRS_SRCBLEND, KXBLEND_SRCALPHA);
        d.SetRenderState(KXRS_DESTBLEND, KXBLEND_INVSRCALPHA);
    }
    ~KxIndexedBlendedScene() override
    {
        pVertices->Release();
        pIndices->Release();
    }

    void DrawFrame() override
    {
        KxSoftwareRenderDevice& d = test.device;
        d.Clear(0, nullptr, KXCLEAR_TARGET | KXCLEAR_ZBUFFER, uint32_t(r.rng()) & 0xFFFFFF, 1.0f, 0);
        d.SetFVF(0x112);
        d.SetStreamSource(0, pVertices, 0, 32);
        d.SetIndices(pIndices);
        KxMaterial material;
        material.Diffuse = KxColor(r.Uniform(0, 1), r.Uniform(0, 1), r.Uniform(0, 1), r.Uniform(0, 1));
        d.SetMaterial(&material);
        for (int draw = 0; draw < 2; ++draw) {
            d.SetRenderState(KXRS_ALPHABLENDENABLE, draw);
            KxMatrix4 world = KxMatrix4().SetRotationXYZ(0.2f * float(frame), 0.3f * float(draw), 0.1f);
            d.SetTransform(KXTS_WORLD, &world);
            for (int row = 0; row + 1 < kSide; ++row)
                d.DrawIndexedPrimitive(KXPT_TRIANGLESTRIP, 0, 0, kSide * kSide, uint32_t(2 * kSide * row),
                                       2 * kSide - 2);
            d.DrawIndexedPrimitive(KXPT_TRIANGLEFAN, 0, 0, kSide * kSide, 2 * kSide * (kSide - 1), kSide * kSide - 2);
        }
        ++frame;
    }
    KxFrameBytes Bytes() const override { return FrameBytes(test.device); }

private:
    static constexpr int kSide = 6;
    KxTestDevice test;
    KxTestRandom r;
    KxTexturePtr texture;
    KxVertexBuffer* pVertices = nullptr;
    KxIndexBuffer* pIndices = nullptr;
    uint32_t frame = 0;
};

// The scenes every thread draws, one device each: a new scene is a class
// like those above and one line in kScenes.
typedef std::unique_ptr<KxThreadScene> (*KxSceneMaker)(uint32_t seed, uint32_t nThreads);
template <typename Scene>
std::unique_ptr<KxThreadScene> Make(uint32_t seed, uint32_t nThreads)
{
    return std::make_unique<Scene>(seed, nThreads);
}
const KxSceneMaker kScenes[] = {
    Make<KxDemoScene>,
    Make<KxLitTexturedScene>,
    Make<KxIndexedBlendedScene>,
};

constexpr int kThreads = 4;
constexpr int kFrames = 5;

// Every frame of thread t's scenes: [scene][frame].
typedef std::vector<std::vector<KxFrameBytes>> KxThreadFrames;

std::vector<std::unique_ptr<KxThreadScene>> MakeScenes(int t, uint32_t nThreads = 1)
{
    std::vector<std::unique_ptr<KxThreadScene>> scenes;
    for (KxSceneMaker make : kScenes)
        scenes.push_back(make(uint32_t(t), nThreads));
    return scenes;
}

// Each scene alone, from its first frame to its last, one after another.
std::vector<KxThreadFrames> DrawAlone()
{
    std::vector<KxThreadFrames> frames(kThreads);
    for (int t = 0; t < kThreads; ++t)
        for (const auto& make : kScenes) {
            std::unique_ptr<KxThreadScene> scene = make(uint32_t(t), 1);
            frames[t].emplace_back();
            for (int f = 0; f < kFrames; ++f) {
                scene->DrawFrame();
                frames[t].back().push_back(scene->Bytes());
            }
        }
    return frames;
}

// The scenes frame by frame in turn.
void DrawInTurn(std::vector<std::unique_ptr<KxThreadScene>>& scenes, KxThreadFrames& frames)
{
    frames.assign(scenes.size(), {});
    for (int f = 0; f < kFrames; ++f)
        for (size_t k = 0; k < scenes.size(); ++k) {
            scenes[k]->DrawFrame();
            frames[k].push_back(scenes[k]->Bytes());
        }
}

}  // namespace

TEST(IndependentDevices, DevicesDrawnInTurnOnOneThreadDrawAsAlone)
{
    const std::vector<KxThreadFrames> alone = DrawAlone();
    std::vector<std::vector<std::unique_ptr<KxThreadScene>>> scenes;
    for (int t = 0; t < kThreads; ++t)
        scenes.push_back(MakeScenes(t));
    // Frame f of every scene of every seed before frame f + 1 of any.
    for (int f = 0; f < kFrames; ++f)
        for (int t = 0; t < kThreads; ++t)
            for (size_t k = 0; k < std::size(kScenes); ++k) {
                scenes[t][k]->DrawFrame();
                ASSERT_TRUE(scenes[t][k]->Bytes() == alone[t][k][f])
                    << "seed " << t << " scene " << k << " frame " << f;
            }
}

TEST(IndependentDevices, FourThreadsEachDrawAsAlone)
{
    const std::vector<KxThreadFrames> alone = DrawAlone();
    std::vector<KxThreadFrames> drawn(kThreads);
    std::vector<std::thread> threads;
    // Devices of one, two and three threads: up to eight threads at once.
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t, &drawn] {
            std::vector<std::unique_ptr<KxThreadScene>> scenes = MakeScenes(t, 1 + uint32_t(t) % 3);
            DrawInTurn(scenes, drawn[t]);
        });
    for (std::thread& thread : threads)
        thread.join();
    for (int t = 0; t < kThreads; ++t)
        for (size_t k = 0; k < std::size(kScenes); ++k)
            for (int f = 0; f < kFrames; ++f)
                ASSERT_TRUE(drawn[t][k][f] == alone[t][k][f]) << "thread " << t << " scene " << k << " frame " << f;
}
