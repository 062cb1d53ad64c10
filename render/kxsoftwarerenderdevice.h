// The software render device: a fixed-function Direct3D 9-style device that
// draws into a 24-bit colour buffer and a 16-bit depth buffer in memory.
//
// Data flow of one draw: device state -> DrawPrimitive (cull, transform,
// light) -> RasterizeTriangle / FillGouraudTriangle -> colour and depth
// buffers -> Present.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "math/kxmatrix4.h"
#include "math/kxvector3.h"
#include "platform/kxwintypes.h"
#include "render/kxclearpattern.h"
#include "render/kxdevicestate.h"
#include "render/kxdib.h"
#include "render/kxframerate.h"
#include "render/kxfrustum.h"
#include "render/kxfvf.h"
#include "render/kxindexbuffer.h"
#include "render/kxlight.h"
#include "render/kxlightterms.h"
#include "render/kxrasterstates.h"
#include "render/kxsampler.h"
#include "render/kxtriangleassembly.h"
#include "render/kxvertexbuffer.h"

// Render-state codes (Direct3D 9 numbering). The values of culling, depth,
// alpha test and blending are in render/kxrasterstates.h.
enum : uint32_t {
    KXRS_ZENABLE = 7,
    KXRS_SHADEMODE = 9,
    KXRS_ZWRITEENABLE = 14,
    KXRS_ALPHATESTENABLE = 15,
    KXRS_SRCBLEND = 19,
    KXRS_DESTBLEND = 20,
    KXRS_CULLMODE = 22,
    KXRS_ZFUNC = 23,
    KXRS_ALPHAREF = 24,
    KXRS_ALPHAFUNC = 25,
    KXRS_ALPHABLENDENABLE = 27,
    KXRS_SPECULARENABLE = 29,
    KXRS_CLIPPING = 136,
    KXRS_LIGHTING = 137,
    KXRS_AMBIENT = 139,
    KXRS_NORMALIZENORMALS = 143,
    KXRS_DIFFUSEMATERIALSOURCE = 145,
    KXRS_SPECULARMATERIALSOURCE = 146,
    KXRS_AMBIENTMATERIALSOURCE = 147,
    KXRS_EMISSIVEMATERIALSOURCE = 148,
    KXRS_BLENDOP = 171,
};

// Transform-state codes.
enum : uint32_t {
    KXTS_WORLD = 1,
    KXTS_VIEW = 2,
    KXTS_PROJECTION = 3,
};

// The primitive types are in render/kxtriangleassembly.h.
enum : uint32_t {
    KXSHADE_GOURAUD = 2,
    KXCLEAR_TARGET = 1,
    KXCLEAR_ZBUFFER = 2,
};

class KxSpanFiller;
class KxStateSpanFiller;
class KxWorkers;
struct KxFrameBands;
struct KxRasterVertex;
struct KxRowBand;
struct KxThreadedDraw;
struct KxVertexBatch;
struct KxVertexTransform;

class KxSoftwareRenderDevice {
public:
    static constexpr int kTextureStageCount = 8;
    // Fillers skip triangles with a coordinate this far out (2^24): no
    // realistic frame reaches it, and inside it the 64-bit 16.16 edge
    // arithmetic cannot overflow.
    static constexpr int kMaxScreenCoordinate = 1 << 24;
    // Triangles are clipped to screen x and y within +-2^22 (4,194,304):
    // far inside the limit, and a clipped triangle reaching above the frame
    // costs the walkers at most that many skipped rows.
    static constexpr int kGuardBand = 1 << 22;

    KxSoftwareRenderDevice();
    ~KxSoftwareRenderDevice();
    KxSoftwareRenderDevice(const KxSoftwareRenderDevice&) = delete;
    KxSoftwareRenderDevice& operator=(const KxSoftwareRenderDevice&) = delete;

