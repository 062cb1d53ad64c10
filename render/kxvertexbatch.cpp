#include "render/kxvertexbatch.h"

#include <cmath>

#include "render/kxclipper.h"
#include "render/kxgeometry_avx2.h"

int32_t KxScreenCoordinate(float value)
{
    const double rounded = double(value) + 0.5;
    if (!(std::fabs(rounded) < 2147483648.0))
        return KxSoftwareRenderDevice::kMaxScreenCoordinate;
    return static_cast<int32_t>(rounded);
}

namespace {

KxVector3 WorldPosition(const KxVertexTransform& transform, const KxVertexBatch& b, int32_t i)
{
    KxVector3 position(b.px[i], b.py[i], b.pz[i]);
    position.TransformPoint(*transform.world);
    return position;
}

}  // namespace

void KxTransformVerticesScalar(const KxVertexTransform& transform, KxVertexBatch& b, int32_t first, int32_t count)
{
    for (int32_t i = first; i < first + count; ++i) {
        const double nearDistance = KxNearDistance(b.px[i], b.py[i], b.pz[i], *transform.clipSpace);
        KxVector3 position(b.px[i], b.py[i], b.pz[i]);
        const float w = position.TransformPoint(*transform.combined);
        b.x[i] = KxScreenCoordinate(position.x);
        b.y[i] = KxScreenCoordinate(position.y);
        b.z[i] = position.z;
        // Without texture coordinates there is nothing to divide.
        b.uOverW[i] = transform.bTexCoords ? float(double(b.u[i]) / w) : 0.0f;
        b.vOverW[i] = transform.bTexCoords ? float(double(b.v[i]) / w) : 0.0f;
        b.invW[i] = float(1.0 / w);
        b.bUnclipped[i] = KxNeedsNoClipping(nearDistance, w, b.x[i], b.y[i]);

        KxVector3 normal(b.nx[i], b.ny[i], b.nz[i]);
        normal.TransformNormal(*transform.normalMatrix);
        if (transform.bNormalize)
            normal = normal.Normalized();
        if (transform.lighting->bLocalLights)
            b.color[i] = transform.lighting->ShadeAt(normal, WorldPosition(transform, b, i));
        else
            b.color[i] = transform.lighting->Shade(normal);
    }
}

void KxShadeAtWorldPositions(const KxVertexTransform& transform, KxVertexBatch& b, int32_t first, int32_t count)
{
    for (int32_t i = first; i < first + count; ++i)
        b.color[i] = transform.lighting->ShadeAt(KxVector3(b.nx[i], b.ny[i], b.nz[i]), WorldPosition(transform, b, i));
}

void KxTransformVertices(const KxVertexTransform& transform, KxVertexBatch& batch)
{
    if (KxGeometryAvx2Available())
        KxTransformVerticesAvx2(transform, batch);
    else
        KxTransformVerticesScalar(transform, batch, 0, batch.count);
}
