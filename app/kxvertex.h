// The 32-byte vertex of format 274 (0x112): position, normal, one 2-D
// texture coordinate.
#pragma once

#include "math/kxvector3.h"

struct KxVertex {
    KxVector3 position;
    KxVector3 normal;
    float u;
    float v;
};

static_assert(sizeof(KxVertex) == 32, "format 274 vertices are 32 bytes");
