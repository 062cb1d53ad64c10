// Byte layouts of the fuzz inputs. Each layout is one Visit function that
// names its fields in order; the reader (the drivers) and the writer (the
// seed generator) both walk it, so the two can never disagree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

#include "math/kxcolor.h"
#include "math/kxmatrix4.h"
#include "math/kxvector3.h"
#include "render/kxdevicestate.h"
#include "render/kxlight.h"

// Reads little-endian values off the input; bytes past its end read as zero,
// so every input, however short, decodes to something.
class KxFuzzReader {
public:
    KxFuzzReader(const uint8_t* data, size_t size) : pData(data), nRemaining(size) {}

    template <typename T>
    void operator()(T& value)
    {
        static_assert(std::is_trivially_copyable_v<T>);
        uint8_t bytes[sizeof(T)] = {};
        const size_t n = nRemaining < sizeof(T) ? nRemaining : sizeof(T);
        if (n)
            std::memcpy(bytes, pData, n);
        pData += n;
        nRemaining -= n;
        std::memcpy(&value, bytes, sizeof(T));
    }

    bool AtEnd() const { return nRemaining == 0; }
    size_t Remaining() const { return nRemaining; }
    const uint8_t* Position() const { return pData; }

private:
    const uint8_t* pData;
    size_t nRemaining;
};

class KxFuzzWriter {
public:
    template <typename T>
    void operator()(const T& value)
    {
        static_assert(std::is_trivially_copyable_v<T>);
        const uint8_t* p = reinterpret_cast<const uint8_t*>(&value);
        bytes.insert(bytes.end(), p, p + sizeof(T));
    }

    void Append(const void* data, size_t size)
    {
        const uint8_t* p = static_cast<const uint8_t*>(data);
        bytes.insert(bytes.end(), p, p + size);
    }

    std::vector<uint8_t> bytes;
};

template <class Archive, class T>
void KxVisitColor(Archive& a, T& c)
{
    a(c.r);
    a(c.g);
    a(c.b);
    a(c.a);
}

template <class Archive, class T>
void KxVisitVector(Archive& a, T& v)
{
    a(v.x);
    a(v.y);
    a(v.z);
}

template <class Archive, class T>
void KxVisitMatrix(Archive& a, T& m)
{
    for (auto& row : m.m)
        for (auto& value : row)
            a(value);
}

// ---- fuzz_raster: a set-up record, then up to kMaxOps operations, each an
// op byte followed by its record. The op is the byte's low three bits, so an
// op added later changes the meaning of no input that a test keeps.

enum KxFuzzFlags : uint8_t {
    kFuzzTextureStage0 = 1,   // bind the fuzz texture to stage 0
    kFuzzTextureStage7 = 2,   // and/or to stage 7
    kFuzzDepth32 = 4,         // draw with the 32-bit depth buffer
    kFuzzDrawTwice = 8,       // pipeline: a second DrawPrimitive with the same state
    kFuzzFormatAfterBind = 16 // pipeline: SetFVF(drawFvf) after SetStreamSource
};

struct KxFuzzRasterSetup {
    uint8_t flags = 0;
    uint32_t clearColor = 0;
    float clearZ = 1.0f;

    template <class Archive>
    void Visit(Archive& a)
    {
        a(flags);
        a(clearColor);
        a(clearZ);
    }
};

enum class KxFuzzRasterOp : uint8_t {
    Triangle,  // RasterizeTriangle
    Gouraud,   // FillGouraudTriangle
    Line,      // DrawLine
    Lines,     // DrawHorizontalLine, DrawVerticalLine, PutPixel, DrawGouraudSpan
    Span,      // RasterizeSpan
    Clip,      // ClipLine against an arbitrary rectangle
    Halves,    // the flat-bottom and flat-top walkers of both fillers, called directly
    Unused     // does nothing and reads nothing
};
constexpr uint8_t kFuzzRasterOpMask = 7;

struct KxFuzzScreenVertex {
    int32_t x = 0, y = 0;
    float z = 0.0f;
    uint32_t color = 0;
    float uOverW = 0.0f, vOverW = 0.0f, invW = 1.0f;

    template <class Archive>
    void Visit(Archive& a)
    {
        a(x);
        a(y);
        a(z);
        a(color);
        a(uOverW);
        a(vOverW);
        a(invW);
    }
};

struct KxFuzzGouraudVertex {
    int32_t x = 0, y = 0;
    uint32_t color = 0;

    template <class Archive>
    void Visit(Archive& a)
    {
        a(x);
        a(y);
        a(color);
    }
};

// Four integers and a colour: line ends, span ends and row, or a clip
// rectangle after the segment (Clip reads eight integers).
struct KxFuzzIntRecord {
    int32_t v[4] = {};
    uint32_t color = 0;

    template <class Archive>
    void Visit(Archive& a)
    {
        for (int32_t& value : v)
            a(value);
        a(color);
    }
};

// ---- fuzz_pipeline: this header, then the vertex buffer's bytes (the rest
// of the input, at most kMaxVertexBytes).

constexpr uint32_t kFuzzRenderStateCodes[] = {7, 9, 29, 136, 137, 139, 143, 145, 146, 147, 148};
constexpr int kFuzzRenderStateCount = sizeof(kFuzzRenderStateCodes) / sizeof(kFuzzRenderStateCodes[0]);
constexpr int kFuzzLightCount = 4;  // lights 0 to 3, all set on every input
constexpr size_t kFuzzMaxVertexBytes = 1 << 14;

struct KxFuzzLightRecord {
    int32_t enable = 0;
    KxLight light;

    template <class Archive>
    void Visit(Archive& a)
    {
        a(enable);
        KxVisitColor(a, light.Diffuse);
        KxVisitColor(a, light.Specular);
        KxVisitColor(a, light.Ambient);
        KxVisitVector(a, light.Direction);
    }
};

struct KxFuzzPipelineHeader {
    uint8_t flags = 0;
    uint32_t createFvf = 0;  // CreateVertexBuffer's format
    uint32_t bindFvf = 0;    // SetFVF before SetStreamSource
    uint32_t drawFvf = 0;    // SetFVF after it, with kFuzzFormatAfterBind
    uint32_t stride = 0;     // SetStreamSource's stride
    uint32_t renderStates[kFuzzRenderStateCount] = {};
    KxMatrix4 world, view, projection;
    KxViewport viewport;
    KxClipVolume clip;
    KxMaterial material;
    KxFuzzLightRecord lights[kFuzzLightCount];

    template <class Archive>
    void Visit(Archive& a)
    {
        a(flags);
        a(createFvf);
        a(bindFvf);
        a(drawFvf);
        a(stride);
        for (uint32_t& value : renderStates)
            a(value);
        KxVisitMatrix(a, world);
        KxVisitMatrix(a, view);
        KxVisitMatrix(a, projection);
        a(viewport.X);
        a(viewport.Y);
        a(viewport.Width);
        a(viewport.Height);
        a(viewport.MinZ);
        a(viewport.MaxZ);
        a(clip.ClipX);
        a(clip.ClipWidth);
        a(clip.ClipY);
        a(clip.ClipHeight);
        a(clip.MinZ);
        a(clip.MaxZ);
        KxVisitColor(a, material.Diffuse);
        KxVisitColor(a, material.Ambient);
        KxVisitColor(a, material.Specular);
        KxVisitColor(a, material.Emissive);
        a(material.Power);
        for (KxFuzzLightRecord& light : lights)
            light.Visit(a);
    }
};
