// Vertex buffer creation and binding, and the current vertex format.
#include "render/kxsoftwarerenderdevice.h"

#include <cstring>

namespace {

KxVector3 ReadPosition(const uint8_t* p)
{
    float xyz[3];
    std::memcpy(xyz, p, sizeof(xyz));
    return KxVector3(xyz[0], xyz[1], xyz[2]);
}

// Radius of the origin-centred sphere around the first count positions,
// which open their vertices.
float ComputeBoundsRadius(const uint8_t* data, int32_t stride, uint32_t count)
{
    float radius = 0.0f;
    for (uint32_t i = 0; i < count; ++i) {
        KxVector3 p = ReadPosition(data + size_t(i) * size_t(stride));
        float d = p.Length();
        if (d > radius)
            radius = d;
    }
    return radius;
}

}  // namespace

bool KxSoftwareRenderDevice::CreateVertexBuffer(uint32_t length, uint32_t, uint32_t fvf, uint32_t,
                                                KxVertexBuffer** buffer, HANDLE*)
{
    // Without somewhere to put it the buffer could only leak.
    if (!buffer)
        return false;
    vertexFormat.SetFormat(fvf);
    *buffer = new KxVertexBuffer(length);
    if (length > 0 && !(*buffer)->data) {
        // Reporting success for a buffer without memory would hide the failure.
        (*buffer)->Release();
        *buffer = nullptr;
        return false;
    }
    return true;
}

bool KxSoftwareRenderDevice::SetFVF(uint32_t fvf)
{
    vertexFormat.SetFormat(fvf);
    return true;
}

bool KxSoftwareRenderDevice::GetFVF(uint32_t* fvf) const
{
    if (!fvf)
        return false;
    *fvf = vertexFormat.GetFormat();
    return true;
}

bool KxSoftwareRenderDevice::SetStreamSource(uint32_t, KxVertexBuffer* buffer, uint32_t, uint32_t stride)
{
    if (!buffer || stride == 0)
        return false;

    streamSource = buffer;
    vertexCount = buffer->length / stride;
    vertexFormat.SetData(buffer->data);

    if (vertexFormat.HasComponent(KXFVF_XYZ) && buffer->data) {
        // The cursor steps by the format's stride, which may exceed the one
        // given here: only vertices that lie wholly inside the block are read.
        uint32_t formatStride = static_cast<uint32_t>(vertexFormat.GetStride());
        uint32_t inside = buffer->length / formatStride;
        uint32_t count = vertexCount < inside ? vertexCount : inside;
        // Binding the same unchanged block again finds the radius it had.
        float radius;
        if (!buffer->FindCachedRadius(int32_t(formatStride), count, radius)) {
            radius = ComputeBoundsRadius(buffer->data, int32_t(formatStride), count);
            buffer->CacheRadius(int32_t(formatStride), count, radius);
        }
        buffer->boundsRadius = radius;
    }
    return true;
}
