#include "render/kxbackfaces.h"

#include <cstring>

#include "render/kxgeometry_avx2.h"

void KxMarkFrontFacesScalar(const uint8_t* data, int32_t stride, uint32_t first, uint32_t count,
                            const KxMatrix4& world, const KxVector3& eye, std::vector<bool>& front)
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
        front[i] = KxFacesEye(eye, p[0], p[1], p[2]);
    }
}

void KxMarkFrontFaces(const uint8_t* data, size_t length, int32_t stride, uint32_t first, uint32_t count,
                      const KxMatrix4& world, const KxVector3& eye, std::vector<bool>& front)
{
    uint32_t done = 0;
    if (KxGeometryAvx2Available())
        done = KxMarkFrontFacesAvx2(data, length, stride, first, count, world, eye, front);
    KxMarkFrontFacesScalar(data, stride, first + done, count - done, world, eye, front);
}