    // Core and frame buffer
    void Create(HWND window, int32_t width, int32_t height);
    // The same buffers and default state with no window and no video system:
    // for drawing into memory. False, with no buffers, for a size that is not
    // positive, a colour buffer of 2 GiB or more, memory that cannot be had,
    // or a device that already has its buffers.
    bool CreateOffscreen(int32_t width, int32_t height);
    HBITMAP CreateDibSection(HDC dc, int32_t width, int32_t height, void** bits);
    void CreateDepthBuffer(int32_t use32Bit);
    bool Clear(uint32_t count, const void* rects, uint32_t flags, uint32_t color, float z, uint32_t stencil);
    BOOL Present();  // FALSE, changing nothing, without a window
    // The colour buffer as a 24-bit bottom-up BMP file, written to a
    // temporary file and renamed, so a failure leaves nothing behind.
    bool SaveBmp(const char* path) const;
    void UpdateFrameRate();
    void ReleaseGdiObjects();

    // State
    bool SetRenderState(uint32_t state, uint32_t value);
    bool GetRenderState(uint32_t state, uint32_t* value) const;
    void SetTransform(uint32_t state, const KxMatrix4* matrix);
    bool SetViewport(const KxViewport* viewport);
    bool GetViewport(KxViewport* viewport) const;
    bool SetClipVolume(const KxClipVolume* clip);
    void SetMaterial(const KxMaterial* pMaterial);

    // Lights
    void SetLight(int32_t index, const KxLight* light);
    bool LightEnable(int32_t index, int32_t enable);

    // Vertex buffers and formats
    bool CreateVertexBuffer(uint32_t length, uint32_t usage, uint32_t fvf, uint32_t pool,
                            KxVertexBuffer** buffer, HANDLE* sharedHandle);
    bool SetFVF(uint32_t fvf);
    bool GetFVF(uint32_t* fvf) const;
    bool SetStreamSource(uint32_t streamNumber, KxVertexBuffer* buffer, uint32_t offsetInBytes, uint32_t stride);

    // Index buffers: format KXFMT_INDEX16 or KXFMT_INDEX32, others refused.
    bool CreateIndexBuffer(uint32_t length, uint32_t usage, uint32_t format, uint32_t pool,
                           KxIndexBuffer** buffer, HANDLE* sharedHandle);
    bool SetIndices(KxIndexBuffer* buffer);  // null unbinds

    // Textures
    bool CreateTextureFromFile(const char* path, KxTexture** texture);
    // A texture from rows of pixels in memory, top row first, 3 bytes a pixel
    // in blue, green, red order, rows rowStride bytes apart. Refused for the
    // same sizes and reasons as a file.
    bool CreateTextureFromMemory(const void* sourcePixels, int32_t width, int32_t height, int32_t rowStride,
                                 KxTexture** texture);
    // The same with the pixels in a KXFMT_ format (render/kxdib.h):
    // KXFMT_A8R8G8B8 takes 4 bytes a pixel, blue, green, red, alpha.
    bool CreateTextureFromMemory(const void* sourcePixels, int32_t width, int32_t height, int32_t rowStride,
                                 uint32_t format, KxTexture** texture);
    bool SetTexture(uint32_t stage, KxTexture* texture);
    // Addressing and filtering of stages 0 to 7 (KXSAMP_ types, values in
    // render/kxsampler.h); false, changing nothing, for anything else.
    bool SetSamplerState(uint32_t sampler, uint32_t type, uint32_t value);
    bool GetSamplerState(uint32_t sampler, uint32_t type, uint32_t* value) const;
    // Why the last texture creation failed, or "" after a success.
    const char* GetTextureLoadError() const { return pTextureLoadError; }

    // Threads: how many draw and clear, the calling one included. 1 (the
    // default): the calling thread alone; 0: one per processor the system
    // reports. False, changing nothing, above 256; false too when the
    // system refuses a thread, which leaves the device with the calling
    // thread alone. Every count gives the same bytes.
    static constexpr uint32_t kMaxThreads = 256;
    bool SetThreadCount(uint32_t count);
    uint32_t GetThreadCount() const;
    // Draws of fewer triangles than this stay on the calling thread even
    // with more threads set: waking the workers costs more than they save
    // on small draws. 0 sends every draw to the workers (tests use it to
    // run small scenes on them).
    static constexpr uint32_t kDefaultThreadThreshold = 512;
    void SetThreadThreshold(uint32_t minTriangles) { nThreadThreshold = minTriangles; }
    // Smaller draws are filled by all threads when their triangles cover
    // about this many pixels, and frames of this many pixels are cleared
    // by all threads.
    static constexpr int64_t kThreadedFillPixels = 32768;
    static constexpr int64_t kThreadedClearPixels = 1 << 19;

