// Where a frame's time goes. Compare ratios within one run: the machine is
// noisy, the ratios much less so.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <utility>
#include <vector>

#include "app/kxscene.h"
#include "bench/kxmeshscene.h"
#include "platform/kxwin32.h"
#include "render/kxsoftwarerenderdevice.h"

namespace {

// Counts every operator new, so a benchmark can show it allocates nothing.
std::atomic<long> allocationCount{0};

constexpr int kWidth = 640;
constexpr int kHeight = 480;

// An off-screen window of the demo's size for the device to present to.
class KxBenchWindow {
public:
    KxBenchWindow()
    {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "KxBench";
        RegisterClassA(&wc);
        hWnd = CreateWindowExA(0, "KxBench", "KxBench", WS_OVERLAPPEDWINDOW, 0, 0, kWidth, kHeight,
                               nullptr, nullptr, nullptr, nullptr);
    }
    ~KxBenchWindow()
    {
        DestroyWindow(hWnd);
        UnregisterClassA("KxBench", nullptr);
    }
    HWND hWnd;
};

void BM_MemoryFloor(benchmark::State& state)
{
    const size_t colourBytes = size_t(kWidth) * 3 * kHeight;
    std::vector<uint8_t> source(colourBytes, 0x7F), target(colourBytes);
    std::vector<uint16_t> depth(size_t(kWidth) * kHeight);
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), colourBytes);
        std::fill(depth.begin(), depth.end(), uint16_t(0xFFFF));
        benchmark::DoNotOptimize(target.data());
        benchmark::DoNotOptimize(depth.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_MemoryFloor);

void BM_Clear(benchmark::State& state)
{
    KxBenchWindow window;
    KxSoftwareRenderDevice device;
    device.Create(window.hWnd, kWidth, kHeight);
    const uint32_t color = uint32_t(state.range(0));
    for (auto _ : state) {
        device.Clear(0, nullptr, KXCLEAR_TARGET | KXCLEAR_ZBUFFER, color, 1.0f, 0);
        benchmark::ClobberMemory();
    }
    state.SetLabel(color == 0 ? "black (byte fill)" : "blue (pattern)");
}
BENCHMARK(BM_Clear)->Arg(0xFF0000)->Arg(0);

void BM_DemoFrame(benchmark::State& state)
{
    KxBenchWindow window;
    KxScene scene;
    scene.Setup(window.hWnd);
    scene.SetAngle(89.0f);
    scene.DrawFrame();  // the first draw sizes the device's per-triangle flags
    const long allocationsBefore = allocationCount.load();
    for (auto _ : state) {
        scene.SetAngle(89.0f);  // every frame draws at 90 degrees
        scene.DrawFrame();
        benchmark::ClobberMemory();
    }
    state.counters["allocs/frame"] =
        benchmark::Counter(double(allocationCount.load() - allocationsBefore) / double(state.iterations()));
}
BENCHMARK(BM_DemoFrame);

void BM_Present(benchmark::State& state)
{
    KxBenchWindow window;
    KxSoftwareRenderDevice device;
    device.Create(window.hWnd, kWidth, kHeight);
    device.Clear(0, nullptr, KXCLEAR_TARGET | KXCLEAR_ZBUFFER, 0xFF0000, 1.0f, 0);
    for (auto _ : state)
        benchmark::DoNotOptimize(device.Present());
}
BENCHMARK(BM_Present);

// A triangle of about 100,000 pixels: legs of 447 pixels.
constexpr int kLeg = 447;
constexpr double kTrianglePixels = double(kLeg) * kLeg / 2.0;

