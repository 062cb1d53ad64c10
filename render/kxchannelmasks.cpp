#include "render/kxchannelmasks.h"

#include <bit>

namespace {

bool IsOneRun(uint32_t mask)
{
    const uint32_t run = mask >> std::countr_zero(mask);
    return (run & (run + 1)) == 0;
}

// One channel's place in the word and its largest value.
struct KxChannelField {
    uint32_t mask;
    int shift;
    uint64_t maxValue;

    explicit KxChannelField(uint32_t m)
        : mask(m), shift(m ? std::countr_zero(m) : 0), maxValue(m ? uint64_t(m >> shift) : 1)
    {
    }

    uint8_t Read(uint32_t texel) const
    {
        const uint64_t value = (texel & mask) >> shift;
        return uint8_t((value * 255 + maxValue / 2) / maxValue);
    }
};

}  // namespace

const char* KxChannelMasksError(const KxChannelMasks& masks)
{
    const uint32_t all[4] = {masks.red, masks.green, masks.blue, masks.alpha};
    if (masks.red == 0 || masks.green == 0 || masks.blue == 0)
        return "zero colour mask";
    for (uint32_t mask : all)
        if (mask != 0 && !IsOneRun(mask))
            return "colour mask bits not contiguous";
    for (int i = 0; i < 4; ++i)
        for (int j = i + 1; j < 4; ++j)
            if (all[i] & all[j])
                return "colour masks overlap";
    return nullptr;
}

void KxDecodeMaskedRow(const uint8_t* texels, int32_t width, const KxChannelMasks& masks, uint8_t* colour,
                       uint8_t* alpha)
{
    const KxChannelField blue(masks.blue), green(masks.green), red(masks.red), opacity(masks.alpha);
    for (int32_t x = 0; x < width; ++x, texels += 4, colour += 3) {
        const uint32_t texel = uint32_t(texels[0]) | uint32_t(texels[1]) << 8 | uint32_t(texels[2]) << 16 |
                               uint32_t(texels[3]) << 24;
        colour[0] = blue.Read(texel);
        colour[1] = green.Read(texel);
        colour[2] = red.Read(texel);
        if (alpha)
            alpha[x] = opacity.Read(texel);
    }
}
