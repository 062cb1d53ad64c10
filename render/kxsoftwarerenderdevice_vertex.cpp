// Vertex buffer creation and binding, and the current vertex format.
#include "render/kxsoftwarerenderdevice.h"

#include "render/kxboundsradius.h"

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
        // Measured afresh every time: the block may have changed since the
        // last binding, through Lock or not.
        buffer->boundsRadius = KxBoundsRadius(buffer->data, buffer->length, formatStride, count);
    }
    return true;
}
