// Point and spot lights: what a draw forms once per light, and what each
// vertex then takes from it, by its world position.
#pragma once

#include "math/kxcolor.h"
#include "math/kxvector3.h"
#include "render/kxlight.h"

struct KxLocalLight {
    bool bSpot = false;
    KxVector3 position;
    KxVector3 direction;  // unit; the way a spot light shines
    float range = 0.0f;
    float attenuation0 = 0.0f, attenuation1 = 0.0f, attenuation2 = 0.0f;
    float cosHalfTheta = 0.0f, cosHalfPhi = 0.0f;  // of the inner and outer cone
    float falloff = 0.0f;
};

// The per-draw form of a point or spot light whose shining direction is
// storedDirection. False when the light can light no vertex: a range that
// is not above 0, and for a spot light a direction without a length or a
// Theta, Phi or Falloff that is NaN.
bool KxMakeLocalLight(const KxLight& light, const KxVector3& storedDirection, KxLocalLight& local);

// What the light gives a vertex at position (world space): the unit vector
// toward the light (zero at the light itself) and the weight, attenuation
// times spot factor, that scales its ambient, diffuse and specular terms.
// False when it gives nothing: beyond the range, an attenuation sum that is
// not above 0, outside the outer cone.
bool KxLocalLightAt(const KxLocalLight& light, const KxVector3& position, KxVector3& toLight, float& weight);
