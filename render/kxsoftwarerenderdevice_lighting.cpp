// Vertex lighting: one normal in, one packed colour out, from the global
// ambient state, the material and every enabled light.
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

float ChannelFraction(uint32_t packed, uint32_t shift)
{
    return float(double((packed >> shift) & 0xFFu) / 255.0);
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
    return LightVertex(normal, KxVector3(0.0f, 0.0f, 0.0f));
}

uint32_t KxSoftwareRenderDevice::LightVertex(const KxVector3& normal, const KxVector3& worldPosition)
{
    PrepareLighting(lightTerms);
    if (!lightTerms.bLocalLights)
        return lightTerms.Shade(normal);
    return lightTerms.ShadeAt(normal, worldPosition);
}

// Everything of the lighting equation that does not depend on the normal.
// Refreshes the material colour holders, as lighting a vertex does.
void KxSoftwareRenderDevice::PrepareLighting(KxLightTerms& terms)
{
    terms.bLighting = IsRenderStateOn(kLightingBit);
    terms.lights.clear();
    terms.bLocalLights = false;
    terms.alphaBits = 0xFF000000u;
    if (!terms.bLighting)
        return;

    const KxColor globalAmbient(ChannelFraction(ambient, 0), ChannelFraction(ambient, 8),
                                ChannelFraction(ambient, 16), 1.0f);
    KxMaterialColorHolders& held = materialColorHolders;
    GetMaterialColors(held.ambient, held.diffuse, held.specular);

    terms.bSpecular = IsRenderStateOn(kSpecularEnableBit);
    // The viewing direction is the third column of the view matrix.
    const KxVector3 viewDirection(view.m[0][2], view.m[1][2], view.m[2][2]);

    KxColor ambientSum;
    for (const auto& entry : lights) {
        const KxLightSet& lightSet = entry.second;
        if (!lightSet.enabled)
            continue;
        const KxLight& light = lightSet.light;
        KxLightTerm term;
        term.bLocal = light.Type == KXLIGHT_POINT || light.Type == KXLIGHT_SPOT;
        // One that can light nothing is left out, its ambient too.
        if (term.bLocal && !KxMakeLocalLight(light, lightSet.storedDirection, term.local))
            continue;
        terms.bLocalLights = terms.bLocalLights || term.bLocal;
        term.toLight = light.Direction;  // the working direction
        term.ambient = light.Ambient;
        ambientSum.AddClamped(light.Ambient);
        term.diffuse = held.diffuse.Modulate(light.Diffuse);
        if (terms.bSpecular) {
            const KxVector3 halfSum = viewDirection + term.toLight;
            term.halfway = halfSum / halfSum.Length();
            term.specular = light.Specular;
        }
        terms.lights.push_back(term);
    }
    terms.ambient = held.ambient.Modulate(globalAmbient.Add(ambientSum));
    terms.materialAmbient = held.ambient;
    terms.globalAmbient = globalAmbient;
    terms.viewDirection = viewDirection;
    terms.materialSpecular = held.specular;
    terms.emissive = material.Emissive;
    terms.power = material.Power;
    terms.alphaBits = KxAlphaBits(held.diffuse.a);
}
