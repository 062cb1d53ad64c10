#include "render/kxlocallight.h"

#include <cmath>
#include <limits>

namespace {

float CosineOfHalf(float angle)
{
    return float(std::cos(double(angle) / 2.0));
}

// 1 inside the inner cone, 0 on and outside the outer one, and between them
// the position across the penumbra raised to the falloff. The outer cone is
// tested first, so Theta >= Phi gives a hard edge at Phi and never divides
// by a zero width.
bool SpotFactor(const KxLocalLight& light, const KxVector3& toLight, float& factor)
{
    const float rho = -toLight.Dot(light.direction);
    if (!(rho > light.cosHalfPhi))
        return false;
    if (rho > light.cosHalfTheta) {
        factor = 1.0f;
        return true;
    }
    const float across = float(double(rho - light.cosHalfPhi) / double(light.cosHalfTheta - light.cosHalfPhi));
    // Single-precision power, as the specular term's.
    factor = std::pow(across, light.falloff);
    return true;
}

}  // namespace

bool KxMakeLocalLight(const KxLight& light, const KxVector3& storedDirection, KxLocalLight& local)
{
    if (!(light.Range > 0.0f))
        return false;
    local.bSpot = light.Type == KXLIGHT_SPOT;
    local.position = light.Position;
    local.range = light.Range;
    local.attenuation0 = light.Attenuation0;
    local.attenuation1 = light.Attenuation1;
    local.attenuation2 = light.Attenuation2;
    if (!local.bSpot)
        return true;
    const float length = storedDirection.Length();
    if (!(length > 0.0f && length < std::numeric_limits<float>::infinity()))
        return false;
    if (std::isnan(light.Theta) || std::isnan(light.Phi) || std::isnan(light.Falloff))
        return false;
    local.direction = storedDirection.Normalized();
    local.cosHalfTheta = CosineOfHalf(light.Theta);
    local.cosHalfPhi = CosineOfHalf(light.Phi);
    local.falloff = light.Falloff;
    return true;
}

bool KxLocalLightAt(const KxLocalLight& light, const KxVector3& position, KxVector3& toLight, float& weight)
{
    const KxVector3 offset = light.position - position;
    const float distance = offset.Length();
    if (!(distance <= light.range))
        return false;
    const double d = distance;
    const double sum = double(light.attenuation0) + double(light.attenuation1) * d + double(light.attenuation2) * (d * d);
    if (!(sum > 0.0))
        return false;
    // At the light itself there is no direction to it.
    toLight = distance == 0.0f ? KxVector3(0.0f, 0.0f, 0.0f) : offset / distance;
    weight = float(1.0 / sum);
    if (!light.bSpot)
        return true;
    float spot;
    if (!SpotFactor(light, toLight, spot))
        return false;
    weight = weight * spot;
    return true;
}
