// Sampler states and the sampler they configure: how texture coordinates
// outside 0..1 come back into the image (wrap, mirror, clamp) and how texels
// are filtered (point or bilinear). Defaults sample as the device always did.
#pragma once

#include <cstdint>

#include "render/kxdib.h"

// Sampler-state types (Direct3D 9 numbering).
enum : uint32_t {
    KXSAMP_ADDRESSU = 1,
    KXSAMP_ADDRESSV = 2,
    KXSAMP_MAGFILTER = 5,
    KXSAMP_MINFILTER = 6,
};

// Texture addressing modes.
enum : uint32_t {
    KXTADDRESS_WRAP = 1,
    KXTADDRESS_MIRROR = 2,
    KXTADDRESS_CLAMP = 3,
};

// Texture filters.
enum : uint32_t {
    KXTEXF_POINT = 1,
    KXTEXF_LINEAR = 2,
};

// One stage's sampler states. The defaults, clamp and point, are the
// device's sampling without them; Direct3D 9's default addressing is wrap.
struct KxSamplerStates {
    uint32_t addressU = KXTADDRESS_CLAMP;
    uint32_t addressV = KXTADDRESS_CLAMP;
    uint32_t magFilter = KXTEXF_POINT;
    uint32_t minFilter = KXTEXF_POINT;

    // False, changing nothing, for another type or a value outside its set.
    bool Set(uint32_t type, uint32_t value);
    bool Get(uint32_t type, uint32_t* value) const;
    bool IsDefault() const
    {
        return addressU == KXTADDRESS_CLAMP && addressV == KXTADDRESS_CLAMP && magFilter == KXTEXF_POINT &&
               minFilter == KXTEXF_POINT;
    }
};

// How u/w, v/w and 1/w change from one pixel to the next across (x) and
// down (y) the screen: a pixel's footprint on the texture, which decides
// whether the texture is magnified there.
struct KxTexelGradients {
    double uX = 0, vX = 0, qX = 0;
    double uY = 0, vY = 0, qY = 0;
};

// The gradients of the plane through three screen points, each with its
// u/w, v/w and 1/w.
KxTexelGradients KxPlaneGradients(const int32_t x[3], const int32_t y[3], const float u[3], const float v[3],
                                  const float q[3]);

// Samples one texture under one stage's states. The fillers hand it a
// pixel's u/w, v/w and 1/w; when the magnification and minification filters
// differ it needs the gradients of the triangle being filled. Made for
// every half triangle: under the default states it only notes the texture.
class KxSampler {
public:
    KxSampler(const KxTexture* texture, const KxSamplerStates& samplerStates)
        : pTexture(texture), bDefault(!texture || samplerStates.IsDefault() || !texture->GetBits())
    {
        if (!bDefault)
            Configure(samplerStates);
    }

    const KxTexture* Texture() const { return pTexture; }
    // Whether it samples as the fast paths do: clamp and point, or no texels.
    bool IsDefault() const { return bDefault; }
    bool ChoosesFilterPerPixel() const { return !bDefault && bPerPixel; }
    void SetGradients(const KxTexelGradients& gradients) { this->gradients = gradients; }

    // The texel of a pixel, with its alpha in bits 24-31 (255 in an image
    // without alpha); 0 without texels.
    uint32_t SampleAt(float uOverW, float vOverW, float invW) const;
    // The texel at s, t under the magnification or the minification filter.
    uint32_t Sample(float s, float t, bool bMagnified) const;
    // Whether the pixel's footprint spans at most one texel each way.
    bool IsMagnified(float s, float t, float invW) const;

private:
    // Two neighbouring texels along an axis and the second one's weight,
    // of 256.
    struct Pair {
        int32_t first, second, weight;
    };
    // One axis of n texels under its address mode, whose indices repeat
    // every period texels (n, or 2n mirrored).
    struct Axis {
        int32_t n;
        uint32_t mode;
        int32_t period;

        void Set(int32_t size, uint32_t addressMode);
        int32_t Point(float c) const;
        Pair Linear(float c) const;
    };

    void Configure(const KxSamplerStates& samplerStates);
    uint32_t Texel(int32_t column, int32_t row) const;
    uint32_t Linear(float s, float t) const;

    const KxTexture* const pTexture;
    const bool bDefault;
    // The rest is set only when the sampling is not the default.
    bool bPerPixel;
    const uint8_t* pBits;
    const uint8_t* pAlpha;
    int32_t nWidth, nHeight;
    Axis u, v;
    KxSamplerStates states;
    KxTexelGradients gradients;
};
