// Builds BMP files byte by byte for loader tests and writes them to the
// test's temporary directory.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Little-endian field writers and patchers.
inline void KxPut16(std::vector<uint8_t>& bytes, uint32_t value)
{
    bytes.push_back(uint8_t(value));
    bytes.push_back(uint8_t(value >> 8));
}

inline void KxPut32(std::vector<uint8_t>& bytes, uint32_t value)
{
    KxPut16(bytes, value);
    KxPut16(bytes, value >> 16);
}

inline void KxPatch16(std::vector<uint8_t>& bytes, size_t offset, uint32_t value)
{
    bytes[offset] = uint8_t(value);
    bytes[offset + 1] = uint8_t(value >> 8);
}

inline void KxPatch32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value)
{
    KxPatch16(bytes, offset, value);
    KxPatch16(bytes, offset + 2, value >> 16);
}

// Offsets of the header fields within the file.
enum : size_t {
    kBmpSignatureAt = 0,
    kBmpDataOffsetAt = 10,
    kBmpInfoSizeAt = 14,
    kBmpWidthAt = 18,
    kBmpHeightAt = 22,
    kBmpBitCountAt = 28,
    kBmpCompressionAt = 30,
};

// File header and a 24-bit BI_RGB info header of infoSize bytes (the bytes
// past the first 40 are zero); the data offset points right after them.
inline std::vector<uint8_t> KxBmpHeaders(int32_t width, int32_t height, uint32_t infoSize = 40)
{
    std::vector<uint8_t> bytes;
    KxPut16(bytes, 0x4D42);
    KxPut32(bytes, 0);  // file size: not examined
    KxPut32(bytes, 0);
    KxPut32(bytes, 14 + infoSize);
    KxPut32(bytes, infoSize);
    KxPut32(bytes, uint32_t(width));
    KxPut32(bytes, uint32_t(height));
    KxPut16(bytes, 1);
    KxPut16(bytes, 24);
    for (int i = 0; i < 6; ++i)
        KxPut32(bytes, 0);
    bytes.resize(14 + infoSize, 0);
    return bytes;
}

// Byte k of texel x in the row-th row of the file, distinct for small images.
inline uint8_t KxFileByte(int32_t x, int32_t row, int32_t k)
{
    return uint8_t(row * 64 + x * 3 + k + 1);
}

// A complete file whose rows hold KxFileByte values, each row padded with
// 0xEE bytes to a multiple of 4.
inline std::vector<uint8_t> KxBmpFile(int32_t width, int32_t height, uint32_t infoSize = 40)
{
    std::vector<uint8_t> bytes = KxBmpHeaders(width, height, infoSize);
    const int32_t rows = height < 0 ? -height : height;
    for (int32_t row = 0; row < rows; ++row) {
        for (int32_t x = 0; x < width; ++x)
            for (int32_t k = 0; k < 3; ++k)
                bytes.push_back(KxFileByte(x, row, k));
        while ((bytes.size() - 14 - infoSize) % 4 != 0)
            bytes.push_back(0xEE);
    }
    return bytes;
}

// A file whose texel (x, y), with row 0 at the top of the image, holds the
// bytes of texels[y * width + x] packed as 0xB0G1R2 (byte 0 in bits 16-23).
inline std::vector<uint8_t> KxBmpFromTexels(int32_t width, int32_t height, const std::vector<uint32_t>& texels)
{
    std::vector<uint8_t> bytes = KxBmpHeaders(width, height);
    for (int32_t y = height - 1; y >= 0; --y) {
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t texel = texels[size_t(y * width + x)];
            bytes.push_back(uint8_t(texel >> 16));
            bytes.push_back(uint8_t(texel >> 8));
            bytes.push_back(uint8_t(texel));
        }
        while ((bytes.size() - 54) % 4 != 0)
            bytes.push_back(0);
    }
    return bytes;
}

inline std::string KxWriteTempFile(const std::string& name, const std::vector<uint8_t>& bytes)
{
    const std::string path = ::testing::TempDir() + name;
    FILE* file = std::fopen(path.c_str(), "wb");
    EXPECT_NE(file, nullptr) << path;
    if (file) {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
    return path;
}
