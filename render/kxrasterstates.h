// The render states of culling, the depth test, the alpha test and
// blending, under Direct3D 9's codes and values. Their defaults draw as the
// device always drew: back faces culled, depth less-or-equal and written,
// no alpha test, no blending.
#pragma once

#include <cstdint>

#include "math/kxexactfloat.h"

// Cull modes (render state 22).
enum : uint32_t {
    KXCULL_NONE = 1,
    KXCULL_CW = 2,   // culls faces whose vertices run clockwise on the screen
    KXCULL_CCW = 3,  // culls counter-clockwise ones: the back faces
};

// Compare functions of the depth test (23) and the alpha test (25): the
// fragment's value on the left, the stored or reference value on the right.
enum : uint32_t {
    KXCMP_NEVER = 1,
    KXCMP_LESS = 2,
    KXCMP_EQUAL = 3,
    KXCMP_LESSEQUAL = 4,
    KXCMP_GREATER = 5,
    KXCMP_NOTEQUAL = 6,
    KXCMP_GREATEREQUAL = 7,
    KXCMP_ALWAYS = 8,
};

// Blend factors (19, 20). BOTHSRCALPHA and BOTHINVSRCALPHA are source
// factors only: they set the destination factor too.
enum : uint32_t {
    KXBLEND_ZERO = 1,
    KXBLEND_ONE = 2,
    KXBLEND_SRCCOLOR = 3,
    KXBLEND_INVSRCCOLOR = 4,
    KXBLEND_SRCALPHA = 5,
    KXBLEND_INVSRCALPHA = 6,
    KXBLEND_DESTALPHA = 7,
    KXBLEND_INVDESTALPHA = 8,
    KXBLEND_DESTCOLOR = 9,
    KXBLEND_INVDESTCOLOR = 10,
    KXBLEND_SRCALPHASAT = 11,
    KXBLEND_BOTHSRCALPHA = 12,
    KXBLEND_BOTHINVSRCALPHA = 13,
};

// Blend operations (171).
enum : uint32_t {
    KXBLENDOP_ADD = 1,
    KXBLENDOP_SUBTRACT = 2,
    KXBLENDOP_REVSUBTRACT = 3,
    KXBLENDOP_MIN = 4,
    KXBLENDOP_MAX = 5,
};

struct KxRasterStates {
    uint32_t cullMode = KXCULL_CCW;
    uint32_t zFunc = KXCMP_LESSEQUAL;
    uint32_t bZWrite = 1;
    uint32_t bAlphaTest = 0;
    uint32_t alphaRef = 0;
    uint32_t alphaFunc = KXCMP_ALWAYS;
    uint32_t bAlphaBlend = 0;
    uint32_t srcBlend = KXBLEND_ONE;
    uint32_t destBlend = KXBLEND_ZERO;
    uint32_t blendOp = KXBLENDOP_ADD;

    // Whether a fragment's alpha can matter: only the alpha test and
    // blending read it, so without them the fillers need not carry it.
    bool NeedsAlpha() const { return bAlphaTest != 0 || bAlphaBlend != 0; }

    // Whether pixels are written as they always were: depth less-or-equal
    // and written, no alpha test, no blending. The fast paths take these.
    bool IsPlainFill() const { return zFunc == KXCMP_LESSEQUAL && bZWrite != 0 && !NeedsAlpha(); }
};
