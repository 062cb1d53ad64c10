#include "render/kxdib.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "math/kxassert.h"
#include "platform/kxwin32.h"

namespace {

constexpr WORD kBmpSignature = 0x4D42;  // "BM"
constexpr int32_t kMaxImageSide = 16384;

// The info headers that start with the 40-byte layout: BITMAPINFOHEADER,
// BITMAPV4HEADER and BITMAPV5HEADER.
bool IsKnownInfoHeaderSize(DWORD size)
{
    return size == 40 || size == 108 || size == 124;
}

// A FIFO would block the open until a writer comes, and a directory or a
// device has no size to check the headers against: only regular files load.
bool IsNonRegularFile(const char* path)
{
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    return !error && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status);
}

// Why an image of this size cannot be a texture, or null. Files store
// top-down images with a negative height.
const char* ImageSizeError(int32_t width, int32_t height)
{
    if (width <= 0 || height == 0)
        return "empty or negative image size";
    if (width > kMaxImageSide || height > kMaxImageSide || height < -kMaxImageSide)
        return "image larger than 16384 x 16384";
    return nullptr;
}

class KxFile {
public:
    explicit KxFile(const char* path) : pFile(path ? std::fopen(path, "rb") : nullptr) {}
    ~KxFile()
    {
        if (pFile)
            std::fclose(pFile);
    }
    KxFile(const KxFile&) = delete;
    KxFile& operator=(const KxFile&) = delete;

    bool IsOpen() const { return pFile != nullptr; }
    bool Read(void* buffer, size_t size) { return std::fread(buffer, 1, size, pFile) == size; }
    bool Seek(long offset) { return std::fseek(pFile, offset, SEEK_SET) == 0; }

    // -1 when the size cannot be found.
    long Size()
    {
        if (std::fseek(pFile, 0, SEEK_END) != 0)
            return -1;
        const long size = std::ftell(pFile);
        return std::fseek(pFile, 0, SEEK_SET) == 0 ? size : -1;
    }

private:
    FILE* pFile;
};

}  // namespace

KxDib::KxDib(uint8_t* target, int32_t targetBytesPerPixel)
    : pTarget(target), nTargetBytesPerPixel(targetBytesPerPixel)
{
    std::memset(&fileHeader, 0, sizeof(fileHeader));
    std::memset(&infoHeader, 0, sizeof(infoHeader));
    std::memset(&colorEntry, 0, sizeof(colorEntry));
}

KxDib::~KxDib()
{
    delete[] pBits;
}

// Accepts uncompressed 24-bit files only and checks every size against the
// file before reading, so a damaged or hostile file cannot make the loader
// read or write outside its buffers. A failure leaves the bitmap empty.
void KxDib::Reset()
{
    delete[] pBits;
    pBits = nullptr;
    std::memset(&fileHeader, 0, sizeof(fileHeader));
    std::memset(&infoHeader, 0, sizeof(infoHeader));
}

uint8_t* KxDib::AllocateRows(int64_t rows, int64_t rowBytes)
{
    // Four spare zero bytes after the last texel: the vector sampler reads
    // whole 32-bit words.
    return new uint8_t[size_t(rows * rowBytes) + 4]();
}

bool KxDib::Load(const char* path)
{
    Reset();

    if (path && IsNonRegularFile(path)) {
        pLoadError = "not a regular file";
        return false;
    }
    KxFile file(path);
    if (!file.IsOpen()) {
        KX_ASSERT(0, "kxdib");
        pLoadError = "cannot open the file";
        return false;
    }

    const char* error = nullptr;
    BITMAPFILEHEADER fh;
    BITMAPINFOHEADER ih;
    const long fileSize = file.Size();
    if (fileSize < 0 || !file.Read(&fh, sizeof(fh)) || !file.Read(&ih, sizeof(ih)))
        error = "file too short for the BMP headers";
    else if (fh.bfType != kBmpSignature)
        error = "not a BMP file";
    else if (!IsKnownInfoHeaderSize(ih.biSize))
        error = "unsupported BMP info header";
    else if (ih.biBitCount != 24)
        error = "not a 24-bit image";
    else if (ih.biCompression != BI_RGB)
        error = "compressed image";
    else
        error = ImageSizeError(ih.biWidth, ih.biHeight);
    if (!error && (fh.bfOffBits < sizeof(fh) + ih.biSize || fh.bfOffBits > uint64_t(fileSize)))
        error = "pixel data offset outside the file";
    if (error) {
        pLoadError = error;
        return false;
    }

    const bool bTopDown = ih.biHeight < 0;
    const int64_t rows = bTopDown ? -int64_t(ih.biHeight) : ih.biHeight;
    const int64_t rowBytes = int64_t(ih.biBitCount / 8) * ih.biWidth;
    const int64_t fileRowBytes = (rowBytes + 3) & ~int64_t(3);
    // The last row's padding is never read, so it need not be present.
    if (int64_t(fh.bfOffBits) + (rows - 1) * fileRowBytes + rowBytes > fileSize) {
        pLoadError = "file shorter than its pixel data";
        return false;
    }

    uint8_t* bits = AllocateRows(rows, rowBytes);
    for (int64_t i = 0; i < rows; ++i) {
        // Memory rows run top-down; bottom-up files store the bottom row first.
        const int64_t memoryRow = bTopDown ? i : rows - 1 - i;
        if (!file.Seek(long(fh.bfOffBits + i * fileRowBytes)) ||
            !file.Read(bits + memoryRow * rowBytes, size_t(rowBytes))) {
            delete[] bits;
            pLoadError = "read error in the pixel data";
            return false;
        }
    }

    fileHeader = fh;
    infoHeader = ih;
    pBits = bits;
    pLoadError = "";
    return true;
}

bool KxDib::LoadFromMemory(const uint8_t* source, int32_t width, int32_t height, int32_t rowStride)
{
    Reset();
    // Rows in memory always run top-down: a negative height means nothing.
    const char* error = !source ? "no pixel data"
                        : height < 0 ? "empty or negative image size"
                                     : ImageSizeError(width, height);
    if (!error && rowStride < 3 * width)
        error = "row stride shorter than a row of pixels";
    if (error) {
        pLoadError = error;
        return false;
    }

    const int64_t rowBytes = 3 * int64_t(width);
    uint8_t* bits = AllocateRows(height, rowBytes);
    for (int64_t row = 0; row < height; ++row)
        std::memcpy(bits + row * rowBytes, source + row * rowStride, size_t(rowBytes));

    // The headers a bottom-up 24-bit file of these pixels carries.
    const uint32_t imageBytes = uint32_t((rowBytes + 3) & ~int64_t(3)) * uint32_t(height);
    fileHeader.bfType = kBmpSignature;
    fileHeader.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    fileHeader.bfSize = fileHeader.bfOffBits + imageBytes;
    infoHeader.biSize = sizeof(BITMAPINFOHEADER);
    infoHeader.biWidth = width;
    infoHeader.biHeight = height;
    infoHeader.biPlanes = 1;
    infoHeader.biBitCount = 24;
    infoHeader.biCompression = BI_RGB;
    infoHeader.biSizeImage = imageBytes;
    pBits = bits;
    pLoadError = "";
    return true;
}

KxTexture::KxTexture(const char* path, uint8_t* target, int32_t targetBytesPerPixel)
    : KxDib(target, targetBytesPerPixel)
{
    Load(path);
}

KxTexture::KxTexture(uint8_t* target, int32_t targetBytesPerPixel) : KxDib(target, targetBytesPerPixel)
{
}

bool KxTexture::Release()
{
    delete this;
    return true;
}
