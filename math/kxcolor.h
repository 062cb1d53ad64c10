// Four-component float colour used by materials, lights and lighting sums.
#pragma once

#include "math/kxexactfloat.h"

class KxColor {
public:
    float r = 0.0f;
    float g = 0.0f;
    float b = 0.0f;
    float a = 0.0f;

    KxColor() = default;
    KxColor(float fr, float fg, float fb, float fa) : r(fr), g(fg), b(fb), a(fa) {}

    KxColor Scale(float s) const;
    KxColor Modulate(const KxColor& e) const;
    KxColor Add(const KxColor& e) const;
    // Adds e in place and limits each component to at most 1 (no lower bound).
    KxColor AddClamped(const KxColor& e);
};
