// Encodes 24-bit BMP files for the fuzz texture and the seed corpus.
#pragma once

#include <cstdint>
#include <vector>

// A BI_RGB file of width x height texels given top row first (blue, green,
// red per texel). The info header is infoSize bytes (40, 108 or 124; bytes
// past the first 40 are zero), gap bytes separate it from the pixel data, and
// the rows run bottom-up in the file unless bTopDown (negative height).
inline std::vector<uint8_t> KxFuzzBmpFile(int32_t width, int32_t height, const std::vector<uint8_t>& texels,
                                          bool bTopDown = false, uint32_t infoSize = 40, uint32_t gap = 0)
{
    std::vector<uint8_t> file;
    auto put = [&file](uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            file.push_back(uint8_t(value >> (8 * i)));
    };
    const uint32_t rowBytes = 3 * uint32_t(width);
    const uint32_t fileRow = (rowBytes + 3) & ~3u;
    const uint32_t dataOffset = 14 + infoSize + gap;
    put(0x4D42, 2);
    put(dataOffset + fileRow * uint32_t(height), 4);
    put(0, 4);
    put(dataOffset, 4);
    put(infoSize, 4);
    put(uint32_t(width), 4);
    put(uint32_t(bTopDown ? -height : height), 4);
    put(1, 2);
    put(24, 2);
    put(0, 4);  // BI_RGB
    put(fileRow * uint32_t(height), 4);
    put(2835, 4);
    put(2835, 4);
    put(0, 4);
    put(0, 4);
    file.resize(dataOffset, 0);
    for (int32_t i = 0; i < height; ++i) {
        const int32_t row = bTopDown ? i : height - 1 - i;
        const uint8_t* p = texels.data() + size_t(row) * rowBytes;
        file.insert(file.end(), p, p + rowBytes);
        file.resize(file.size() + (fileRow - rowBytes), 0);
    }
    return file;
}
