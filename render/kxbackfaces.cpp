#include "render/kxbackfaces.h"

#include <algorithm>
#include <cstring>

#include "render/kxgeometry_avx2.h"

void KxMarkKeptFacesScalar(const uint8_t* data, int32_t stride, uint32_t first, uint32_t count,
                           const KxMatrix4& world, const KxVector3& eye, uint32_t cullMode, std::vector<bool>& kept)
{
    const uint8_t* vertex = data + size_t(first) * 3 * size_t(stride);
    for (uint32_t i = first; i < first + count; ++i) {
        KxVector3 p[3];
        for (KxVector3& position : p) {
            float xyz[3];
            std::memcpy(xyz, vertex, sizeof(xyz));
            vertex += stride;
            position = KxVector3(xyz[0], xyz[1], xyz[2]);
            position.TransformPoint(world);
        }
        kept[i] = KxKeepsFace(cullMode, KxFacingDot(eye, p[0], p[1], p[2]));
    }
}

void KxMarkKeptFaces(const uint8_t* data, size_t length, int32_t stride, uint32_t first, uint32_t count,
                     const KxMatrix4& world, const KxVector3& eye, uint32_t cullMode, std::vector<bool>& kept)
{
    // Nothing to test: every triangle is drawn.
    if (cullMode == KXCULL_NONE) {
        std::fill(kept.begin() + first, kept.begin() + first + count, true);
        return;
    }
    uint32_t done = 0;
    if (KxGeometryAvx2Available())
        done = KxMarkKeptFacesAvx2(data, length, stride, first, count, world, eye, cullMode, kept);
    KxMarkKeptFacesScalar(data, stride, first + done, count - done, world, eye, cullMode, kept);
}