    // Primitive pipeline
    // The whole bound buffer as a triangle list, its arguments unused.
    bool DrawPrimitive(uint32_t primitiveType, uint32_t startVertex, uint32_t primitiveCount);
    // The triangles the bound indices name, every argument honoured: false,
    // drawing nothing, for an unknown type, indices read past the buffer,
    // or no index or vertex buffer.
    bool DrawIndexedPrimitive(uint32_t primitiveType, int32_t baseVertexIndex, uint32_t minVertexIndex,
                              uint32_t numVertices, uint32_t startIndex, uint32_t primitiveCount);
    bool ProcessPrimitives();
    // The stages below draw the bound buffer as a list when CullBackFaces
    // opens them; a draw runs them on its own list.
    bool CullBackFaces();
    bool CullToFrustum();
    bool ApplyProjection();
    bool ApplyClipVolume();
    bool ApplyViewport();
    bool DrawTriangles();
    bool IsFrontFacing(const KxVector3& p0, const KxVector3& p1, const KxVector3& p2) const;

    // Vertex lighting
    uint32_t LightVertex(const KxVector3& normal);  // at the world origin
    uint32_t LightVertex(const KxVector3& normal, const KxVector3& worldPosition);
    void GetMaterialColors(KxColor& ambientColor, KxColor& diffuseColor, KxColor& specularColor) const;

    // Gouraud filler and lines (no depth, no texture)
    void FillGouraudTriangle(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                             uint32_t c0, uint32_t c1, uint32_t c2);
    void FillFlatBottomTriangle(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                uint32_t c0, uint32_t c1, uint32_t c2);
    void FillFlatTopTriangle(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                             uint32_t c0, uint32_t c1, uint32_t c2);
    void DrawGouraudSpan(int32_t xa, int32_t xb, int32_t y, uint32_t ca, uint32_t cb);
    void DrawLine(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t color);
    static bool ClipLine(int32_t& x0, int32_t& y0, int32_t& x1, int32_t& y1,
                         int32_t xmin, int32_t xmax, int32_t ymin, int32_t ymax);
    void DrawHorizontalLine(int32_t xa, int32_t xb, int32_t y, uint32_t color);
    void DrawVerticalLine(int32_t x, int32_t ya, int32_t yb, uint32_t color);
    void PutPixel(int32_t x, int32_t y, uint32_t color);

    // Depth-tested, textured triangle rasteriser
    void RasterizeTriangle(int32_t x0, int32_t y0, float z0, int32_t x1, int32_t y1, float z1,
                           int32_t x2, int32_t y2, float z2,
                           uint32_t color0, uint32_t color1, uint32_t color2,
                           float uOverW0, float vOverW0, float uOverW1, float vOverW1,
                           float uOverW2, float vOverW2,
                           float invW0, float invW1, float invW2);
    void RasterizeFlatBottom(int32_t x0, int32_t y0, float z0, int32_t x1, int32_t y1, float z1,
                             int32_t x2, int32_t y2, float z2,
                             uint32_t color0, uint32_t color1, uint32_t color2,
                             float uOverW0, float vOverW0, float uOverW1, float vOverW1,
                             float uOverW2, float vOverW2,
                             float invW0, float invW1, float invW2);
    void RasterizeFlatTop(int32_t x0, int32_t y0, float z0, int32_t x1, int32_t y1, float z1,
                          int32_t x2, int32_t y2, float z2,
                          uint32_t color0, uint32_t color1, uint32_t color2,
                          float uOverW0, float vOverW0, float uOverW1, float vOverW1,
                          float uOverW2, float vOverW2,
                          float invW0, float invW1, float invW2);
    void RasterizeSpan(int32_t xA, int32_t xB, int32_t y, float zA, float zB,
                       uint32_t colorA, uint32_t colorB,
                       float uOverWA, float vOverWA, float uOverWB, float vOverWB,
                       float invWA, float invWB);
    bool TestAndWriteDepth(int32_t x, int32_t y, uint32_t depth);

