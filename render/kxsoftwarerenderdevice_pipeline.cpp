// The primitive pipeline: culling, transformation and lighting of the bound
// vertex buffer, drawn as a triangle list by the two fillers.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "math/kxassert.h"
#include "render/kxbackfaces.h"
#include "render/kxclipper.h"
#include "render/kxthreadeddraw.h"
#include "render/kxsoftwarerenderdevice.h"
#include "render/kxvertexbatch.h"

namespace {

// Positions of the render states read here in the packed state word.
constexpr uint32_t kLightingBit = 1;
constexpr uint32_t kClippingBit = 3;
constexpr uint32_t kZEnableBit = 4;
constexpr uint32_t kShadeModeShift = 5;

// Texture-coordinate size code of a set holding a single float.
constexpr uint32_t kOneFloatTexCoord = 3;

KxVector3 ReadVector3(const uint8_t* p)
{
    float v[3];
    std::memcpy(v, p, sizeof(v));
    return KxVector3(v[0], v[1], v[2]);
}

float ReadFloat(const uint8_t* p)
{
    float v;
    std::memcpy(&v, p, sizeof(v));
    return v;
}

uint32_t ReadColor(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, sizeof(v));
    return v;
}

// Where a vertex's components start, decoded once per draw. The position
// opens the vertex.
struct KxVertexLayout {
    explicit KxVertexLayout(const KxFvf& format)
        : stride(size_t(format.GetStride())), normal(format.ComponentOffset(KXFVF_NORMAL)),
          texCoord(format.ComponentOffset(KXFVF_TEX1)), diffuse(format.ComponentOffset(KXFVF_DIFFUSE)),
          bTexCoords(format.HasComponent(KXFVF_TEX1)),
          // A set of one float has no v to read.
          bSecondCoord(((format.GetFormat() >> 16) & 3u) != kOneFloatTexCoord)
    {
    }

    size_t stride;
    int32_t normal, texCoord, diffuse;
    bool bTexCoords, bSecondCoord;
};

// The complete triangles of the buffer. The count set at binding decides,
// but never more vertices than the block holds at the current format's
// stride, so a binding stride or a later format that disagrees with the
// data cannot make the cursor read past the block.
uint32_t TriangleCount(uint32_t vertexCount, const KxVertexBuffer& buffer, int32_t stride)
{
    if (stride <= 0)
        return 0;
    return std::min(vertexCount, buffer.length / uint32_t(stride)) / 3;
}

// One vertex of a format with normals into slot i of the batch; without
// texture coordinates u and v are 0.
void GatherVertex(const KxVertexLayout& layout, const uint8_t* vertex, KxVertexBatch& batch, int32_t i)
{
    float position[3], normal[3];
    std::memcpy(position, vertex, sizeof(position));
    std::memcpy(normal, vertex + layout.normal, sizeof(normal));
    batch.px[i] = position[0];
    batch.py[i] = position[1];
    batch.pz[i] = position[2];
    batch.nx[i] = normal[0];
    batch.ny[i] = normal[1];
    batch.nz[i] = normal[2];
    batch.u[i] = layout.bTexCoords ? ReadFloat(vertex + layout.texCoord) : 0.0f;
    batch.v[i] = layout.bTexCoords && layout.bSecondCoord ? ReadFloat(vertex + layout.texCoord + 4) : 0.0f;
}

}  // namespace

bool KxSoftwareRenderDevice::DrawPrimitive(uint32_t primitiveType, uint32_t startVertex, uint32_t primitiveCount)
{
    // Always a triangle list of the whole buffer.
    (void)primitiveType;
    (void)startVertex;
    (void)primitiveCount;
    return ProcessPrimitives();
}

bool KxSoftwareRenderDevice::ProcessPrimitives()
{
    if (!streamSource || !streamSource->data)
        return false;
    triangleList = StreamTriangles();
    return DrawTriangleList();
}

KxSoftwareRenderDevice::KxTriangleList KxSoftwareRenderDevice::StreamTriangles() const
{
    return {streamSource->data, streamSource->length,
            TriangleCount(vertexCount, *streamSource, vertexFormat.GetStride())};
}

