#include "render/kxsampler.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

namespace {

struct KxSamplerStateField {
    uint32_t type;
    uint32_t KxSamplerStates::*member;
    uint32_t first, last;
};

constexpr KxSamplerStateField kSamplerStateFields[] = {
    {KXSAMP_ADDRESSU, &KxSamplerStates::addressU, KXTADDRESS_WRAP, KXTADDRESS_CLAMP},
    {KXSAMP_ADDRESSV, &KxSamplerStates::addressV, KXTADDRESS_WRAP, KXTADDRESS_CLAMP},
    {KXSAMP_MAGFILTER, &KxSamplerStates::magFilter, KXTEXF_POINT, KXTEXF_LINEAR},
    {KXSAMP_MINFILTER, &KxSamplerStates::minFilter, KXTEXF_POINT, KXTEXF_LINEAR},
};

const KxSamplerStateField* FindSamplerStateField(uint32_t type)
{
    for (const KxSamplerStateField& field : kSamplerStateFields)
        if (field.type == type)
            return &field;
    return nullptr;
}

// x mod period in 0..period-1, for a finite x that is a whole number: exact
// for every such double, as fmod is; the integers take the usual sizes.
int32_t WrapIndex(double x, int32_t period)
{
    if (std::fabs(x) < 0x1p62) {
        const int64_t r = int64_t(x) % period;
        return int32_t(r < 0 ? r + period : r);
    }
    const double r = std::fmod(x, double(period));
    return int32_t(r < 0 ? r + period : r);
}

// An index into two copies of n texels, the second reversed.
int32_t MirrorIndex(int32_t m, int32_t n)
{
    return m < n ? m : 2 * n - 1 - m;
}

// The point rule along an axis of n texels: texel floor(n c) - 1, clamped
// into the image (the device's rule without sampler states) or taken
// around the texture's period. n c is exact in double for every float c.
int32_t PointIndex(uint32_t mode, int32_t n, float c)
{
    const double scaled = double(n) * double(c);
    if (mode == KXTADDRESS_CLAMP)
        return KxDib::TexelIndex(n, scaled);
    if (!std::isfinite(scaled))
        return 0;
    const int32_t period = mode == KXTADDRESS_WRAP ? n : 2 * n;
    const int32_t r = WrapIndex(std::floor(scaled), period);
    const int32_t index = r == 0 ? period - 1 : r - 1;
    return mode == KXTADDRESS_WRAP ? index : MirrorIndex(index, n);
}

// Two neighbouring texels along an axis and the second one's weight, of 256.
struct KxTexelPair {
    int32_t first, second, weight;
};

// The bilinear pair along an axis of n texels, texel i centred at
// (i + 0.5) / n: the position floor(256 n c) - 128 in 1/256 texel (exact:
// n c and its multiple by 256 are exact in double), its whole texels the
// first of the pair, the rest the second's weight.
KxTexelPair LinearPair(uint32_t mode, int32_t n, float c)
{
    const double scaled = std::floor(double(n) * double(c) * 256.0);
    if (mode == KXTADDRESS_CLAMP) {
        // Clamping the position to the image gives the pairs that clamped
        // indices give.
        const int32_t last = 256 * (n - 1);
        const int32_t at = !(scaled >= 128.0) ? 0 : scaled >= double(last + 128) ? last : int32_t(scaled) - 128;
        return {at >> 8, std::min((at >> 8) + 1, n - 1), at & 255};
    }
    const int32_t period = mode == KXTADDRESS_WRAP ? n : 2 * n;
    int32_t at = std::isfinite(scaled) ? WrapIndex(scaled, 256 * period) - 128 : 0;
    if (at < 0)
        at += 256 * period;
    const int32_t first = at >> 8;
    const int32_t second = first + 1 == period ? 0 : first + 1;
    if (mode == KXTADDRESS_WRAP)
        return {first, second, at & 255};
    return {MirrorIndex(first, n), MirrorIndex(second, n), at & 255};
}

// Channels 0-7 and 16-23 of a texel, and 8-15 and 24-31, each pair
// 32 bits apart: a weighted sum of four texels (weights summing to 65536)
// then stays within its 32 bits.
uint64_t SpreadEven(uint32_t texel)
{
    return uint64_t(texel & 0xFFu) | (uint64_t(texel & 0xFF0000u) << 16);
}

uint64_t SpreadOdd(uint32_t texel)
{
    return SpreadEven(texel >> 8);
}

}  // namespace

bool KxSamplerStates::Set(uint32_t type, uint32_t value)
{
    const KxSamplerStateField* field = FindSamplerStateField(type);
    if (!field || value < field->first || value > field->last)
        return false;
    this->*field->member = value;
    return true;
}

bool KxSamplerStates::Get(uint32_t type, uint32_t* value) const
{
    const KxSamplerStateField* field = FindSamplerStateField(type);
    if (!field || !value)
        return false;
    *value = this->*field->member;
    return true;
}

