// Builds BMP files byte by byte for loader tests and writes them to the
// test's temporary directory.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <unistd.h>

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

// Writes the size low bytes of value, little-endian, at offset.
inline void KxPatch(std::vector<uint8_t>& bytes, size_t offset, uint32_t value, int size = 4)
{
    for (int i = 0; i < size; ++i)
        bytes[offset + size_t(i)] = uint8_t(value >> (8 * i));
}

// File header and a 24-bit BI_RGB info header of infoSize bytes (the bytes
// past the first 40 are zero); the data offset points right after them.
inline std::vector<uint8_t> KxBmpHeaders(int32_t width, int32_t height, uint32_t infoSize = 40)
{
    std::vector<uint8_t> bytes(14 + infoSize, 0);
    KxPatch(bytes, kBmpSignatureAt, 0x4D42, 2);
    KxPatch(bytes, kBmpDataOffsetAt, 14 + infoSize);
    KxPatch(bytes, kBmpInfoSizeAt, infoSize);
    KxPatch(bytes, kBmpWidthAt, uint32_t(width));
    KxPatch(bytes, kBmpHeightAt, uint32_t(height));
    KxPatch(bytes, 26, 1, 2);  // planes
    KxPatch(bytes, kBmpBitCountAt, 24, 2);
    return bytes;
}

// Appends rows of width texels, byteAt(x, row, k) being byte k of texel x in
// the row-th row of the file, each row padded to a multiple of 4 with pad.
template <typename ByteAt>
std::vector<uint8_t> KxBmpWithRows(std::vector<uint8_t> bytes, int32_t width, int32_t rows, uint8_t pad,
                                   ByteAt byteAt)
{
    for (int32_t row = 0; row < rows; ++row) {
        for (int32_t x = 0; x < width; ++x)
            for (int32_t k = 0; k < 3; ++k)
                bytes.push_back(byteAt(x, row, k));
        for (int32_t i = 3 * width; i % 4 != 0; ++i)
            bytes.push_back(pad);
    }
    return bytes;
}

// Byte k of texel x in the row-th row of the file, distinct for small images.
inline uint8_t KxFileByte(int32_t x, int32_t row, int32_t k)
{
    return uint8_t(row * 64 + x * 3 + k + 1);
}

// A complete file whose rows hold KxFileByte values, padded with 0xEE.
inline std::vector<uint8_t> KxBmpFile(int32_t width, int32_t height, uint32_t infoSize = 40)
{
    return KxBmpWithRows(KxBmpHeaders(width, height, infoSize), width, height < 0 ? -height : height, 0xEE,
                         KxFileByte);
}

// A bottom-up file whose texel (x, y), with row 0 at the top of the image,
// holds the bytes of texels[y * width + x] packed as 0xB0G1R2 (byte 0 in
// bits 16-23).
inline std::vector<uint8_t> KxBmpFromTexels(int32_t width, int32_t height, const std::vector<uint32_t>& texels)
{
    return KxBmpWithRows(KxBmpHeaders(width, height), width, height, 0, [&](int32_t x, int32_t row, int32_t k) {
        return uint8_t(texels[size_t((height - 1 - row) * width + x)] >> (16 - 8 * k));
    });
}

inline std::string KxWriteTempFile(const std::string& name, const std::vector<uint8_t>& bytes)
{
    // Tests run in parallel processes: the process id keeps their files apart.
    const std::string path = ::testing::TempDir() + "kx" + std::to_string(getpid()) + "-" + name;
    FILE* file = std::fopen(path.c_str(), "wb");
    EXPECT_NE(file, nullptr) << path;
    if (file) {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
    return path;
}