bool KxSoftwareRenderDevice::DrawTriangleList()
{
    if (!vertexFormat.HasComponent(KXFVF_XYZRHW)) {
        MarkBackFaces();
        if (!CullToFrustum())
            return false;
        ApplyProjection();
    }
    if (IsRenderStateOn(kClippingBit))
        ApplyClipVolume();
    ApplyViewport();
    DrawTriangles();
    return true;
}

bool KxSoftwareRenderDevice::IsFrontFacing(const KxVector3& p0, const KxVector3& p1, const KxVector3& p2) const
{
    return KxFacesEye(eyePosition, p0, p1, p2);
}

bool KxSoftwareRenderDevice::CullBackFaces()
{
    triangleList = StreamTriangles();
    return MarkBackFaces();
}

bool KxSoftwareRenderDevice::MarkBackFaces()
{
    combinedMatrix = world;
    if (!vertexFormat.HasComponent(KXFVF_XYZ))
        return true;

    const uint32_t nTriangles = triangleList.count;
    triangleVisible.resize(nTriangles, false);
    if (UsesWorkers(nTriangles))
        CullTrianglesOnWorkers(nTriangles, &KxSoftwareRenderDevice::CullBackFacesOf);
    else
        CullBackFacesOf(0, nTriangles);
    return true;
}

void KxSoftwareRenderDevice::CullBackFacesOf(uint32_t first, uint32_t count)
{
    KxMarkKeptFaces(triangleList.data, triangleList.length, vertexFormat.GetStride(), first, count, combinedMatrix,
                    eyePosition, rasterStates.cullMode, triangleVisible);
}

bool KxSoftwareRenderDevice::CullToFrustum()
{
    combinedMatrix *= view;

    // The sphere is centred on the object's origin in world space.
    KxVector3& centre = streamSource->boundsCentre;
    centre = KxVector3(0.0f, 0.0f, 0.0f);
    centre.TransformPoint(world);

    if (IsRenderStateOn(kLightingBit)) {
        for (auto& entry : lights) {
            KxLightSet& lightSet = entry.second;
            if (lightSet.enabled)
                lightSet.light.Direction = -lightSet.storedDirection;
        }
    }

    frustum.Build(view, projection);
    switch (frustum.ClassifySphere(centre, streamSource->boundsRadius)) {
    case KxFrustum::Outside:
        return false;
    case KxFrustum::Inside:
        return true;
    case KxFrustum::Intersecting:
        break;
    default:
        KX_ASSERT(0, "kxsoftwarerenderdevice");
        return true;
    }

    if (!vertexFormat.HasComponent(KXFVF_XYZ))
        return true;
    const uint32_t nTriangles = std::min<uint32_t>(
        triangleList.count, uint32_t(triangleVisible.size()));
    if (UsesWorkers(nTriangles))
        CullTrianglesOnWorkers(nTriangles, &KxSoftwareRenderDevice::CullTrianglesToFrustum);
    else
        CullTrianglesToFrustum(0, nTriangles);
    return true;
}

void KxSoftwareRenderDevice::CullTrianglesToFrustum(uint32_t first, uint32_t count)
{
    const size_t stride = size_t(vertexFormat.GetStride());
    for (uint32_t i = first; i < first + count; ++i) {
        if (!triangleVisible[i])
            continue;
        const uint8_t* vertex = triangleList.data + size_t(i) * 3 * stride;
        KxVector3 p[3];
        for (KxVector3& position : p) {
            position = ReadVector3(vertex);
            vertex += stride;
            position.TransformPoint(world);
        }
        triangleVisible[i] = !frustum.ExcludesTriangle(p[0], p[1], p[2]);
    }
}

bool KxSoftwareRenderDevice::ApplyProjection()
{
    combinedMatrix *= projection;
    return true;
}

bool KxSoftwareRenderDevice::ApplyClipVolume()
{
    combinedMatrix *= clipMatrix;
    return true;
}

bool KxSoftwareRenderDevice::ApplyViewport()
{
    // The near plane is z = 0 of the space before the viewport.
    clipSpaceMatrix = combinedMatrix;
    combinedMatrix *= viewportMatrix;
    return true;
}

