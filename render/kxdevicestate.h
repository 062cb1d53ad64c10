// Argument records of the device's state setters.
#pragma once

#include <cstdint>

#include "math/kxcolor.h"

struct KxViewport {
    uint32_t X = 0;
    uint32_t Y = 0;
    uint32_t Width = 0;
    uint32_t Height = 0;
    float MinZ = 0.0f;
    float MaxZ = 0.0f;
};

// Each edge stands next to its extent: x, width, y, height.
struct KxClipVolume {
    float ClipX = 0.0f;
    float ClipWidth = 0.0f;
    float ClipY = 0.0f;
    float ClipHeight = 0.0f;
    float MinZ = 0.0f;
    float MaxZ = 0.0f;
};

struct KxMaterial {
    KxColor Diffuse{0.0f, 0.0f, 0.0f, 1.0f};
    KxColor Ambient{0.0f, 0.0f, 0.0f, 1.0f};
    KxColor Specular{0.0f, 0.0f, 0.0f, 1.0f};
    KxColor Emissive{0.0f, 0.0f, 0.0f, 1.0f};
    float Power = 0.0f;
};