    // Read access for tools and tests
    uint8_t* GetPixels() const { return pixels; }
    int32_t GetRowStride() const { return rowStride; }
    int32_t GetWidth() const { return width; }
    int32_t GetHeight() const { return height; }
    uint32_t GetDepth(int32_t x, int32_t y) const;
    uint32_t GetDepthScale() const { return depthScale; }
    const KxVector3& GetEyePosition() const { return eyePosition; }
    const KxMatrix4& GetViewportMatrix() const { return viewportMatrix; }
    const KxMatrix4& GetClipMatrix() const { return clipMatrix; }
    const KxMatrix4& GetCombinedMatrix() const { return combinedMatrix; }
    const KxMaterial& GetMaterial() const { return material; }
    const std::map<int, KxLightSet>& GetLights() const { return lights; }
    const std::vector<bool>& GetTriangleVisible() const { return triangleVisible; }
    uint32_t GetVertexCount() const { return vertexCount; }
    KxVertexBuffer* GetStreamSource() const { return streamSource; }
    KxIndexBuffer* GetIndices() const { return indexSource; }
    KxTexture* GetTextureStage(uint32_t stage) const { return stage < kTextureStageCount ? textureStages[stage] : nullptr; }

    // This device's frame-rate counter, which UpdateFrameRate advances
    typedef KxFrameRate::TickSource TickSource;
    void SetTickSource(TickSource source) { frameRate.SetTickSource(source); }  // null: GetTickCount
    void ResetFrameRate() { frameRate.Reset(); }
    int32_t GetFrameRateValue() const { return frameRate.GetValue(); }
    int32_t GetFrameRateCount() const { return frameRate.GetCount(); }
    const char* GetFrameRateText() const { return frameRate.GetText(); }

private:
    // The state every new device starts in: viewport, clip volume, light 0,
    // material and render states.
    void SetDefaultState();
    // CreateDepthBuffer without ending the program: false when the entries
    // cannot be allocated.
    bool AllocateDepthBuffer(int32_t use32Bit);
    // Clear's work on rows first to end - 1, the depth as stored.
    void ClearRows(int32_t first, int32_t end, uint32_t color, int64_t depth);
    // Hands out a texture that loaded, else releases it.
    bool KeepIfLoaded(KxTexture* pTexture, KxTexture** texture);

