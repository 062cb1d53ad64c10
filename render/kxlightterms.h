// What vertex lighting needs of one draw's state, formed once: the terms
// that depend only on the lights, the material and the view. Shading a
// normal with them gives the colour the lighting equation gives.
#pragma once

#include <cstdint>
#include <vector>

#include "math/kxcolor.h"
#include "math/kxvector3.h"
#include "render/kxlocallight.h"

// One enabled light: its working direction, the material's diffuse colour
// modulated by its diffuse colour, and for specular light the halfway
// vector and its specular colour. A point or spot light has no fixed
// direction: it is found at each vertex from the light's local form.
struct KxLightTerm {
    KxVector3 toLight;
    KxColor diffuse;
    KxVector3 halfway;
    KxColor specular;
    KxColor ambient{};  // the light's own
    bool bLocal = false;
    KxLocalLight local{};
};

struct KxLightTerms {
    bool bLighting = false;  // off: every vertex is black
    bool bSpecular = false;
    std::vector<KxLightTerm> lights;  // enabled lights in index order
    KxColor ambient;                  // ambient material x (global ambient + light ambients)
    KxColor materialSpecular;
    KxColor emissive;
    float power = 0.0f;
    // The vertex alpha in bits 24-31, the same for every vertex of a draw:
    // the diffuse material's, or opaque with lighting off.
    uint32_t alphaBits = 0xFF000000u;
    bool bLocalLights = false;  // a point or spot light is among the lights
    // What ShadeAt sums the ambient from, since local lights weigh theirs,
    // and the viewing direction for their halfway vectors.
    KxColor materialAmbient{}, globalAmbient{};
    KxVector3 viewDirection{};

    // The packed colour (red in bits 0-7, alpha in bits 24-31) of a vertex
    // with this normal.
    // Directional lights only (bLocalLights false).
    uint32_t Shade(const KxVector3& normal) const;
    // Any lights, for a vertex at this world position.
    uint32_t ShadeAt(const KxVector3& normal, const KxVector3& position) const;
};

// The low 8 bits of trunc(value); values no 64-bit integer holds (and NaN)
// give 0.
uint32_t KxLitChannel(double value);

// An alpha of 0..1 as a byte in bits 24-31: trunc(alpha x 255 + 0.5) in
// double, 0 below 0 (and for NaN), 255 from 1 on.
uint32_t KxAlphaBits(float alpha);