bool KxSoftwareRenderDevice::DrawTriangles()
{
    if (RenderStateField(kShadeModeShift) != KXSHADE_GOURAUD)
        return true;
    // Pre-transformed vertices end here; CullBackFaces has not sized the
    // flags for them.
    if (!vertexFormat.HasComponent(KXFVF_XYZ) || vertexFormat.HasComponent(KXFVF_XYZRHW))
        return true;
    const uint32_t nTriangles = std::min<uint32_t>(triangleList.count, uint32_t(triangleVisible.size()));
    if (vertexFormat.HasComponent(KXFVF_NORMAL))
        DrawLitTriangles(nTriangles);
    else if (vertexFormat.HasComponent(KXFVF_DIFFUSE))
        DrawColoredTriangles(nTriangles);
    return true;
}

// Positions go to the filler as they stand, without the composed transform:
// scene code may rely on this to draw geometry given in screen space.
void KxSoftwareRenderDevice::DrawColoredTriangles(uint32_t nTriangles)
{
    KxFillRows(WorkersFor(nTriangles), height, [&](const KxRowBand& band) { FillColoredTriangles(band, nTriangles); });
}

void KxSoftwareRenderDevice::FillColoredTriangles(const KxRowBand& band, uint32_t nTriangles)
{
    const KxVertexLayout layout(vertexFormat);
    for (uint32_t i = 0; i < nTriangles; ++i) {
        if (!triangleVisible[i])
            continue;
        const uint8_t* vertex = triangleList.data + size_t(i) * 3 * layout.stride;
        int32_t x[3], y[3];
        uint32_t color[3];
        for (int k = 0; k < 3; ++k, vertex += layout.stride) {
            const KxVector3 position = ReadVector3(vertex);
            x[k] = KxScreenCoordinate(position.x);
            y[k] = KxScreenCoordinate(position.y);
            color[k] = ReadColor(vertex + layout.diffuse);
        }
        FillGouraudTriangle(band, x[0], y[0], x[1], y[1], x[2], y[2], color[0], color[1], color[2]);
    }
}

// The visible triangles a batch at a time: their vertices gathered into the
// batch, transformed and lit together, then filled in buffer order. The
// world is the same for every triangle of the draw, and so are its inverse
// and the lighting terms: both are formed once, at the first visible
// triangle, where lighting the first vertex would have refreshed the
// material colour holders.
void KxSoftwareRenderDevice::DrawLitTriangles(uint32_t nTriangles)
{
    if (pWorkers) {
        DrawLitTrianglesOnWorkers(nTriangles);
        return;
    }
    KxMatrix4 normalMatrix;
    const KxVertexTransform transform = VertexTransform(normalMatrix);
    bool bPrepared = false;
    KxVertexBatch batch;
    for (uint32_t i = 0; i < nTriangles;) {
        i = GatherBatch(i, nTriangles, batch);
        if (batch.count == 0)
            break;
        if (!bPrepared) {
            PrepareVertexTransform(normalMatrix);
            bPrepared = true;
        }
        KxTransformVertices(transform, batch);
        FillBatch(KxRowBand(), batch, ~uint64_t(0) >> (64 - batch.count / 3), transform);
    }
}

// The depth-tested path is the one whose normals are normalised.
KxVertexTransform KxSoftwareRenderDevice::VertexTransform(const KxMatrix4& normalMatrix) const
{
    const bool bDepthTest = IsRenderStateOn(kZEnableBit);
    return {&combinedMatrix, &clipSpaceMatrix, &normalMatrix, &lightTerms, bDepthTest,
            vertexFormat.HasComponent(KXFVF_TEX1), &world};
}

// Normals go through the 3x3 of the inverse world, not its transpose.
void KxSoftwareRenderDevice::PrepareVertexTransform(KxMatrix4& normalMatrix)
{
    normalMatrix = world.Inverse().AffineCopy();
    PrepareLighting(lightTerms);
}