    // The rasteriser and the Gouraud filler on the rows one worker owns.
    void RasterizeTriangle(const KxRowBand& band, int32_t x0, int32_t y0, float z0, int32_t x1, int32_t y1,
                           float z1, int32_t x2, int32_t y2, float z2,
                           uint32_t color0, uint32_t color1, uint32_t color2,
                           float uOverW0, float vOverW0, float uOverW1, float vOverW1,
                           float uOverW2, float vOverW2,
                           float invW0, float invW1, float invW2);
    void RasterizeFlatBottom(const KxRowBand& band, int32_t x0, int32_t y0, float z0, int32_t x1, int32_t y1,
                             float z1, int32_t x2, int32_t y2, float z2,
                             uint32_t color0, uint32_t color1, uint32_t color2,
                             float uOverW0, float vOverW0, float uOverW1, float vOverW1,
                             float uOverW2, float vOverW2,
                             float invW0, float invW1, float invW2);
    void RasterizeFlatTop(const KxRowBand& band, int32_t x0, int32_t y0, float z0, int32_t x1, int32_t y1,
                          float z1, int32_t x2, int32_t y2, float z2,
                          uint32_t color0, uint32_t color1, uint32_t color2,
                          float uOverW0, float vOverW0, float uOverW1, float vOverW1,
                          float uOverW2, float vOverW2,
                          float invW0, float invW1, float invW2);
    void FillGouraudTriangle(const KxRowBand& band, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t x2,
                             int32_t y2, uint32_t c0, uint32_t c1, uint32_t c2);
    void FillFlatBottomTriangle(const KxRowBand& band, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                                int32_t x2, int32_t y2, uint32_t c0, uint32_t c1, uint32_t c2);
    void FillFlatTopTriangle(const KxRowBand& band, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t x2,
                             int32_t y2, uint32_t c0, uint32_t c1, uint32_t c2);
    // RasterizeSpan through the filler a walker shares across its rows.
    template <typename Filler>
    void RasterizeSpan(Filler& filler, int32_t xA, int32_t xB, int32_t y, float zA, float zB,
                       uint32_t colorA, uint32_t colorB,
                       float uOverWA, float vOverWA, float uOverWB, float vOverWB,
                       float invWA, float invWB);
    // The rows first to last of a half triangle that lie in the band,
    // between edge A (from a0 to a1) and edge B (from b0 to b1), under the
    // plain states or others; the others' filler samples through the
    // sampler.
    template <bool bPlain>
    void RasterizeHalf(const KxRowBand& band, const KxSampler* sampler, const KxRasterVertex& a0,
                       const KxRasterVertex& a1, const KxRasterVertex& b0, const KxRasterVertex& b1, int32_t first,
                       int32_t last);
    // The Gouraud filler's rows between edge A and edge B; with four
    // channels the colours' alpha is stepped too.
    template <int nChannels>
    void FillHalf(const KxRowBand& band, int32_t xa0, uint32_t ca0, int32_t xa1, uint32_t ca1, int32_t xb0,
                  uint32_t cb0, int32_t xb1, uint32_t cb1, int32_t first, int32_t last);
    // A span filler for the current depth buffer and texture, for the rows
    // of a band, under the plain states and the default sampling; one for
    // the sampler under any others. The sampler of a half triangle knows
    // its corners' plane.
    KxSpanFiller SpanFiller(const KxRowBand& band) const;
    KxStateSpanFiller StateSpanFiller(const KxSampler& sampler) const;
    KxSampler HalfSampler(const KxRasterVertex& v0, const KxRasterVertex& v1, const KxRasterVertex& v2) const;
    // Whether the plain states and the sampled stage's default sampling
    // hold, for the rasteriser.
    void UpdatePlainFill();

    // The triangles a draw reads, three vertices each, one after another:
    // the bound buffer's, or those an indexed draw assembled.
    struct KxTriangleList {
        const uint8_t* data = nullptr;
        size_t length = 0;
        uint32_t count = 0;
    };
    KxTriangleList StreamTriangles() const;
    // The pipeline on the current list; MarkBackFaces is CullBackFaces on it.
    bool DrawTriangleList();
    bool MarkBackFaces();

    // The lighting terms of the current state; refreshes the material
    // colour holders as lighting a vertex does.
    void PrepareLighting(KxLightTerms& terms);
    // The triangles of a format with normals, transformed, lit and filled a
    // batch at a time; those of a format with diffuse colours instead.
    void DrawLitTriangles(uint32_t nTriangles);
    void DrawColoredTriangles(uint32_t nTriangles);
    // The visible triangles from first on, up to a batch's worth and before
    // end, into the batch; returns where the gathering stopped.
    uint32_t GatherBatch(uint32_t first, uint32_t end, KxVertexBatch& batch) const;
    KxVertexTransform VertexTransform(const KxMatrix4& normalMatrix) const;
    // The normal matrix and the lighting terms of the draw, formed at its
    // first visible triangle.
    void PrepareVertexTransform(KxMatrix4& normalMatrix);
    // The triangles of the batch whose bits are set, in order, inside the
    // band's rows.
    void FillBatch(const KxRowBand& band, const KxVertexBatch& batch, uint64_t triangles,
                   const KxVertexTransform& transform);
    void FillClipped(const KxRowBand& band, const KxVertexBatch& batch, int32_t first,
                     const KxVertexTransform& transform);
    void FillColoredTriangles(const KxRowBand& band, uint32_t nTriangles);

