#include "render/kxdib.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "math/kxassert.h"
#include "platform/kxwin32.h"
#include "render/kxchannelmasks.h"

namespace {

constexpr WORD kBmpSignature = 0x4D42;  // "BM"
constexpr int32_t kMaxImageSide = 16384;
constexpr DWORD kInfoHeaderSize = 40;
constexpr size_t kMaskBytes = 16;  // red, green, blue, alpha
constexpr DWORD kBitFields = 3;    // BI_BITFIELDS: channels given by masks

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

// What the headers say about the pixels: where they start, their size and
// for 32-bit images how their channels lie.
struct KxBmpLayout {
    BITMAPFILEHEADER fh;
    BITMAPINFOHEADER ih;
    KxChannelMasks masks = kBgraMasks;
    bool bPlainAlpha = true;  // 32-bit without masks: see KeepsAlpha
};

// Why the bit count and compression make no image the loader reads, or
// null: 24-bit BI_RGB, 32-bit BI_RGB or BI_BITFIELDS.
const char* FormatError(const BITMAPINFOHEADER& ih)
{
    if (ih.biBitCount != 24 && ih.biBitCount != 32)
        return "not a 24- or 32-bit image";
    if (ih.biCompression != BI_RGB && !(ih.biBitCount == 32 && ih.biCompression == kBitFields))
        return "compressed image";
    return nullptr;
}

// The masks of a BI_BITFIELDS file: red, green and blue right after a
// 40-byte info header (no alpha), or red, green, blue and alpha inside a
// longer one, where they follow the first 40 bytes.
const char* ReadMasks(KxFile& file, KxBmpLayout& layout)
{
    uint32_t masks[4] = {};
    const size_t bytes = layout.ih.biSize == kInfoHeaderSize ? kMaskBytes - 4 : kMaskBytes;
    if (!file.Read(masks, bytes))
        return "file too short for the BMP headers";
    layout.masks = {masks[0], masks[1], masks[2], masks[3]};
    layout.bPlainAlpha = false;
    return KxChannelMasksError(layout.masks);
}

// Files read the pixels from their data offset on, which must lie past the
// headers and the masks after a 40-byte header, and inside the file.
bool DataOffsetFits(const KxBmpLayout& layout, long fileSize)
{
    const bool bMasksAfterHeader = layout.ih.biCompression == kBitFields && layout.ih.biSize == kInfoHeaderSize;
    const uint64_t headersEnd = sizeof(BITMAPFILEHEADER) + uint64_t(layout.ih.biSize) +
                                (bMasksAfterHeader ? kMaskBytes - 4 : 0);
    return layout.fh.bfOffBits >= headersEnd && layout.fh.bfOffBits <= uint64_t(fileSize);
}

const char* ReadHeaders(KxFile& file, long fileSize, KxBmpLayout& layout)
{
    if (fileSize < 0 || !file.Read(&layout.fh, sizeof(layout.fh)) || !file.Read(&layout.ih, sizeof(layout.ih)))
        return "file too short for the BMP headers";
    const char* error = nullptr;
    if (layout.fh.bfType != kBmpSignature)
        error = "not a BMP file";
    else if (!IsKnownInfoHeaderSize(layout.ih.biSize))
        error = "unsupported BMP info header";
    else if (!(error = FormatError(layout.ih)))
        error = ImageSizeError(layout.ih.biWidth, layout.ih.biHeight);
    if (!error && layout.ih.biCompression == kBitFields)
        error = ReadMasks(file, layout);
    if (!error && !DataOffsetFits(layout, fileSize))
        error = "pixel data offset outside the file";
    return error;
}

// Writers that leave the fourth byte of a 32-bit file unused write it as 0:
// a file without masks whose alpha bytes are all 0 is opaque.
bool KeepsAlpha(const uint8_t* alpha, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        if (alpha[i] != 0)
            return true;
    return false;
}

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
    delete[] pAlpha;
}