uint32_t KxSoftwareRenderDevice::GatherBatch(uint32_t first, uint32_t end, KxVertexBatch& batch) const
{
    const KxVertexLayout layout(vertexFormat);
    int32_t nGathered = 0;
    uint32_t i = first;
    for (; i < end && nGathered < KxVertexBatch::kTriangles; ++i) {
        if (!triangleVisible[i])
            continue;
        const uint8_t* vertex = triangleList.data + size_t(i) * 3 * layout.stride;
        for (int k = 0; k < 3; ++k, vertex += layout.stride)
            GatherVertex(layout, vertex, batch, 3 * nGathered + k);
        ++nGathered;
    }
    batch.count = 3 * nGathered;
    return i;
}

// Those whose three vertices need no clipping as they were transformed,
// the others through the clipper.
void KxSoftwareRenderDevice::FillBatch(const KxRowBand& band, const KxVertexBatch& b, uint64_t triangles,
                                       const KxVertexTransform& transform)
{
    const bool bDepthTest = transform.bNormalize;
    // Forced inline: it is the loop's whole body.
    auto fill = [this, &band, &b, bDepthTest](int32_t v0) __attribute__((always_inline)) {
        const int32_t v1 = v0 + 1, v2 = v0 + 2;
        if (bDepthTest) {
            RasterizeTriangle(band, b.x[v0], b.y[v0], b.z[v0], b.x[v1], b.y[v1], b.z[v1], b.x[v2], b.y[v2],
                              b.z[v2], b.color[v0], b.color[v1], b.color[v2], b.uOverW[v0], b.vOverW[v0],
                              b.uOverW[v1], b.vOverW[v1], b.uOverW[v2], b.vOverW[v2], b.invW[v0], b.invW[v1],
                              b.invW[v2]);
        } else {
            FillGouraudTriangle(band, b.x[v0], b.y[v0], b.x[v1], b.y[v1], b.x[v2], b.y[v2], b.color[v0],
                                b.color[v1], b.color[v2]);
        }
    };
    // Most batches have nothing to clip.
    if (!std::memchr(b.bUnclipped, 0, size_t(b.count))) {
        for (; triangles != 0; triangles &= triangles - 1)
            fill(3 * std::countr_zero(triangles));
        return;
    }
    for (; triangles != 0; triangles &= triangles - 1) {
        const int32_t v0 = 3 * std::countr_zero(triangles);
        if (b.bUnclipped[v0] & b.bUnclipped[v0 + 1] & b.bUnclipped[v0 + 2])
            fill(v0);
        else
            FillClipped(band, b, v0, transform);
    }
}

// A triangle that crosses the near plane or the guard band, cut before the
// divide; the fan of what is left takes its place. On several threads each
// band cuts it anew, the same way.
void KxSoftwareRenderDevice::FillClipped(const KxRowBand& band, const KxVertexBatch& b, int32_t first,
                                         const KxVertexTransform& transform)
{
    KxClipVertex corners[3];
    for (int32_t k = 0; k < 3; ++k) {
        const int32_t i = first + k;
        corners[k] = KxMakeClipVertex(b.px[i], b.py[i], b.pz[i], b.u[i], b.v[i], b.color[i], *transform.combined,
                                      *transform.clipSpace);
    }
    KxClipPolygon polygon;
    KxClipTriangle(corners[0], corners[1], corners[2], kGuardBand, polygon);
    KxProjectedVertex p[KxClipPolygon::kMaxVertices];
    for (int32_t i = 0; i < polygon.count; ++i)
        p[i] = KxProjectClipVertex(polygon.vertices[i], transform.bTexCoords);
    for (int32_t i = 0; i < polygon.TriangleCount(); ++i) {
        const KxClipPolygon::Corners fan = polygon.Triangle(i);
        const KxProjectedVertex &a = p[fan.a], &c = p[fan.b], &d = p[fan.c];
        if (transform.bNormalize) {
            RasterizeTriangle(band, a.x, a.y, a.z, c.x, c.y, c.z, d.x, d.y, d.z, a.color, c.color, d.color,
                              a.uOverW, a.vOverW, c.uOverW, c.vOverW, d.uOverW, d.vOverW, a.invW, c.invW, d.invW);
        } else {
            FillGouraudTriangle(band, a.x, a.y, c.x, c.y, d.x, d.y, a.color, c.color, d.color);
        }
    }
}
