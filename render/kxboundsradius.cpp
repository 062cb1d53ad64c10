#include "render/kxboundsradius.h"

#include <cstring>

#include "math/kxvector3.h"
#include "render/kxgeometry_avx2.h"

float KxBoundsRadiusScalar(const uint8_t* data, size_t stride, uint32_t first, uint32_t count, float radius)
{
    for (uint32_t i = first; i < first + count; ++i) {
        float xyz[3];
        std::memcpy(xyz, data + size_t(i) * stride, sizeof(xyz));
        const float d = KxVector3(xyz[0], xyz[1], xyz[2]).Length();
        if (d > radius)
            radius = d;
    }
    return radius;
}

float KxBoundsRadius(const uint8_t* data, size_t length, size_t stride, uint32_t count)
{
    float radius = 0.0f;
    uint32_t done = 0;
    if (KxGeometryAvx2Available())
        done = KxBoundsRadiusAvx2(data, length, stride, count, radius);
    return KxBoundsRadiusScalar(data, stride, done, count - done, radius);
}