void BM_TexturedTriangle(benchmark::State& state)
{
    KxBenchWindow window;
    KxSoftwareRenderDevice device;
    device.Create(window.hWnd, kWidth, kHeight);
    KxTexture* pTexture = nullptr;
    device.CreateTextureFromFile("SW_TEST.bmp", &pTexture);
    device.SetTexture(0, pTexture);
    device.Clear(0, nullptr, KXCLEAR_TARGET | KXCLEAR_ZBUFFER, 0xFF0000, 1.0f, 0);
    for (auto _ : state) {
        // Equal depths pass, so every iteration draws every pixel.
        device.RasterizeTriangle(10, 10, 0.5f, 10 + kLeg, 10, 0.5f, 10, 10 + kLeg, 0.5f,
                                 0xFFFFFF, 0x80C0FF, 0xFFFFFF,
                                 0.0f, 0.0f, 0.05f, 0.0f, 0.0f, 0.1f,
                                 0.1f, 0.05f, 0.1f);
        benchmark::ClobberMemory();
    }
    state.counters["pixels/s"] = benchmark::Counter(kTrianglePixels, benchmark::Counter::kIsIterationInvariantRate);
    if (pTexture)
        pTexture->Release();
}
BENCHMARK(BM_TexturedTriangle);

// The textured triangle under other states: what the alpha test, blending
// (with a texture of varying alpha) and a depth function other than
// less-or-equal cost against the opaque fill above, which the vector path
// takes.
void BM_TexturedTriangleStates(benchmark::State& state)
{
    const struct {
        const char* label;
        std::vector<std::pair<uint32_t, uint32_t>> states;
    } kinds[] = {
        {"opaque", {}},
        {"alpha test", {{KXRS_ALPHATESTENABLE, 1}, {KXRS_ALPHAREF, 64}, {KXRS_ALPHAFUNC, KXCMP_GREATEREQUAL}}},
        {"blend src alpha", {{KXRS_ALPHABLENDENABLE, 1}, {KXRS_SRCBLEND, KXBLEND_SRCALPHA},
                             {KXRS_DESTBLEND, KXBLEND_INVSRCALPHA}}},
        {"blend + alpha test", {{KXRS_ALPHABLENDENABLE, 1}, {KXRS_SRCBLEND, KXBLEND_SRCALPHA},
                                {KXRS_DESTBLEND, KXBLEND_INVSRCALPHA}, {KXRS_ALPHATESTENABLE, 1},
                                {KXRS_ALPHAREF, 64}, {KXRS_ALPHAFUNC, KXCMP_GREATEREQUAL}}},
        {"depth less", {{KXRS_ZFUNC, KXCMP_LESS}}},
    };
    const auto& kind = kinds[state.range(0)];
    KxBenchWindow window;
    KxSoftwareRenderDevice device;
    device.Create(window.hWnd, kWidth, kHeight);
    // 64 x 64 texels whose alpha runs 0 to 252 across.
    std::vector<uint8_t> texels(64 * 64 * 4);
    for (size_t i = 0; i < texels.size(); i += 4) {
        texels[i] = uint8_t(i * 7);
        texels[i + 1] = uint8_t(i * 13);
        texels[i + 2] = uint8_t(i * 3);
        texels[i + 3] = uint8_t(i / 4 % 64 * 4);
    }
    KxTexture* pTexture = nullptr;
    device.CreateTextureFromMemory(texels.data(), 64, 64, 64 * 4, KXFMT_A8R8G8B8, &pTexture);
    device.SetTexture(0, pTexture);
    for (auto [code, value] : kind.states)
        device.SetRenderState(code, value);
    device.Clear(0, nullptr, KXCLEAR_TARGET | KXCLEAR_ZBUFFER, 0xFF0000, 1.0f, 0);
    // Every iteration draws nearer than the last, so that every pixel passes
    // the depth test of each function.
    float z = 0.9f;
    for (auto _ : state) {
        z -= 1.0f / 65536.0f;
        device.RasterizeTriangle(10, 10, z, 10 + kLeg, 10, z, 10, 10 + kLeg, z,
                                 0xFFFFFFFF, 0xC080C0FF, 0xFFFFFFFF,
                                 0.0f, 0.0f, 0.1f, 0.0f, 0.0f, 0.1f,
                                 0.1f, 0.05f, 0.1f);
        benchmark::ClobberMemory();
    }
    state.counters["pixels/s"] = benchmark::Counter(kTrianglePixels, benchmark::Counter::kIsIterationInvariantRate);
    state.SetLabel(kind.label);
    pTexture->Release();
}
BENCHMARK(BM_TexturedTriangleStates)->DenseRange(0, 4);

