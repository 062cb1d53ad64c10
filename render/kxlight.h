// Light description and the device's per-index light record.
#pragma once

#include <cstdint>

#include "math/kxcolor.h"
#include "math/kxvector3.h"

// Light types (Direct3D 9 codes). 0, and any value that is not 1 or 2,
// lights as directional, as 3 does.
enum : int32_t {
    KXLIGHT_POINT = 1,
    KXLIGHT_SPOT = 2,
    KXLIGHT_DIRECTIONAL = 3,
};

// Shaped like Direct3D 9's light record. A directional light uses its
// colours and Direction; point and spot lights use Position, Range and the
// attenuations as well, and spot lights Direction, Theta, Phi and Falloff.
struct KxLight {
    int32_t Type = 0;
    KxColor Diffuse{0.0f, 0.0f, 0.0f, 1.0f};
    KxColor Specular{0.0f, 0.0f, 0.0f, 1.0f};
    KxColor Ambient{0.0f, 0.0f, 0.0f, 1.0f};
    KxVector3 Position;
    KxVector3 Direction;
    float Range = 0.0f;
    float Falloff = 0.0f;
    float Attenuation0 = 0.0f;
    float Attenuation1 = 0.0f;
    float Attenuation2 = 0.0f;
    float Theta = 0.0f;
    float Phi = 0.0f;
};

struct KxLightSet {
    KxLight light;              // its Direction is the working direction, refreshed at every draw
    KxVector3 storedDirection;  // the direction exactly as given to SetLight
    uint8_t enabled = 0;
};
