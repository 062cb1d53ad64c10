// Vertex lighting: one normal in, one packed colour out, from the global
// ambient state, the material and every enabled light taken as directional.
#include <cmath>
#include <cstdint>

#include "render/kxsoftwarerenderdevice.h"

namespace {

// Positions of the render states read here in the packed state word.
constexpr uint32_t kSpecularEnableBit = 0;
constexpr uint32_t kLightingBit = 1;
constexpr uint32_t kDiffuseSourceShift = 7;
constexpr uint32_t kSpecularSourceShift = 9;
constexpr uint32_t kAmbientSourceShift = 11;
constexpr uint32_t kSourceMaterial = 0;

// The material colours as lighting last took them. Vertex colours as sources
// are not implemented, so a colour whose source is not the material keeps
// the value of the last call that read it, on every device alike.
struct KxMaterialColorHolders {
    KxColor ambient{0.0f, 0.0f, 0.0f, 1.0f};
    KxColor diffuse{0.0f, 0.0f, 0.0f, 1.0f};
    KxColor specular{0.0f, 0.0f, 0.0f, 1.0f};
};
KxMaterialColorHolders materialColorHolders;

// The per-call sums over the enabled lights, alpha included.
struct KxLightSums {
    KxColor ambient;
    KxColor diffuse;
    KxColor specular;
};

float ChannelFraction(uint32_t packed, uint32_t shift)
{
    return float(double((packed >> shift) & 0xFFu) / 255.0);
}

// The low 8 bits of trunc(value). Values no 64-bit integer holds (and NaN)
// give 0 instead of an undefined conversion.
uint32_t LowByteOfTruncation(double value)
{
    constexpr double kLimit = 9223372036854775808.0;  // 2^63
    if (!(value > -kLimit && value < kLimit))
        return 0;
    return uint32_t(static_cast<int64_t>(value)) & 0xFFu;
}

// The channels are divided by the final alpha, so a total whose alpha is not
// 1 is brightened or dimmed; an alpha of 0 gives black.
uint32_t PackLitColor(const KxColor& total)
{
    if (total.a == 0.0f)
        return 0;
    const double alpha = total.a;
    const uint32_t red = LowByteOfTruncation(double(total.r) * 255.0 / alpha);
    const uint32_t green = LowByteOfTruncation(double(total.g) * 255.0 / alpha);
    const uint32_t blue = LowByteOfTruncation(double(total.b) * 255.0 / alpha);
    return red | (green << 8) | (blue << 16);
}

}  // namespace

void KxSoftwareRenderDevice::GetMaterialColors(KxColor& ambientColor, KxColor& diffuseColor,
                                               KxColor& specularColor) const
{
    if (RenderStateField(kAmbientSourceShift) == kSourceMaterial)
        ambientColor = material.Ambient;
    if (RenderStateField(kDiffuseSourceShift) == kSourceMaterial)
        diffuseColor = material.Diffuse;
    if (RenderStateField(kSpecularSourceShift) == kSourceMaterial)
        specularColor = material.Specular;
}

uint32_t KxSoftwareRenderDevice::LightVertex(const KxVector3& normal)
{
    if (!IsRenderStateOn(kLightingBit))
        return 0;

    const KxColor globalAmbient(ChannelFraction(ambient, 0), ChannelFraction(ambient, 8),
                                ChannelFraction(ambient, 16), 1.0f);
    KxMaterialColorHolders& held = materialColorHolders;
    GetMaterialColors(held.ambient, held.diffuse, held.specular);

    const bool bSpecular = IsRenderStateOn(kSpecularEnableBit);
    // The viewing direction is the third column of the view matrix.
    const KxVector3 viewDirection(view.m[0][2], view.m[1][2], view.m[2][2]);

    KxLightSums sums;
    for (const auto& entry : lights) {
        const KxLightSet& lightSet = entry.second;
        if (!lightSet.enabled)
            continue;
        const KxLight& light = lightSet.light;
        const KxVector3& toLight = light.Direction;  // the working direction

        sums.ambient.AddClamped(light.Ambient);

        float diffuseFactor = normal.Dot(toLight);
        if (diffuseFactor < 0.0f)
            diffuseFactor = 0.0f;
        sums.diffuse.AddClamped(held.diffuse.Modulate(light.Diffuse).Scale(diffuseFactor));

        if (bSpecular) {
            const KxVector3 halfSum = viewDirection + toLight;
            const KxVector3 halfway = halfSum / halfSum.Length();
            float specularFactor = normal.Dot(halfway);
            if (!(specularFactor > 0.0f))
                specularFactor = 0.0f;
            // Single-precision power: 0 to the power 0 is 1.
            const float highlight = std::pow(specularFactor, material.Power);
            sums.specular.AddClamped(light.Specular.Scale(highlight));
        }
    }

    KxColor total = held.ambient.Modulate(globalAmbient.Add(sums.ambient));
    total.AddClamped(sums.diffuse);
    if (bSpecular)
        total.AddClamped(held.specular.Modulate(sums.specular));
    total.AddClamped(material.Emissive);
    return PackLitColor(total);
}