// The textured triangle under sampler states, its texture repeated three
// times across and down: what wrapping, bilinear filtering and the choice
// of filter per pixel cost against the default point sampling, which the
// vector path takes; the others fill one pixel at a time.
void BM_TexturedTriangleSampling(benchmark::State& state)
{
    const struct {
        const char* label;
        uint32_t address, magFilter, minFilter;
    } kinds[] = {
        {"point clamp (default)", KXTADDRESS_CLAMP, KXTEXF_POINT, KXTEXF_POINT},
        {"point wrap", KXTADDRESS_WRAP, KXTEXF_POINT, KXTEXF_POINT},
        {"linear clamp", KXTADDRESS_CLAMP, KXTEXF_LINEAR, KXTEXF_LINEAR},
        {"linear wrap", KXTADDRESS_WRAP, KXTEXF_LINEAR, KXTEXF_LINEAR},
        {"linear mirror", KXTADDRESS_MIRROR, KXTEXF_LINEAR, KXTEXF_LINEAR},
        {"linear magnified, point minified", KXTADDRESS_WRAP, KXTEXF_LINEAR, KXTEXF_POINT},
    };
    const auto& kind = kinds[state.range(0)];
    KxBenchWindow window;
    KxSoftwareRenderDevice device;
    device.Create(window.hWnd, kWidth, kHeight);
    std::vector<uint8_t> texels(64 * 64 * 3);
    for (size_t i = 0; i < texels.size(); ++i)
        texels[i] = uint8_t(i * 7 + i / 192 * 13);
    KxTexture* pTexture = nullptr;
    device.CreateTextureFromMemory(texels.data(), 64, 64, 64 * 3, &pTexture);
    device.SetTexture(0, pTexture);
    device.SetSamplerState(0, KXSAMP_ADDRESSU, kind.address);
    device.SetSamplerState(0, KXSAMP_ADDRESSV, kind.address);
    device.SetSamplerState(0, KXSAMP_MAGFILTER, kind.magFilter);
    device.SetSamplerState(0, KXSAMP_MINFILTER, kind.minFilter);
    device.Clear(0, nullptr, KXCLEAR_TARGET | KXCLEAR_ZBUFFER, 0xFF0000, 1.0f, 0);
    for (auto _ : state) {
        // Equal depths pass, so every iteration draws every pixel. 1/w
        // falls to a third along the legs: magnified near the right angle
        // (about 2.3 pixels a texel), minified at the far corners.
        device.RasterizeTriangle(10, 10, 0.5f, 10 + kLeg, 10, 0.5f, 10, 10 + kLeg, 0.5f,
                                 0xFFFFFF, 0x80C0FF, 0xFFFFFF,
                                 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f,
                                 1.0f, 1.0f / 3.0f, 1.0f / 3.0f);
        benchmark::ClobberMemory();
    }
    state.counters["pixels/s"] = benchmark::Counter(kTrianglePixels, benchmark::Counter::kIsIterationInvariantRate);
    state.SetLabel(kind.label);
    pTexture->Release();
}
BENCHMARK(BM_TexturedTriangleSampling)->DenseRange(0, 5);

