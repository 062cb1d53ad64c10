#include "math/kxcolor.h"

KxColor KxColor::Scale(float s) const
{
    return KxColor(r * s, g * s, b * s, a * s);
}

KxColor KxColor::Modulate(const KxColor& e) const
{
    return KxColor(r * e.r, g * e.g, b * e.b, a * e.a);
}

KxColor KxColor::Add(const KxColor& e) const
{
    return KxColor(r + e.r, g + e.g, b + e.b, a + e.a);
}

KxColor KxColor::AddClamped(const KxColor& e)
{
    *this = Add(e);
    float* components[4] = {&r, &g, &b, &a};
    for (float* c : components) {
        if (*c > 1.0f)
            *c = 1.0f;
    }
    return *this;
}