// Accepts 24-bit files and 32-bit ones, plain or with masks, and checks
// every size against the file before reading, so a damaged or hostile file
// cannot make the loader read or write outside its buffers. A failure
// leaves the bitmap empty.
void KxDib::Reset()
{
    delete[] pBits;
    pBits = nullptr;
    delete[] pAlpha;
    pAlpha = nullptr;
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

    KxBmpLayout layout;
    const long fileSize = file.Size();
    if (const char* error = ReadHeaders(file, fileSize, layout)) {
        pLoadError = error;
        return false;
    }
    const BITMAPFILEHEADER& fh = layout.fh;
    const BITMAPINFOHEADER& ih = layout.ih;

    const bool bTopDown = ih.biHeight < 0;
    const int64_t rows = bTopDown ? -int64_t(ih.biHeight) : ih.biHeight;
    const int64_t width = ih.biWidth;
    const int64_t rowBytes = int64_t(ih.biBitCount / 8) * width;
    const int64_t fileRowBytes = (rowBytes + 3) & ~int64_t(3);
    // The last row's padding is never read, so it need not be present.
    if (int64_t(fh.bfOffBits) + (rows - 1) * fileRowBytes + rowBytes > fileSize) {
        pLoadError = "file shorter than its pixel data";
        return false;
    }

    const bool bMasked = ih.biBitCount == 32;
    uint8_t* bits = AllocateRows(rows, 3 * width);
    uint8_t* alpha = bMasked && layout.masks.alpha ? new uint8_t[size_t(rows * width)] : nullptr;
    std::vector<uint8_t> fileRow(bMasked ? size_t(rowBytes) : 0);
    for (int64_t i = 0; i < rows; ++i) {
        // Memory rows run top-down; bottom-up files store the bottom row first.
        const int64_t memoryRow = bTopDown ? i : rows - 1 - i;
        uint8_t* target = bMasked ? fileRow.data() : bits + memoryRow * rowBytes;
        if (!file.Seek(long(fh.bfOffBits + i * fileRowBytes)) || !file.Read(target, size_t(rowBytes))) {
            delete[] bits;
            delete[] alpha;
            pLoadError = "read error in the pixel data";
            return false;
        }
        if (bMasked)
            KxDecodeMaskedRow(fileRow.data(), int32_t(width), layout.masks, bits + memoryRow * 3 * width,
                              alpha ? alpha + memoryRow * width : nullptr);
    }
    if (alpha && layout.bPlainAlpha && !KeepsAlpha(alpha, size_t(rows * width))) {
        delete[] alpha;
        alpha = nullptr;
    }

    fileHeader = fh;
    infoHeader = ih;
    pBits = bits;
    pAlpha = alpha;
    pLoadError = "";
    return true;
}

bool KxDib::LoadFromMemory(const uint8_t* source, int32_t width, int32_t height, int32_t rowStride,
                           uint32_t format)
{
    Reset();
    const int32_t sourceBytes = format == KXFMT_R8G8B8 ? 3 : 4;
    // Rows in memory always run top-down: a negative height means nothing.
    const char* error = !source ? "no pixel data"
                        : format < KXFMT_R8G8B8 || format > KXFMT_X8R8G8B8 ? "unsupported pixel format"
                        : height < 0 ? "empty or negative image size"
                                     : ImageSizeError(width, height);
    if (!error && rowStride < int64_t(sourceBytes) * width)
        error = "row stride shorter than a row of pixels";
    if (error) {
        pLoadError = error;
        return false;
    }

    const int64_t rowBytes = 3 * int64_t(width);
    uint8_t* bits = AllocateRows(height, rowBytes);
    uint8_t* alpha = format == KXFMT_A8R8G8B8 ? new uint8_t[size_t(int64_t(width) * height)] : nullptr;
    KxChannelMasks masks = kBgraMasks;
    masks.alpha = alpha ? masks.alpha : 0;
    for (int64_t row = 0; row < height; ++row) {
        const uint8_t* from = source + row * rowStride;
        if (sourceBytes == 3)
            std::memcpy(bits + row * rowBytes, from, size_t(rowBytes));
        else
            KxDecodeMaskedRow(from, width, masks, bits + row * rowBytes, alpha ? alpha + row * width : nullptr);
    }

    // The headers a bottom-up file of these pixels carries.
    const uint32_t fileRowBytes = uint32_t((int64_t(sourceBytes) * width + 3) & ~int64_t(3));
    const uint32_t imageBytes = fileRowBytes * uint32_t(height);
    fileHeader.bfType = kBmpSignature;
    fileHeader.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    fileHeader.bfSize = fileHeader.bfOffBits + imageBytes;
    infoHeader.biSize = sizeof(BITMAPINFOHEADER);
    infoHeader.biWidth = width;
    infoHeader.biHeight = height;
    infoHeader.biPlanes = 1;
    infoHeader.biBitCount = WORD(8 * sourceBytes);
    infoHeader.biCompression = BI_RGB;
    infoHeader.biSizeImage = imageBytes;
    pBits = bits;
    pAlpha = alpha;
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