// The Gouraud triangle with alpha in its colours, blended.
void BM_GouraudTriangleBlended(benchmark::State& state)
{
    KxBenchWindow window;
    KxSoftwareRenderDevice device;
    device.Create(window.hWnd, kWidth, kHeight);
    device.SetRenderState(KXRS_ALPHABLENDENABLE, 1);
    device.SetRenderState(KXRS_SRCBLEND, KXBLEND_SRCALPHA);
    device.SetRenderState(KXRS_DESTBLEND, KXBLEND_INVSRCALPHA);
    for (auto _ : state) {
        device.FillGouraudTriangle(10, 10, 10 + kLeg, 10, 10, 10 + kLeg, 0xFFFF0000, 0x4000FF00, 0x800000FF);
        benchmark::ClobberMemory();
    }
    state.counters["pixels/s"] = benchmark::Counter(kTrianglePixels, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_GouraudTriangleBlended);

void BM_GouraudTriangle(benchmark::State& state)
{
    KxBenchWindow window;
    KxSoftwareRenderDevice device;
    device.Create(window.hWnd, kWidth, kHeight);
    for (auto _ : state) {
        device.FillGouraudTriangle(10, 10, 10 + kLeg, 10, 10, 10 + kLeg, 0xFF0000, 0x00FF00, 0x0000FF);
        benchmark::ClobberMemory();
    }
    state.counters["pixels/s"] = benchmark::Counter(kTrianglePixels, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_GouraudTriangle);

void BM_LightVertex(benchmark::State& state)
{
    KxBenchWindow window;
    KxSoftwareRenderDevice device;
    device.Create(window.hWnd, kWidth, kHeight);
    const int nLights = int(state.range(0));
    if (nLights > 1) {
        KxLight light;
        light.Diffuse = KxColor(0.2f, 0.3f, 0.1f, 1.0f);
        light.Specular = KxColor(0.5f, 0.5f, 0.5f, 1.0f);
        light.Ambient = KxColor(0.05f, 0.05f, 0.05f, 1.0f);
        for (int i = 0; i < nLights; ++i) {
            light.Direction = KxVector3(float(i) - 3.5f, -1.0f, 0.5f);
            device.SetLight(i, &light);
            device.LightEnable(i, TRUE);
        }
        device.SetRenderState(KXRS_SPECULARENABLE, 1);
    }
    // One draw refreshes the lights' working directions.
    KxVertexBuffer* pBuffer = nullptr;
    device.CreateVertexBuffer(96, 0, 0x112, 1, &pBuffer, nullptr);
    std::memset(pBuffer->data, 0, 96);
    device.SetStreamSource(0, pBuffer, 0, 32);
    device.DrawPrimitive(KXPT_TRIANGLELIST, 0, 0);
    const KxVector3 normal(0.3f, -0.8f, 0.52f);
    for (auto _ : state)
        benchmark::DoNotOptimize(device.LightVertex(normal));
    state.SetLabel(nLights > 1 ? "8 lights, specular" : "default light");
    pBuffer->Release();
}
BENCHMARK(BM_LightVertex)->Arg(1)->Arg(8);

// The scaling scene's checker as stage 0's texture; null when it cannot be
// made.
KxTexture* BindChecker(KxSoftwareRenderDevice& device)
{
    KxTexture* pTexture = nullptr;
    const char* texturePath = "kxbench_checker.bmp";
    if (!kxmesh::WriteCheckerBmp(texturePath) || !device.CreateTextureFromFile(texturePath, &pTexture))
        return nullptr;
    std::remove(texturePath);
    device.SetTexture(0, pTexture);
    return pTexture;
}

// The scaling scene's sphere of nTriangles triangles in a new buffer of
// format 274; null, with the benchmark skipped, where there is none.
KxVertexBuffer* SphereBuffer(benchmark::State& state, KxSoftwareRenderDevice& device, long nTriangles)
{
    long S = 0, K = 0;
    KxVertexBuffer* pBuffer = nullptr;
    if (!kxmesh::PickGrid(nTriangles, S, K) ||
        !device.CreateVertexBuffer(uint32_t(nTriangles * 3 * 32), 0, 274, 1, &pBuffer, nullptr)) {
        state.SkipWithError("no sphere of that many triangles");
        return nullptr;
    }
    void* data = nullptr;
    pBuffer->Lock(0, 0, &data, 0);
    kxmesh::Triangles(S, K, kxmesh::Radius(), nTriangles, static_cast<float*>(data));
    pBuffer->Unlock();
    return pBuffer;
}

KxVector3 Vector(const double v[3])
{
    return KxVector3(float(v[0]), float(v[1]), float(v[2]));
}

// The scaling scene's directional light.
KxLight SceneLight()
{
    KxLight light;
    light.Diffuse = KxColor(0.75f, 0.75f, 0.75f, 1.0f);
    light.Ambient = KxColor(0.25f, 0.25f, 0.25f, 1.0f);
    light.Direction = Vector(kxmesh::kLightDirection);
    return light;
}

// The scaling scene's camera, white material and light 0 for the sphere in
// pBuffer; returns the sphere's world matrix.
KxMatrix4 SetSphereScene(KxSoftwareRenderDevice& device, KxVertexBuffer* pBuffer, const KxLight& light)
{
    device.SetFVF(274);
    device.SetStreamSource(0, pBuffer, 0, 32);
    KxMatrix4 view, projection, world;
    view.SetLookAtLeftHanded(Vector(kxmesh::kEye), Vector(kxmesh::kAt), Vector(kxmesh::kUp));
    projection.SetPerspectiveLeftHanded(float(kxmesh::kFovY), float(kxmesh::kAspect), float(kxmesh::kNear),
                                        float(kxmesh::kFar));
    double centre[3];
    kxmesh::Centre(centre);
    world.SetTranslation(float(centre[0]), float(centre[1]), float(centre[2]));
    device.SetTransform(KXTS_VIEW, &view);
    device.SetTransform(KXTS_PROJECTION, &projection);
    device.SetLight(0, &light);
    device.LightEnable(0, TRUE);
    KxMaterial material;
    material.Diffuse = KxColor(1.0f, 1.0f, 1.0f, 1.0f);
    material.Ambient = KxColor(1.0f, 1.0f, 1.0f, 1.0f);
    device.SetMaterial(&material);
    device.SetRenderState(KXRS_AMBIENT, 0);
    return world;
}

// The scaling scene: a lit, textured sphere of N triangles covering about
// 30% of the frame; each iteration clears and draws it, without Present,
// on nThreads threads.
void MeshFrames(benchmark::State& state, uint32_t nThreads)
{
    const long nTriangles = long(state.range(0));
    KxBenchWindow window;
    KxSoftwareRenderDevice device;
    device.Create(window.hWnd, kWidth, kHeight);
    if (!device.SetThreadCount(nThreads)) {
        state.SkipWithError("the system refused the threads");
        return;
    }
    KxVertexBuffer* pBuffer = SphereBuffer(state, device, nTriangles);
    if (!pBuffer)
        return;
    KxTexture* pTexture = BindChecker(device);
    if (!pTexture) {
        state.SkipWithError("cannot make the checker texture");
        pBuffer->Release();
        return;
    }
    const KxMatrix4 world = SetSphereScene(device, pBuffer, SceneLight());

    auto frame = [&]() {
        device.Clear(0, nullptr, KXCLEAR_TARGET | KXCLEAR_ZBUFFER, 0xFF0000, 1.0f, 0);
        device.SetTransform(KXTS_WORLD, &world);
        device.DrawPrimitive(KXPT_TRIANGLELIST, 0, uint32_t(nTriangles));
    };
    frame();
    long covered = 0;
    for (int32_t y = 0; y < kHeight; ++y)
        for (int32_t x = 0; x < kWidth; ++x) {
            const uint8_t* p = device.GetPixels() + y * device.GetRowStride() + 3 * x;
            covered += !(p[0] == 0xFF && p[1] == 0 && p[2] == 0);
        }
    const long allocationsBefore = allocationCount.load();
    for (auto _ : state) {
        frame();
        benchmark::ClobberMemory();
    }
    const long allocations = allocationCount.load() - allocationsBefore;
    state.counters["triangles/s"] =
        benchmark::Counter(double(nTriangles), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["pixels/s"] = benchmark::Counter(double(covered), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["allocs/frame"] = benchmark::Counter(double(allocations) / double(state.iterations()));
    pBuffer->Release();
    pTexture->Release();
}

void BM_Mesh(benchmark::State& state)
{
    MeshFrames(state, 1);
}
BENCHMARK(BM_Mesh)->Arg(100)->Arg(1000)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

// The same on several threads (the second argument): timed by the clock,
// since the calling thread's processor time leaves out the workers'.
void BM_MeshThreads(benchmark::State& state)
{
    MeshFrames(state, uint32_t(state.range(1)));
}
BENCHMARK(BM_MeshThreads)
    ->Args({100, 2})
    ->Args({1000, 2})
    ->Args({10000, 2})
    ->Args({100000, 2})
    ->Args({1000000, 2})
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

// The scaling scene's sphere of 100,000 triangles lit by one light of
// Type state.range(0): 3 directional, 1 point, 2 spot. The point and spot
// lights sit where the directional one comes from and reach the whole
// sphere, so every lit vertex pays for its distance and cone.
void BM_LocalLights(benchmark::State& state)
{
    KxBenchWindow window;
    KxSoftwareRenderDevice device;
    device.Create(window.hWnd, kWidth, kHeight);
    KxVertexBuffer* pBuffer = SphereBuffer(state, device, 100000);
    if (!pBuffer)
        return;
    KxTexture* pTexture = BindChecker(device);
    KxLight light = SceneLight();
    light.Type = int32_t(state.range(0));
    double centre[3];
    kxmesh::Centre(centre);
    const KxVector3 towardLight = -light.Direction.Normalized();
    light.Position = Vector(centre) + towardLight * float(4.0 * kxmesh::Radius());
    light.Direction = -towardLight;
    light.Range = 1e6f;
    light.Attenuation0 = 1.0f;
    light.Attenuation1 = 0.01f;
    light.Theta = 0.4f;
    light.Phi = 1.2f;
    light.Falloff = 1.0f;
    const KxMatrix4 world = SetSphereScene(device, pBuffer, light);
    for (auto _ : state) {
        device.Clear(0, nullptr, KXCLEAR_TARGET | KXCLEAR_ZBUFFER, 0xFF0000, 1.0f, 0);
        device.SetTransform(KXTS_WORLD, &world);
        device.DrawPrimitive(KXPT_TRIANGLELIST, 0, 100000);
        benchmark::ClobberMemory();
    }
    const char* const labels[] = {"", "point", "spot", "directional"};
    state.SetLabel(labels[state.range(0)]);
    pBuffer->Release();
    if (pTexture)
        pTexture->Release();
}
BENCHMARK(BM_LocalLights)->Arg(3)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// The scaling scene's sphere drawn indexed: its vertices merged where all
// 32 bytes are equal, 32-bit indices, one DrawIndexedPrimitive list. The
// frame is BM_Mesh's byte for byte; the difference in time is what the
// assembly (the copy of every named vertex) costs.
void BM_IndexedMesh(benchmark::State& state)
{
    const long nTriangles = long(state.range(0));
    KxBenchWindow window;
    KxSoftwareRenderDevice device;
    device.Create(window.hWnd, kWidth, kHeight);
    KxVertexBuffer* pList = SphereBuffer(state, device, nTriangles);
    if (!pList)
        return;
    typedef std::array<uint8_t, 32> KxVertexBytes;
    std::map<KxVertexBytes, uint32_t> numbers;
    std::vector<KxVertexBytes> unique;
    std::vector<uint32_t> indices;
    for (long i = 0; i < 3 * nTriangles; ++i) {
        KxVertexBytes vertex;
        std::memcpy(vertex.data(), pList->data + 32 * i, 32);
        const auto found = numbers.emplace(vertex, uint32_t(unique.size()));
        if (found.second)
            unique.push_back(vertex);
        indices.push_back(found.first->second);
    }
    KxVertexBuffer* pBuffer = nullptr;
    KxIndexBuffer* pIndices = nullptr;
    device.CreateVertexBuffer(uint32_t(unique.size() * 32), 0, 274, 1, &pBuffer, nullptr);
    device.CreateIndexBuffer(uint32_t(indices.size() * 4), 0, KXFMT_INDEX32, 1, &pIndices, nullptr);
    std::memcpy(pBuffer->data, unique.data(), unique.size() * 32);
    std::memcpy(pIndices->data, indices.data(), indices.size() * 4);
    KxTexture* pTexture = BindChecker(device);
    if (!pTexture) {
        state.SkipWithError("cannot make the checker texture");
        pList->Release();
        pBuffer->Release();
        pIndices->Release();
        return;
    }
    const KxMatrix4 world = SetSphereScene(device, pList, SceneLight());
    auto frame = [&](KxVertexBuffer* pVertices, bool bIndexed) {
        device.SetStreamSource(0, pVertices, 0, 32);
        device.Clear(0, nullptr, KXCLEAR_TARGET | KXCLEAR_ZBUFFER, 0xFF0000, 1.0f, 0);
        device.SetTransform(KXTS_WORLD, &world);
        if (bIndexed)
            device.DrawIndexedPrimitive(KXPT_TRIANGLELIST, 0, 0, uint32_t(unique.size()), 0, uint32_t(nTriangles));
        else
            device.DrawPrimitive(KXPT_TRIANGLELIST, 0, uint32_t(nTriangles));
    };
    auto pixels = [&]() {
        return std::vector<uint8_t>(device.GetPixels(), device.GetPixels() + device.GetRowStride() * kHeight);
    };
    device.SetIndices(pIndices);
    frame(pList, false);
    const std::vector<uint8_t> listed = pixels();
    frame(pBuffer, true);
    const bool bSame = pixels() == listed;
    pList->Release();
    if (!bSame)
        state.SkipWithError("the indexed frame differs from the list's");
    for (auto _ : state) {
        frame(pBuffer, true);
        benchmark::ClobberMemory();
    }
    state.counters["triangles/s"] =
        benchmark::Counter(double(nTriangles), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["vertices"] = double(unique.size());
    pBuffer->Release();
    pIndices->Release();
    pTexture->Release();
}
BENCHMARK(BM_IndexedMesh)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

// Binding the scaling scene's buffer of N triangles again, unchanged: each
// binding measures the bounding radius over every position.
void BM_Bind(benchmark::State& state)
{
    KxSoftwareRenderDevice device;
    KxVertexBuffer* pBuffer = SphereBuffer(state, device, long(state.range(0)));
    if (!pBuffer)
        return;
    for (auto _ : state) {
        device.SetStreamSource(0, pBuffer, 0, 32);
        benchmark::DoNotOptimize(pBuffer->boundsRadius);
    }
    state.counters["bytes/s"] =
        benchmark::Counter(double(pBuffer->length), benchmark::Counter::kIsIterationInvariantRate);
    pBuffer->Release();
}
BENCHMARK(BM_Bind)->Arg(1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

// A camera inside a textured, lit room of twelve large triangles, standing
// against a wall and looking along it: most triangles cross the near plane
// or the guard band and go through the clipper; the frame is covered.
void RoomFrames(benchmark::State& state, uint32_t nThreads)
{
    struct Vertex {
        float x, y, z, nx, ny, nz, u, v;
    };
    // Each surface: a corner, the edge across and the edge down; across x
    // down points into the room.
    const float surfaces[6][9] = {
        {-4, 0, 5, 8, 0, 0, 0, 0, -10}, {-4, 3, -5, 8, 0, 0, 0, 0, 10}, {-4, 3, -5, 0, 0, 10, 0, -3, 0},
        {4, 3, 5, 0, 0, -10, 0, -3, 0}, {4, 3, -5, -8, 0, 0, 0, -3, 0}, {-4, 3, 5, 8, 0, 0, 0, -3, 0},
    };
    std::vector<Vertex> vertices;
    for (const float* s : surfaces) {
        const KxVector3 origin(s[0], s[1], s[2]), across(s[3], s[4], s[5]), down(s[6], s[7], s[8]);
        const KxVector3 n = across.Cross(down).Normalized();
        const float corners[6][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 0}, {1, 1}, {0, 1}};
        for (const auto& c : corners) {
            const KxVector3 p = origin + across * c[0] + down * c[1];
            vertices.push_back({p.x, p.y, p.z, n.x, n.y, n.z, c[0], c[1]});
        }
    }
    KxBenchWindow window;
    KxSoftwareRenderDevice device;
    device.Create(window.hWnd, kWidth, kHeight);
    if (!device.SetThreadCount(nThreads)) {
        state.SkipWithError("the system refused the threads");
        return;
    }
    KxTexture* pTexture = BindChecker(device);
    if (!pTexture) {
        state.SkipWithError("cannot make the checker texture");
        return;
    }
    const uint32_t length = uint32_t(vertices.size() * sizeof(Vertex));
    KxVertexBuffer* pBuffer = nullptr;
    device.CreateVertexBuffer(length, 0, 274, 1, &pBuffer, nullptr);
    void* data = nullptr;
    pBuffer->Lock(0, 0, &data, 0);
    std::memcpy(data, vertices.data(), length);
    pBuffer->Unlock();
    device.SetFVF(274);
    device.SetStreamSource(0, pBuffer, 0, sizeof(Vertex));
    KxMatrix4 view, projection;
    view.SetLookAtLeftHanded(KxVector3(-3.9f, 1.5f, 0), KxVector3(-3.9f, 1.4f, 5), KxVector3(0, 1, 0));
    projection.SetPerspectiveLeftHanded(1.1f, 4.0f / 3.0f, 0.1f, 50.0f);
    device.SetTransform(KXTS_VIEW, &view);
    device.SetTransform(KXTS_PROJECTION, &projection);

    auto frame = [&]() {
        device.Clear(0, nullptr, KXCLEAR_TARGET | KXCLEAR_ZBUFFER, 0xFF0000, 1.0f, 0);
        device.DrawPrimitive(KXPT_TRIANGLELIST, 0, 12);
    };
    frame();  // sizes the per-triangle flags
    const long allocationsBefore = allocationCount.load();
    for (auto _ : state) {
        frame();
        benchmark::ClobberMemory();
    }
    const long allocations = allocationCount.load() - allocationsBefore;
    state.counters["allocs/frame"] = benchmark::Counter(double(allocations) / double(state.iterations()));
    pBuffer->Release();
    pTexture->Release();
}

void BM_Room(benchmark::State& state)
{
    RoomFrames(state, 1);
}
BENCHMARK(BM_Room)->Unit(benchmark::kMicrosecond);

// Its fill on two threads: the clipped triangles are cut again in every band.
void BM_RoomThreads(benchmark::State& state)
{
    RoomFrames(state, 2);
}
BENCHMARK(BM_RoomThreads)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

void* operator new(size_t size)
{
    ++allocationCount;
    void* p = std::malloc(size ? size : 1);
    if (!p)
        std::abort();  // as an unhandled allocation failure would
    return p;
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, size_t) noexcept
{
    std::free(p);
}

int main(int argc, char** argv)
{
    setenv("SDL_VIDEODRIVER", "dummy", 1);  // off-screen windows
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
