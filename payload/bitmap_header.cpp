#include "payload/bitmap_header.h"

#include <algorithm>
#include <array>

namespace shuttle {
namespace {

constexpr std::string_view kNotABitmap = "the picture is not a bitmap";
constexpr std::string_view kClaimsMore = "the picture's header claims more than its block holds";

constexpr uint32_t kCoreHeaderSize = 12;  // BITMAPCOREHEADER
constexpr uint32_t kInfoHeaderSize = 40;  // BITMAPINFOHEADER
constexpr uint32_t kV5HeaderSize = 124;   // BITMAPV5HEADER
constexpr std::array<uint32_t, 6> kHeaderSizes{kCoreHeaderSize, kInfoHeaderSize, 52, 56, 108, kV5HeaderSize};

enum Compression : uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitfields = 3, kJpeg = 4, kPng = 5, kAlphaBitfields = 6 };
constexpr uint32_t kProfileLinked = 0x4C494E4B;    // 'LINK'
constexpr uint32_t kProfileEmbedded = 0x4D424544;  // 'MBED'

// The fields of either header kind that decide how much follows it.
struct Header {
    uint32_t size = 0;
    int64_t width = 0, height = 0;  // a negative height: rows from the top
    uint32_t planes = 0, bitCount = 0, compression = kRgb, imageSize = 0, colorsUsed = 0;
};

class LittleEndian {
public:
    LittleEndian(const uint8_t* bytes, size_t size) : bytes_(bytes), size_(size) {}
    uint32_t u16(size_t at) const { return at + 2 <= size_ ? uint32_t(bytes_[at]) | uint32_t(bytes_[at + 1]) << 8 : 0; }
    uint32_t u32(size_t at) const { return u16(at) | u16(at + 2) << 16; }
    int64_t i32(size_t at) const { return static_cast<int32_t>(u32(at)); }

private:
    const uint8_t* bytes_;
    size_t size_;
};

Header headerOf(const LittleEndian& in, uint32_t size) {
    Header header;
    header.size = size;
    if (size == kCoreHeaderSize) {
        header.width = in.u16(4);
        header.height = in.u16(6);
        header.planes = in.u16(8);
        header.bitCount = in.u16(10);
        return header;
    }
    header.width = in.i32(4);
    header.height = in.i32(8);
    header.planes = in.u16(12);
    header.bitCount = in.u16(14);
    header.compression = in.u32(16);
    header.imageSize = in.u32(20);
    header.colorsUsed = in.u32(32);
    return header;
}

bool bitCountFits(const Header& header) {
    switch (header.compression) {
        case kRgb: return header.bitCount == 1 || header.bitCount == 4 || header.bitCount == 8 || header.bitCount == 16 ||
                          header.bitCount == 24 || header.bitCount == 32;
        case kRle8: return header.bitCount == 8 && header.height > 0;
        case kRle4: return header.bitCount == 4 && header.height > 0;
        case kBitfields:
        case kAlphaBitfields: return header.bitCount == 16 || header.bitCount == 32;
        case kJpeg:
        case kPng: return header.imageSize > 0;
        default: return false;
    }
}

bool isBitmap(const Header& header) {
    if (header.planes != 1 || header.width <= 0 || header.height == 0) return false;
    if (header.size == kCoreHeaderSize)
        return header.bitCount == 1 || header.bitCount == 4 || header.bitCount == 8 || header.bitCount == 24;
    return bitCountFits(header);
}

// Bytes between the header and the pixels: the colour masks of a plain BITMAPINFOHEADER (the
// later headers hold theirs) and the palette.
uint64_t masksAndPalette(const Header& header) {
    uint64_t masks = 0;
    if (header.size == kInfoHeaderSize && header.compression == kBitfields) masks = 3 * 4;
    if (header.size == kInfoHeaderSize && header.compression == kAlphaBitfields) masks = 4 * 4;
    uint64_t colors = header.colorsUsed;
    if (colors == 0 && header.bitCount >= 1 && header.bitCount <= 8) colors = uint64_t(1) << header.bitCount;
    return masks + colors * (header.size == kCoreHeaderSize ? 3 : 4);
}

// Whether the pixels fit in `room` bytes: whole rows of DWORDs, or the compressed image.
bool pixelsFit(const Header& header, uint64_t room) {
    if (header.compression != kRgb && header.compression != kBitfields && header.compression != kAlphaBitfields)
        return header.imageSize <= room;
    const uint64_t stride = (uint64_t(header.width) * header.bitCount + 31) / 32 * 4;
    const uint64_t rows = header.height < 0 ? uint64_t(-header.height) : uint64_t(header.height);
    return stride <= room / rows && stride * rows <= room;
}

bool profileFits(const LittleEndian& in, const Header& header, size_t size) {
    if (header.size != kV5HeaderSize) return true;
    const uint32_t colourSpace = in.u32(56);
    if (colourSpace != kProfileLinked && colourSpace != kProfileEmbedded) return true;
    return uint64_t(in.u32(112)) + in.u32(116) <= size;  // offset from the header's start, and size
}

}  // namespace

std::string_view dibFlaw(const uint8_t* bytes, size_t size) {
    const LittleEndian in(bytes, size);
    const uint32_t headerSize = in.u32(0);
    if (size < 4 || std::find(kHeaderSizes.begin(), kHeaderSizes.end(), headerSize) == kHeaderSizes.end())
        return kNotABitmap;
    if (headerSize > size) return kClaimsMore;
    const Header header = headerOf(in, headerSize);
    if (!isBitmap(header)) return kNotABitmap;
    const uint64_t beforePixels = headerSize + masksAndPalette(header);
    if (beforePixels > size || !pixelsFit(header, size - beforePixels)) return kClaimsMore;
    if (!profileFits(in, header, size)) return kClaimsMore;
    return {};
}

}  // namespace shuttle
