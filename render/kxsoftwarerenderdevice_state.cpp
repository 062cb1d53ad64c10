// Render states, transforms, viewport, clip volume, material and lights: the
// setters only store and derive values; every draw reads them afresh.
#include "render/kxsoftwarerenderdevice.h"

#include <cstdint>

namespace {

// Where an accepted render state lives in the packed word. Width 0 marks the
// ambient colour, which has a word of its own.
struct KxRenderStateField {
    uint32_t code;
    uint32_t shift;
    uint32_t width;
};

constexpr KxRenderStateField kRenderStateFields[] = {
    {KXRS_SPECULARENABLE, 0, 1},
    {KXRS_LIGHTING, 1, 1},
    {KXRS_NORMALIZENORMALS, 2, 1},
    {KXRS_CLIPPING, 3, 1},
    {KXRS_ZENABLE, 4, 1},
    {KXRS_SHADEMODE, 5, 2},
    {KXRS_DIFFUSEMATERIALSOURCE, 7, 2},
    {KXRS_SPECULARMATERIALSOURCE, 9, 2},
    {KXRS_AMBIENTMATERIALSOURCE, 11, 2},
    {KXRS_EMISSIVEMATERIALSOURCE, 13, 2},
    {KXRS_AMBIENT, 0, 0},
};

const KxRenderStateField* FindRenderStateField(uint32_t code)
{
    for (const KxRenderStateField& field : kRenderStateFields) {
        if (field.code == code)
            return &field;
    }
    return nullptr;
}

uint32_t FieldMask(const KxRenderStateField& field)
{
    return field.width == 1 ? 1u : 3u;
}

// The states of culling, depth, alpha test and blending each keep a value
// from a range; a switch keeps any non-zero value as 1. A value outside the
// range is refused and changes nothing.
struct KxRasterStateField {
    uint32_t code;
    uint32_t KxRasterStates::*member;
    uint32_t first, last;
    bool bSwitch;
};

constexpr KxRasterStateField kRasterStateFields[] = {
    {KXRS_ZWRITEENABLE, &KxRasterStates::bZWrite, 0, 1, true},
    {KXRS_ALPHATESTENABLE, &KxRasterStates::bAlphaTest, 0, 1, true},
    {KXRS_SRCBLEND, &KxRasterStates::srcBlend, KXBLEND_ZERO, KXBLEND_BOTHINVSRCALPHA, false},
    {KXRS_DESTBLEND, &KxRasterStates::destBlend, KXBLEND_ZERO, KXBLEND_SRCALPHASAT, false},
    {KXRS_CULLMODE, &KxRasterStates::cullMode, KXCULL_NONE, KXCULL_CCW, false},
    {KXRS_ZFUNC, &KxRasterStates::zFunc, KXCMP_NEVER, KXCMP_ALWAYS, false},
    {KXRS_ALPHAREF, &KxRasterStates::alphaRef, 0, 255, false},
    {KXRS_ALPHAFUNC, &KxRasterStates::alphaFunc, KXCMP_NEVER, KXCMP_ALWAYS, false},
    {KXRS_ALPHABLENDENABLE, &KxRasterStates::bAlphaBlend, 0, 1, true},
    {KXRS_BLENDOP, &KxRasterStates::blendOp, KXBLENDOP_ADD, KXBLENDOP_MAX, false},
};

const KxRasterStateField* FindRasterStateField(uint32_t code)
{
    for (const KxRasterStateField& field : kRasterStateFields) {
        if (field.code == code)
            return &field;
    }
    return nullptr;
}

// Truncation toward zero into a 32-bit word; values no 64-bit integer can
// hold (non-finite ones included) give 0 instead of undefined behaviour.
uint32_t TruncateToUint32(double value)
{
    if (!(value > -9.2e18 && value < 9.2e18))
        return 0;
    return static_cast<uint32_t>(static_cast<int64_t>(value));
}

}  // namespace

bool KxSoftwareRenderDevice::SetRenderState(uint32_t state, uint32_t value)
{
    if (const KxRasterStateField* raster = FindRasterStateField(state)) {
        const uint32_t kept = raster->bSwitch ? (value != 0 ? 1u : 0u) : value;
        if (kept < raster->first || kept > raster->last)
            return false;
        rasterStates.*raster->member = kept;
        bPlainFill = rasterStates.IsPlainFill();
        return true;
    }
    const KxRenderStateField* field = FindRenderStateField(state);
    if (!field)
        return false;
    if (field->width == 0) {
        ambient = value;
        return true;
    }
    uint32_t mask = FieldMask(*field);
    uint32_t kept = field->width == 1 ? (value != 0 ? 1u : 0u) : (value & mask);
    renderStates = (renderStates & ~(mask << field->shift)) | (kept << field->shift);
    return true;
}

