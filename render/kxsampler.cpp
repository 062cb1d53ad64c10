#include "render/kxsampler.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
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

// (floor(x) - offset) mod m, 0 to m - 1, for a finite x and an offset of
// at most m: exact for every double. Below 2^52 in 64-bit integers (a mask
// for a power of two m); beyond, every double is whole and fmod is exact.
inline int32_t Around(double x, int32_t offset, int32_t m)
{
    int64_t r;
    if (std::fabs(x) < 0x1p52) {
        int64_t whole = int64_t(x);
        whole -= double(whole) > x ? 1 : 0;
        if ((m & (m - 1)) == 0)
            return int32_t((whole - offset) & (m - 1));
        r = (whole - offset) % m;
    } else {
        r = (int64_t(std::fmod(x, double(m))) - offset) % m;
    }
    return int32_t(r < 0 ? r + m : r);
}

// An index into two copies of n texels, the second reversed.
inline int32_t MirrorIndex(int32_t m, int32_t n)
{
    return m < n ? m : 2 * n - 1 - m;
}

// A texel's three bytes, blue, green, red, in the low bytes of a word
// (the bitmap keeps spare bytes after its last texel for whole-word reads).
inline uint32_t TexelWord(const uint8_t* bits, size_t at)
{
    uint32_t word;
    std::memcpy(&word, bits + 3 * at, sizeof(word));
    return word;
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

void KxSampler::Axis::Set(int32_t size, uint32_t addressMode)
{
    n = size;
    mode = addressMode;
    period = mode == KXTADDRESS_MIRROR ? 2 * n : n;
}

// The point rule: texel floor(n c) - 1, clamped into the image (the
// device's rule without sampler states) or taken around the period; n c is
// exact in double for every float c. Wrap and mirror read texel 0 for
// infinite and NaN coordinates.
__attribute__((always_inline)) inline int32_t KxSampler::Axis::Point(float c) const
{
    const double scaled = double(n) * double(c);
    if (mode == KXTADDRESS_CLAMP)
        return KxDib::TexelIndex(n, scaled);
    if (!std::isfinite(scaled))
        return 0;
    const int32_t index = Around(scaled, 1, period);
    return mode == KXTADDRESS_WRAP ? index : MirrorIndex(index, n);
}

// The bilinear pair, texel i centred at (i + 0.5) / n: the position
// floor(256 n c) - 128 in 1/256 texel (exact: n c and its multiple by 256
// are exact in double), its whole texels the first of the pair, the rest
// the second's weight.
__attribute__((always_inline)) inline KxSampler::Pair KxSampler::Axis::Linear(float c) const
{
    const double scaled = double(n) * double(c) * 256.0;
    if (mode == KXTADDRESS_CLAMP) {
        // Clamping the position to the image gives the pairs that clamped
        // indices give.
        const int32_t last = 256 * (n - 1);
        const int32_t at = !(scaled >= 128.0) ? 0 : scaled >= double(last + 128) ? last : int32_t(scaled) - 128;
        return {at >> 8, std::min((at >> 8) + 1, n - 1), at & 255};
    }
    const int32_t at = std::isfinite(scaled) ? Around(scaled, 128, 256 * period) : 0;
    const int32_t first = at >> 8;
    const int32_t second = first + 1 == period ? 0 : first + 1;
    if (mode == KXTADDRESS_WRAP)
        return {first, second, at & 255};
    return {MirrorIndex(first, n), MirrorIndex(second, n), at & 255};
}

void KxSampler::Configure(const KxSamplerStates& samplerStates)
{
    const KxTexture* texture = pTexture;
    bPerPixel = samplerStates.magFilter != samplerStates.minFilter;
    pBits = texture->GetBits();
    pAlpha = texture->GetAlpha();
    nWidth = texture->GetWidth();
    nHeight = texture->GetHeight();
    u.Set(nWidth, samplerStates.addressU);
    v.Set(nHeight, samplerStates.addressV);
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
    return filter == KXTEXF_LINEAR ? Linear(s, t) : Texel(u.Point(s), v.Point(t));
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

// The packed texel: blue (byte 0) in bits 16-23, red (byte 2) in 0-7.
__attribute__((always_inline)) inline uint32_t KxSampler::Texel(int32_t column, int32_t row) const
{
    const size_t at = size_t(row) * size_t(nWidth) + size_t(column);
    const uint32_t word = TexelWord(pBits, at);
    const uint32_t alpha = pAlpha ? pAlpha[at] : 0xFFu;
    return (alpha << 24) | ((word & 0xFFu) << 16) | (word & 0xFF00u) | ((word >> 16) & 0xFFu);
}

// Each channel (sum of texel x weight + 32768) >> 16 over the four texels,
// the weights (256 - wx)(256 - wy), wx (256 - wy), (256 - wx) wy and wx wy.
// Blue and red at once, 32 bits apart: a sum of four products stays below
// 2^24 in its half.
__attribute__((always_inline)) inline uint32_t KxSampler::Linear(float s, float t) const
{
    const Pair x = u.Linear(s), y = v.Linear(t);
    const size_t rows[2] = {size_t(y.first) * size_t(nWidth), size_t(y.second) * size_t(nWidth)};
    const size_t at[4] = {rows[0] + size_t(x.first), rows[0] + size_t(x.second), rows[1] + size_t(x.first),
                          rows[1] + size_t(x.second)};
    const uint64_t weights[4] = {uint64_t((256 - x.weight) * (256 - y.weight)), uint64_t(x.weight * (256 - y.weight)),
                                 uint64_t((256 - x.weight) * y.weight), uint64_t(x.weight * y.weight)};
    uint64_t blueRed = 0x0000800000008000u, green = 0x8000u;
    for (int i = 0; i < 4; ++i) {
        const uint32_t word = TexelWord(pBits, at[i]);
        blueRed += (uint64_t(word & 0xFFu) | (uint64_t(word & 0xFF0000u) << 16)) * weights[i];
        green += uint64_t((word >> 8) & 0xFFu) * weights[i];
    }
    // Without alpha every texel's is 255, and so is the sum's.
    uint64_t alpha = 0xFFu;
    if (pAlpha) {
        alpha = 0x8000u;
        for (int i = 0; i < 4; ++i)
            alpha += pAlpha[at[i]] * weights[i];
        alpha >>= 16;
    }
    blueRed >>= 16;
    green >>= 16;
    return uint32_t(alpha << 24 | (blueRed & 0xFFu) << 16 | green << 8 | ((blueRed >> 32) & 0xFFu));
}
