// The primitive pipeline: culling, transformation and lighting of the bound
// vertex buffer, drawn as a triangle list by the two fillers.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "math/kxassert.h"
#include "render/kxsoftwarerenderdevice.h"

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

// One vertex as the buffer holds it; what the format lacks stays zero.
struct KxGatheredVertex {
    KxVector3 position;
    KxVector3 normal;
    float u = 0.0f;
    float v = 0.0f;
    uint32_t color = 0;
};

// Reads the cursor's vertex and moves on to the next. A vertex with a normal
// gives its texture coordinates, one without gives its diffuse colour.
KxGatheredVertex GatherVertex(KxFvf& format)
{
    KxGatheredVertex vertex;
    vertex.position = ReadVector3(format.Seek(0, KXFVF_XYZ));
    if (format.HasComponent(KXFVF_NORMAL)) {
        vertex.normal = ReadVector3(format.Seek(KXFVF_XYZ, KXFVF_NORMAL));
        if (format.HasComponent(KXFVF_TEX1)) {
            const uint8_t* pTexCoord = format.Seek(KXFVF_NORMAL, KXFVF_TEX1);
            vertex.u = ReadFloat(pTexCoord);
            // A set of one float has no v to read.
            if (((format.GetFormat() >> 16) & 3u) != kOneFloatTexCoord)
                vertex.v = ReadFloat(pTexCoord + sizeof(float));
        }
    } else if (format.HasComponent(KXFVF_DIFFUSE)) {
        vertex.color = ReadColor(format.Seek(KXFVF_XYZ, KXFVF_DIFFUSE));
    }
    format.NextVertex();
    return vertex;
}

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

// Float screen position plus 0.5, truncated toward zero. Non-finite and far
// out values become a coordinate the fillers reject, not an undefined
// conversion.
int32_t ScreenCoordinate(float value)
{
    const double rounded = double(value) + 0.5;
    if (!(std::fabs(rounded) < 2147483648.0))
        return KxSoftwareRenderDevice::kMaxScreenCoordinate;
    return static_cast<int32_t>(rounded);
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
    if (!vertexFormat.HasComponent(KXFVF_XYZRHW)) {
        CullBackFaces();
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
    const KxVector3 normal = (p1 - p0).Cross(p2 - p0);
    const KxVector3 toEye = eyePosition - p0;
    return toEye.Dot(normal) >= 0.0f;  // edge-on counts as front-facing
}

bool KxSoftwareRenderDevice::CullBackFaces()
{
    combinedMatrix = world;
    if (!vertexFormat.HasComponent(KXFVF_XYZ))
        return true;

    vertexFormat.Rewind();
    const uint32_t nTriangles = TriangleCount(vertexCount, *streamSource, vertexFormat.GetStride());
    triangleVisible.resize(nTriangles, false);
    for (uint32_t i = 0; i < nTriangles; ++i) {
        KxVector3 p[3];
        for (KxVector3& position : p) {
            position = ReadVector3(vertexFormat.Seek(0, KXFVF_XYZ));
            vertexFormat.NextVertex();
            position.TransformPoint(combinedMatrix);
        }
        triangleVisible[i] = IsFrontFacing(p[0], p[1], p[2]);
    }
    return true;
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
    vertexFormat.Rewind();
    const uint32_t nTriangles = TriangleCount(vertexCount, *streamSource, vertexFormat.GetStride());
    for (uint32_t i = 0; i < nTriangles; ++i) {
        KxVector3 p[3];
        for (KxVector3& position : p) {
            position = ReadVector3(vertexFormat.Seek(0, KXFVF_XYZ));
            vertexFormat.NextVertex();
        }
        if (!triangleVisible[i])
            continue;
        for (KxVector3& position : p)
            position.TransformPoint(world);
        triangleVisible[i] = frustum.ContainsAnyVertex(p[0], p[1], p[2]);
    }
    return true;
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
    const bool bNormals = vertexFormat.HasComponent(KXFVF_NORMAL);
    if (!bNormals && !vertexFormat.HasComponent(KXFVF_DIFFUSE))
        return true;
    const bool bTexCoords = vertexFormat.HasComponent(KXFVF_TEX1);
    const bool bDepthTest = IsRenderStateOn(kZEnableBit);

    vertexFormat.Rewind();
    const uint32_t nTriangles = TriangleCount(vertexCount, *streamSource, vertexFormat.GetStride());
    for (uint32_t i = 0; i < nTriangles; ++i) {
        KxGatheredVertex vertex[3];
        for (KxGatheredVertex& gathered : vertex)
            gathered = GatherVertex(vertexFormat);
        if (!triangleVisible[i])
            continue;

        if (!bNormals) {
            // Positions go to the filler as they stand, without the composed
            // transform: scene code may rely on this to draw geometry given
            // in screen space.
            FillGouraudTriangle(ScreenCoordinate(vertex[0].position.x), ScreenCoordinate(vertex[0].position.y),
                                ScreenCoordinate(vertex[1].position.x), ScreenCoordinate(vertex[1].position.y),
                                ScreenCoordinate(vertex[2].position.x), ScreenCoordinate(vertex[2].position.y),
                                vertex[0].color, vertex[1].color, vertex[2].color);
            continue;
        }

        float w[3];
        int32_t x[3];
        int32_t y[3];
        for (int k = 0; k < 3; ++k) {
            w[k] = vertex[k].position.TransformPoint(combinedMatrix);
            x[k] = ScreenCoordinate(vertex[k].position.x);
            y[k] = ScreenCoordinate(vertex[k].position.y);
        }
        // Normals go through the 3x3 of the inverse world, not its transpose.
        const KxMatrix4 normalMatrix = world.Inverse().AffineCopy();
        for (KxGatheredVertex& gathered : vertex)
            gathered.normal.TransformNormal(normalMatrix);

        uint32_t color[3];
        if (bDepthTest) {
            float uOverW[3];
            float vOverW[3];
            float invW[3];
            for (int k = 0; k < 3; ++k) {
                color[k] = LightVertex(vertex[k].normal.Normalized());
                // Without texture coordinates there is nothing to divide.
                uOverW[k] = bTexCoords ? float(double(vertex[k].u) / w[k]) : 0.0f;
                vOverW[k] = bTexCoords ? float(double(vertex[k].v) / w[k]) : 0.0f;
                invW[k] = float(1.0 / w[k]);
            }
            RasterizeTriangle(x[0], y[0], vertex[0].position.z, x[1], y[1], vertex[1].position.z,
                              x[2], y[2], vertex[2].position.z, color[0], color[1], color[2],
                              uOverW[0], vOverW[0], uOverW[1], vOverW[1], uOverW[2], vOverW[2],
                              invW[0], invW[1], invW[2]);
        } else {
            for (int k = 0; k < 3; ++k)
                color[k] = LightVertex(vertex[k].normal);
            FillGouraudTriangle(x[0], y[0], x[1], y[1], x[2], y[2], color[0], color[1], color[2]);
        }
    }
    return true;
}
