// fuzz_pipeline: render states, transforms, viewport, clip volume, material
// and lights from the input, then a vertex buffer of the input's remaining
// bytes drawn under arbitrary formats and strides.
#include <algorithm>
#include <cstring>

#include "fuzz/kxfuzzdrivers.h"
#include "fuzz/kxfuzzinput.h"

namespace {

void ApplyState(KxSoftwareRenderDevice& device, KxFuzzPipelineHeader& header)
{
    for (int i = 0; i < kFuzzRenderStateCount; ++i)
        device.SetRenderState(kFuzzRenderStateCodes[i], header.renderStates[i]);
    device.SetTransform(KXTS_WORLD, &header.world);
    device.SetTransform(KXTS_VIEW, &header.view);
    device.SetTransform(KXTS_PROJECTION, &header.projection);
    device.SetViewport(&header.viewport);
    device.SetClipVolume(&header.clip);
    device.SetMaterial(&header.material);
    for (int i = 0; i < kFuzzLightCount; ++i) {
        device.SetLight(i, &header.lights[i].light);
        device.LightEnable(i, header.lights[i].enable);
    }
    // Reading back converts the stored floats to integers again.
    KxViewport viewport;
    device.GetViewport(&viewport);
    uint32_t value = 0;
    for (uint32_t code : kFuzzRenderStateCodes)
        device.GetRenderState(code, &value);
}

}  // namespace

bool KxFuzzPipeline(KxFuzzContext& context, const uint8_t* data, size_t size)
{
    KxFuzzReader in(data, size);
    KxFuzzPipelineHeader header;
    header.Visit(in);
    context.Begin(header.flags, 0xFF0000, 1.0f);
    KxSoftwareRenderDevice& device = context.Device();
    ApplyState(device, header);

    const size_t length = std::min(in.Remaining(), kFuzzMaxVertexBytes);
    KxVertexBuffer* buffer = nullptr;
    device.CreateVertexBuffer(uint32_t(length), 0, header.createFvf, 1, &buffer, nullptr);
    void* vertices = nullptr;
    if (buffer && buffer->Lock(0, uint32_t(length), &vertices, 0)) {
        if (length)
            std::memcpy(vertices, in.Position(), length);
        buffer->Unlock();
    }

    device.SetFVF(header.bindFvf);
    device.SetStreamSource(0, buffer, 0, header.stride);
    if (header.flags & kFuzzFormatAfterBind)
        device.SetFVF(header.drawFvf);
    device.DrawPrimitive(KXPT_TRIANGLELIST, 0, 0);
    if (header.flags & kFuzzDrawTwice)
        device.DrawPrimitive(KXPT_TRIANGLELIST, 0, 0);

    context.ParkStream();
    if (buffer)
        buffer->Release();
    return context.End();
}
