// fuzz_pipeline: render states, transforms, viewport, clip volume, material
// and lights from the input, then a vertex buffer of the input's remaining
// bytes drawn under arbitrary formats and strides.
//
// The input: a flags byte; the formats given to CreateVertexBuffer, to SetFVF
// before binding and to SetFVF after it; the binding stride; a value for each
// render state; world, view and projection; viewport; clip volume; material;
// four lights (enable, diffuse, specular, ambient, direction; the enable
// word's second byte makes a point or spot light of it); the culling,
// depth, alpha test and blend states and the sampler states of stages 0 and
// 7 when the flags ask for them; the index format and DrawIndexedPrimitive's
// arguments when they ask for an indexed draw, whose indices are the vertex
// bytes read again; then the vertex bytes. Every field is 4 bytes, each
// record in its declared order.
#include <algorithm>
#include <cstring>

#include "fuzz/kxfuzzdrivers.h"

namespace {

constexpr uint32_t kRenderStateCodes[] = {7, 9, 29, 136, 137, 139, 143, 145, 146, 147, 148};
constexpr size_t kMaxVertexBytes = 1 << 14;

void ReadState(KxSoftwareRenderDevice& device, KxFuzzReader& in)
{
    uint32_t value = 0;
    for (uint32_t code : kRenderStateCodes) {
        in(value);
        device.SetRenderState(code, value);
    }
    KxMatrix4 transform;
    for (uint32_t state : {KXTS_WORLD, KXTS_VIEW, KXTS_PROJECTION}) {
        in(transform);
        device.SetTransform(state, &transform);
    }
    KxViewport viewport;
    in(viewport);
    device.SetViewport(&viewport);
    KxClipVolume clip;
    in(clip);
    device.SetClipVolume(&clip);
    KxMaterial material;
    in(material);
    device.SetMaterial(&material);
    for (int i = 0; i < 4; ++i) {
        int32_t enable = 0;
        KxLight light;
        in(enable);
        for (KxColor* color : {&light.Diffuse, &light.Specular, &light.Ambient})
            in(*color);
        in(light.Direction);
        // The enable word's second byte picks point and spot lights; their
        // place, range, attenuations and cone come from fields already read,
        // so the input keeps its layout.
        light.Type = int32_t((uint32_t(enable) >> 8) & 3u);
        light.Position = KxVector3(light.Diffuse.a, light.Specular.a, light.Ambient.a);
        light.Range = light.Direction.x;
        light.Attenuation0 = light.Diffuse.r;
        light.Attenuation1 = light.Specular.g;
        light.Attenuation2 = light.Ambient.b;
        light.Theta = light.Direction.y;
        light.Phi = light.Direction.z;
        light.Falloff = light.Diffuse.g;
        device.SetLight(i, &light);
        device.LightEnable(i, enable);
    }
    // Reading back converts the stored floats to integers again.
    device.GetViewport(&viewport);
    for (uint32_t code : kRenderStateCodes)
        device.GetRenderState(code, &value);
}

}  // namespace

bool KxFuzzPipeline(KxFuzzContext& context, const uint8_t* data, size_t size)
{
    KxFuzzReader in(data, size);
    uint8_t flags = 0;
    uint32_t createFvf = 0, bindFvf = 0, drawFvf = 0, stride = 0;
    in(flags);
    for (uint32_t* value : {&createFvf, &bindFvf, &drawFvf, &stride})
        in(*value);
    context.Begin(flags, 0xFF0000, 1.0f);
    KxSoftwareRenderDevice& device = context.Device();
    ReadState(device, in);
    if (flags & kFuzzRasterStates)
        context.ReadRasterStates(in);
    if (flags & kFuzzSamplerStates)
        context.ReadSamplerStates(in);
    // Index format, type, base vertex, minimum index, vertex count, start
    // index, primitive count.
    uint32_t indexed[7] = {};
    if (flags & kFuzzIndexed)
        for (uint32_t& value : indexed)
            in(value);

    const size_t length = std::min(in.Remaining(), kMaxVertexBytes);
    KxVertexBuffer* buffer = nullptr;
    device.CreateVertexBuffer(uint32_t(length), 0, createFvf, 1, &buffer, nullptr);
    void* vertices = nullptr;
    if (buffer && buffer->Lock(0, uint32_t(length), &vertices, 0)) {
        if (length)
            std::memcpy(vertices, in.Position(), length);
        buffer->Unlock();
    }
    device.SetFVF(bindFvf);
    device.SetStreamSource(0, buffer, 0, stride);
    if (flags & kFuzzFormatAfterBind)
        device.SetFVF(drawFvf);
    device.DrawPrimitive(KXPT_TRIANGLELIST, 0, 0);
    if (flags & kFuzzDrawTwice)
        device.DrawPrimitive(KXPT_TRIANGLELIST, 0, 0);
    KxIndexBuffer* indices = nullptr;
    if ((flags & kFuzzIndexed) && device.CreateIndexBuffer(uint32_t(length), 0, indexed[0], 1, &indices, nullptr)) {
        if (length)
            std::memcpy(indices->data, in.Position(), length);
        device.SetIndices(indices);
        device.DrawIndexedPrimitive(indexed[1], int32_t(indexed[2]), indexed[3], indexed[4], indexed[5], indexed[6]);
    }

    context.ParkStream();
    device.SetIndices(nullptr);
    if (indices)
        indices->Release();
    if (buffer)
        buffer->Release();
    return context.End();
}
