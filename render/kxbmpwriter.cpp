#include "render/kxbmpwriter.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/kxwin32.h"

namespace {

constexpr uint32_t kHeadersSize = 14 + 40;

void PutLittleEndian(uint8_t*& out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        *out++ = uint8_t(value >> (8 * i));
}

void EncodeHeaders(uint8_t* out, uint32_t width, uint32_t height, uint32_t imageBytes)
{
    *out++ = 'B';
    *out++ = 'M';
    PutLittleEndian(out, kHeadersSize + imageBytes, 4);
    PutLittleEndian(out, 0, 4);  // reserved
    PutLittleEndian(out, kHeadersSize, 4);
    PutLittleEndian(out, 40, 4);
    PutLittleEndian(out, width, 4);
    PutLittleEndian(out, height, 4);  // positive: bottom-up
    PutLittleEndian(out, 1, 2);       // planes
    PutLittleEndian(out, 24, 2);
    PutLittleEndian(out, BI_RGB, 4);
    PutLittleEndian(out, imageBytes, 4);
    PutLittleEndian(out, 2835, 4);  // 72 dots per inch
    PutLittleEndian(out, 2835, 4);
    PutLittleEndian(out, 0, 4);
    PutLittleEndian(out, 0, 4);
}

bool WriteRows(std::FILE* file, const uint8_t* pixels, uint32_t width, uint32_t height, int32_t rowStride,
               uint32_t fileRowBytes)
{
    uint8_t headers[kHeadersSize];
    EncodeHeaders(headers, width, height, fileRowBytes * height);
    if (std::fwrite(headers, 1, sizeof(headers), file) != sizeof(headers))
        return false;
    std::vector<uint8_t> row(fileRowBytes, 0);  // the padding stays zero
    for (uint32_t y = height; y-- > 0;) {
        const uint8_t* source = pixels + size_t(y) * size_t(rowStride);
        std::copy(source, source + 3 * size_t(width), row.begin());
        if (std::fwrite(row.data(), 1, row.size(), file) != row.size())
            return false;
    }
    return true;
}

bool ReplaceFile(const std::string& from, const char* to)
{
#ifdef _WIN32
    return MoveFileExA(from.c_str(), to, MOVEFILE_REPLACE_EXISTING) != 0;
#else
    return std::rename(from.c_str(), to) == 0;
#endif
}

}  // namespace

bool KxWriteBmpFile(const char* path, const uint8_t* pixels, int32_t width, int32_t height, int32_t rowStride)
{
    if (!path || !*path || !pixels || width <= 0 || height <= 0 || rowStride < 3 * int64_t(width))
        return false;
    const uint64_t fileRowBytes = (3 * uint64_t(width) + 3) & ~uint64_t(3);
    if (kHeadersSize + fileRowBytes * uint64_t(height) > 0xFFFFFFFFu)
        return false;  // the file size would not fit its header field

    const std::string temporary = std::string(path) + ".part";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file)
        return false;
    const bool bWritten = WriteRows(file, pixels, uint32_t(width), uint32_t(height), rowStride,
                                    uint32_t(fileRowBytes));
    const bool bClosed = std::fclose(file) == 0;
    if (bWritten && bClosed && ReplaceFile(temporary, path))
        return true;
    std::remove(temporary.c_str());
    return false;
}
