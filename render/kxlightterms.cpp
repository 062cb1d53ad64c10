#include "render/kxlightterms.h"

#include <cmath>

namespace {

// c + e, then limited to at most 1; a NaN stays.
inline float AddClamped(float c, float e)
{
    const float sum = c + e;
    return 1.0f < sum ? 1.0f : sum;
}

inline KxColor AddClamped(const KxColor& c, const KxColor& e)
{
    return KxColor(AddClamped(c.r, e.r), AddClamped(c.g, e.g), AddClamped(c.b, e.b), AddClamped(c.a, e.a));
}

inline KxColor Scale(const KxColor& c, float s)
{
    return KxColor(c.r * s, c.g * s, c.b * s, c.a * s);
}

}  // namespace

uint32_t KxLitChannel(double value)
{
    constexpr double kLimit = 9223372036854775808.0;  // 2^63
    if (!(value > -kLimit && value < kLimit))
        return 0;
    return uint32_t(static_cast<int64_t>(value)) & 0xFFu;
}

uint32_t KxAlphaBits(float alpha)
{
    const double scaled = double(alpha) * 255.0 + 0.5;
    if (!(scaled >= 0.0))
        return 0;
    return (scaled >= 255.0 ? 255u : uint32_t(scaled)) << 24;
}

namespace {

// The ambient and diffuse total, the specular and emissive terms added,
// packed. Forced inline: Shade is the hot one of its two callers.
__attribute__((always_inline)) inline uint32_t Total(const KxLightTerms& t, KxColor total, const KxColor& specularSum)
{
    if (t.bSpecular)
        total = AddClamped(total, t.materialSpecular.Modulate(specularSum));
    total = AddClamped(total, t.emissive);

    // The channels are divided by the final alpha, so a total whose alpha is
    // not 1 is brightened or dimmed; an alpha of 0 gives black. The vertex
    // alpha is the material's, not this total's.
    if (total.a == 0.0f)
        return t.alphaBits;
    const double alpha = total.a;
    return KxLitChannel(double(total.r) * 255.0 / alpha) | (KxLitChannel(double(total.g) * 255.0 / alpha) << 8) |
           (KxLitChannel(double(total.b) * 255.0 / alpha) << 16) | t.alphaBits;
}

}  // namespace

uint32_t KxLightTerms::Shade(const KxVector3& normal) const
{
    if (!bLighting)
        return alphaBits;
    KxColor diffuseSum, specularSum;
    for (const KxLightTerm& light : lights) {
        float diffuseFactor = normal.Dot(light.toLight);
        if (diffuseFactor < 0.0f)
            diffuseFactor = 0.0f;
        diffuseSum = AddClamped(diffuseSum, Scale(light.diffuse, diffuseFactor));
        if (bSpecular) {
            float specularFactor = normal.Dot(light.halfway);
            if (!(specularFactor > 0.0f))
                specularFactor = 0.0f;
            // Single-precision power: 0 to the power 0 is 1.
            specularSum = AddClamped(specularSum, Scale(light.specular, std::pow(specularFactor, power)));
        }
    }
    return Total(*this, AddClamped(ambient, diffuseSum), specularSum);
}

uint32_t KxLightTerms::ShadeAt(const KxVector3& normal, const KxVector3& position) const
{
    if (!bLighting)
        return alphaBits;
    // A directional light weighs 1: every product with it is exact, so
    // directional lights give here what Shade gives.
    KxColor ambientSum, diffuseSum, specularSum;
    for (const KxLightTerm& light : lights) {
        KxVector3 toLight = light.toLight, halfway = light.halfway;
        float weight = 1.0f;
        if (light.bLocal) {
            if (!KxLocalLightAt(light.local, position, toLight, weight))
                continue;
            if (bSpecular) {
                const KxVector3 halfSum = viewDirection + toLight;
                halfway = halfSum / halfSum.Length();
            }
        }
        ambientSum = AddClamped(ambientSum, Scale(light.ambient, weight));
        float diffuseFactor = normal.Dot(toLight);
        if (diffuseFactor < 0.0f)
            diffuseFactor = 0.0f;
        diffuseSum = AddClamped(diffuseSum, Scale(light.diffuse, diffuseFactor * weight));
        if (bSpecular) {
            float specularFactor = normal.Dot(halfway);
            if (!(specularFactor > 0.0f))
                specularFactor = 0.0f;
            specularSum = AddClamped(specularSum, Scale(light.specular, std::pow(specularFactor, power) * weight));
        }
    }
    const KxColor ambientTerm = materialAmbient.Modulate(globalAmbient.Add(ambientSum));
    return Total(*this, AddClamped(ambientTerm, diffuseSum), specularSum);
}