bool KxSoftwareRenderDevice::GetRenderState(uint32_t state, uint32_t* value) const
{
    if (const KxRasterStateField* raster = FindRasterStateField(state)) {
        *value = rasterStates.*raster->member;
        return true;
    }
    const KxRenderStateField* field = FindRenderStateField(state);
    if (!field)
        return false;
    *value = field->width == 0 ? ambient : (renderStates >> field->shift) & FieldMask(*field);
    return true;
}

void KxSoftwareRenderDevice::SetTransform(uint32_t state, const KxMatrix4* matrix)
{
    switch (state) {
    case KXTS_WORLD:
        world = *matrix;
        break;
    case KXTS_VIEW: {
        // Undo the rotation part of the view and what is left in row 3 is
        // the eye's translation, negated.
        KxMatrix4 rotationOnly = *matrix;
        rotationOnly.m[3][0] = 0.0f;
        rotationOnly.m[3][1] = 0.0f;
        rotationOnly.m[3][2] = 0.0f;
        KxMatrix4 p = *matrix * rotationOnly.Inverse();
        eyePosition = KxVector3(-p.m[3][0], -p.m[3][1], -p.m[3][2]);
        view = *matrix;
        break;
    }
    case KXTS_PROJECTION:
        projection = *matrix;
        break;
    default:
        break;
    }
}

bool KxSoftwareRenderDevice::SetViewport(const KxViewport* viewport)
{
    viewportMatrix.SetIdentity();
    float hw = static_cast<float>(viewport->Width >> 1);
    float hh = static_cast<float>(viewport->Height >> 1);
    viewportMatrix.m[0][0] = hw;
    viewportMatrix.m[1][1] = -hh;
    viewportMatrix.m[2][2] = static_cast<float>(double(viewport->MaxZ) - double(viewport->MinZ));
    viewportMatrix.m[3][0] = static_cast<float>(double(viewport->X) + double(hw));
    viewportMatrix.m[3][1] = static_cast<float>(double(viewport->Y) + double(hh));
    viewportMatrix.m[3][2] = viewport->MinZ;
    return true;
}

bool KxSoftwareRenderDevice::GetViewport(KxViewport* viewport) const
{
    const float(*m)[4] = viewportMatrix.m;
    viewport->Width = TruncateToUint32(2.0 * double(m[0][0]));
    viewport->Height = TruncateToUint32(-2.0 * double(m[1][1]));
    viewport->MinZ = m[3][2];
    viewport->MaxZ = static_cast<float>(double(m[3][2]) + double(m[2][2]));
    viewport->X = TruncateToUint32(double(m[3][0]) - double(m[0][0]));
    viewport->Y = TruncateToUint32(double(m[3][1]) + double(m[1][1]));
    return true;
}

bool KxSoftwareRenderDevice::SetClipVolume(const KxClipVolume* clip)
{
    double clipX = clip->ClipX;
    double clipY = clip->ClipY;
    double clipWidth = clip->ClipWidth;
    double clipHeight = clip->ClipHeight;
    double minZ = clip->MinZ;
    double depth = double(clip->MaxZ) - minZ;

    clipMatrix.SetIdentity();
    clipMatrix.m[0][0] = static_cast<float>(2.0 / clipWidth);
    clipMatrix.m[1][1] = static_cast<float>(2.0 / clipHeight);
    clipMatrix.m[2][2] = static_cast<float>(1.0 / depth);
    clipMatrix.m[3][0] = static_cast<float>(-1.0 - (clipX * 2.0) / clipWidth);
    clipMatrix.m[3][1] = static_cast<float>(1.0 - (clipY * 2.0) / clipHeight);
    clipMatrix.m[3][2] = static_cast<float>(-minZ / depth);
    return true;
}

void KxSoftwareRenderDevice::SetMaterial(const KxMaterial* pMaterial)
{
    material = *pMaterial;
}

void KxSoftwareRenderDevice::SetLight(int32_t index, const KxLight* light)
{
    // A new record starts switched off; an existing one keeps its switch.
    KxLightSet& record = lights[index];
    record.light = *light;
    record.storedDirection = light->Direction;
}

bool KxSoftwareRenderDevice::LightEnable(int32_t index, int32_t enable)
{
    auto it = lights.find(index);
    if (it == lights.end())
        return false;
    it->second.enabled = static_cast<uint8_t>(static_cast<uint32_t>(enable) & 0xFFu);
    return true;
}