KxTexelGradients KxPlaneGradients(const int32_t x[3], const int32_t y[3], const float u[3], const float v[3],
                                  const float q[3])
{
    // Screen coordinates within the fillers' +-2^24: every product and the
    // determinant are exact.
    const double e1x = double(x[1]) - double(x[0]), e1y = double(y[1]) - double(y[0]);
    const double e2x = double(x[2]) - double(x[0]), e2y = double(y[2]) - double(y[0]);
    const double det = e1x * e2y - e2x * e1y;
    KxTexelGradients g;
    if (det == 0.0) {
        // Three points on a line span no plane: no footprint is small enough.
        const double nan = std::numeric_limits<double>::quiet_NaN();
        return {nan, nan, nan, nan, nan, nan};
    }
    auto plane = [&](const float a[3], double& alongX, double& alongY) {
        const double d1 = double(a[1]) - double(a[0]), d2 = double(a[2]) - double(a[0]);
        alongX = (d1 * e2y - d2 * e1y) / det;
        alongY = (d2 * e1x - d1 * e2x) / det;
    };
    plane(u, g.uX, g.uY);
    plane(v, g.vX, g.vY);
    plane(q, g.qX, g.qY);
    return g;
}

void KxSampler::Configure(const KxSamplerStates& samplerStates)
{
    const KxTexture* texture = pTexture;
    bPerPixel = samplerStates.magFilter != samplerStates.minFilter;
    pBits = texture->GetBits();
    pAlpha = texture->GetAlpha();
    nWidth = texture->GetWidth();
    nHeight = texture->GetHeight();
    states = samplerStates;
    gradients = KxTexelGradients();
}

uint32_t KxSampler::SampleAt(float uOverW, float vOverW, float invW) const
{
    const double w = 1.0 / double(invW);
    const float s = float(w * double(uOverW));
    const float t = float(w * double(vOverW));
    if (bDefault)
        return pTexture ? pTexture->SampleWithAlpha(s, t) : 0;
    return Sample(s, t, !bPerPixel || IsMagnified(s, t, invW));
}

uint32_t KxSampler::Sample(float s, float t, bool bMagnified) const
{
    if (bDefault)
        return pTexture ? pTexture->SampleWithAlpha(s, t) : 0;
    const uint32_t filter = bMagnified ? states.magFilter : states.minFilter;
    return filter == KXTEXF_LINEAR ? Linear(s, t) : Point(s, t);
}

// |W ds/dx|^2 + |H dt/dx|^2 <= 1 and the same down the screen, with
// ds/dx = (du/dx - s dq/dx) / q for s = u / q: both sides times q^2.
bool KxSampler::IsMagnified(float s, float t, float invW) const
{
    const KxTexelGradients& g = gradients;
    const double w = nWidth, h = nHeight, q = invW;
    const double sX = (g.uX - double(s) * g.qX) * w, tX = (g.vX - double(t) * g.qX) * h;
    const double sY = (g.uY - double(s) * g.qY) * w, tY = (g.vY - double(t) * g.qY) * h;
    const double qq = q * q;
    return sX * sX + tX * tX <= qq && sY * sY + tY * tY <= qq;
}

uint32_t KxSampler::Texel(int32_t column, int32_t row) const
{
    const size_t at = size_t(row) * size_t(nWidth) + size_t(column);
    const uint8_t* texel = pBits + 3 * at;
    const uint32_t alpha = pAlpha ? pAlpha[at] : 0xFFu;
    return (alpha << 24) | (uint32_t(texel[0]) << 16) | (uint32_t(texel[1]) << 8) | uint32_t(texel[2]);
}

uint32_t KxSampler::Point(float s, float t) const
{
    return Texel(PointIndex(states.addressU, nWidth, s), PointIndex(states.addressV, nHeight, t));
}

// Each channel (sum of texel x weight + 32768) >> 16 over the four texels,
// the weights (256 - wx)(256 - wy), wx (256 - wy), (256 - wx) wy and wx wy.
uint32_t KxSampler::Linear(float s, float t) const
{
    const KxTexelPair x = LinearPair(states.addressU, nWidth, s);
    const KxTexelPair y = LinearPair(states.addressV, nHeight, t);
    const uint32_t texels[4] = {Texel(x.first, y.first), Texel(x.second, y.first), Texel(x.first, y.second),
                                Texel(x.second, y.second)};
    const uint64_t weights[4] = {uint64_t((256 - x.weight) * (256 - y.weight)), uint64_t(x.weight * (256 - y.weight)),
                                 uint64_t((256 - x.weight) * y.weight), uint64_t(x.weight * y.weight)};
    const uint64_t half = 0x0000800000008000u;
    uint64_t even = half, odd = half;
    for (int i = 0; i < 4; ++i) {
        even += SpreadEven(texels[i]) * weights[i];
        odd += SpreadOdd(texels[i]) * weights[i];
    }
    const uint64_t lanes = 0x000000FF000000FFu;
    even = (even >> 16) & lanes;
    odd = (odd >> 16) & lanes;
    return uint32_t(even | (even >> 16) | (odd << 8) | (odd >> 8));
}