    // The same stages split across the workers (kxsoftwarerenderdevice_threads.cpp).
    bool UsesWorkers(uint32_t nTriangles) const;
    // The workers when a draw of this many triangles goes to them, else null.
    KxWorkers* WorkersFor(uint32_t nTriangles) const { return UsesWorkers(nTriangles) ? pWorkers.get() : nullptr; }
    // The culling stages' per-triangle tests, of triangles first ..
    // first + count - 1.
    void CullBackFacesOf(uint32_t first, uint32_t count);
    void CullTrianglesToFrustum(uint32_t first, uint32_t count);
    void CullTrianglesOnWorkers(uint32_t nTriangles, void (KxSoftwareRenderDevice::*cull)(uint32_t, uint32_t));
    void DrawLitTrianglesOnWorkers(uint32_t nTriangles);
    void MarkBands(const KxVertexBatch& batch, const KxFrameBands& bands, uint64_t* bandTriangles) const;

    bool IsRenderStateOn(uint32_t bit) const { return (renderStates >> bit) & 1u; }
    uint32_t RenderStateField(uint32_t shift) const { return (renderStates >> shift) & 3u; }

    HWND hWnd = nullptr;
    HDC hdcWindow = nullptr;
    HDC hdcMemory = nullptr;
    HBITMAP hDibSection = nullptr;
    HGDIOBJ hOldBitmap = nullptr;
    uint8_t* pixels = nullptr;
    uint8_t* pOffscreenPixels = nullptr;  // owned; pixels points here without a window
    int32_t width = 0;
    int32_t height = 0;
    int32_t rowStride = 0;

    KxMatrix4 world;
    KxMatrix4 view;
    KxMatrix4 projection;
    KxMatrix4 viewportMatrix;
    KxMatrix4 clipMatrix;
    KxVector3 eyePosition;
    KxMatrix4 combinedMatrix;
    KxMatrix4 clipSpaceMatrix;  // the composed matrix before the viewport, for the near plane

    KxFvf vertexFormat;
    uint32_t renderStates;
    uint32_t ambient = 0;
    KxRasterStates rasterStates;
    bool bPlainFill = true;  // see UpdatePlainFill

    KxVertexBuffer* streamSource = nullptr;
    KxIndexBuffer* indexSource = nullptr;
    KxTriangleList triangleList;
    KxTriangleAssembly triangleAssembly;  // the last indexed draw's list
    std::vector<bool> triangleVisible;
    uint32_t vertexCount = 0;

    KxFrustum frustum;
    std::map<int, KxLightSet> lights;
    KxLightTerms lightTerms;  // per-draw scratch of the lighting
    KxMaterial material;
    KxTexture* textureStages[kTextureStageCount] = {};
    KxSamplerStates samplerStates[kTextureStageCount];
    // Every bound stage would be sampled and written in turn, so the highest
    // one alone decides the pixel (0 when none is bound); with blending it
    // alone is blended, once.
    int32_t nSampledStage = 0;
    const char* pTextureLoadError = "";

    int32_t depth32Bit = 0;
    uint32_t depthScale = 0;
    uint16_t* depthBuffer16 = nullptr;
    uint32_t* depthBuffer32 = nullptr;

    // What the device keeps between calls besides its state: the clear
    // colour's rows, the frame-rate counter, and the material colours as
    // lighting last took them (a colour whose source is not the material
    // keeps the value of the last draw that read it).
    struct KxMaterialColorHolders {
        KxColor ambient{0.0f, 0.0f, 0.0f, 1.0f};
        KxColor diffuse{0.0f, 0.0f, 0.0f, 1.0f};
        KxColor specular{0.0f, 0.0f, 0.0f, 1.0f};
    };
    KxClearPattern clearPattern;
    KxFrameRate frameRate;
    KxMaterialColorHolders materialColorHolders;

    std::unique_ptr<KxWorkers> pWorkers;           // none while one thread draws
    std::unique_ptr<KxThreadedDraw> pThreadedDraw;  // the workers' scratch, kept between draws
    uint32_t nThreadThreshold = kDefaultThreadThreshold;
};
