#include "ui/dib_image_qt.h"

#include <QByteArray>

#include <optional>

namespace shuttle {
namespace {

constexpr size_t kFileHeaderSize = 14;  // BITMAPFILEHEADER
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kV5HeaderSize = 124;
constexpr uint32_t kSrgbColourSpace = 0x73524742;  // 'sRGB'
constexpr uint32_t kPictureIntent = 4;             // LCS_GM_IMAGES
constexpr uint32_t kBitFields = 3;
constexpr uint32_t kAlphaBitFields = 6;

uint32_t u16At(const std::vector<uint8_t>& bytes, size_t at) { return bytes[at] | bytes[at + 1] << 8; }

uint32_t u32At(const std::vector<uint8_t>& bytes, size_t at) { return u16At(bytes, at) | u16At(bytes, at + 2) << 16; }

void put16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

void put32(QByteArray& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.append(static_cast<char>(value >> shift));
}

// Where the rows begin: after the header, the masks an info header with bit fields carries,
// and the colour table.
std::optional<uint64_t> rowsOffset(const std::vector<uint8_t>& dib) {
    if (dib.size() < kCoreHeaderSize) return std::nullopt;
    const uint32_t headerSize = u32At(dib, 0);
    if (headerSize == kCoreHeaderSize) {
        const uint32_t bits = u16At(dib, 10);
        return kCoreHeaderSize + (bits <= 8 ? (uint64_t{1} << bits) * 3 : 0);
    }
    if (headerSize < kInfoHeaderSize || headerSize > dib.size()) return std::nullopt;
    const uint32_t bits = u16At(dib, 14);
    const uint32_t compression = u32At(dib, 16);
    const uint32_t used = u32At(dib, 32);
    uint64_t masks = 0;
    if (headerSize == kInfoHeaderSize && compression == kBitFields) masks = 12;
    if (headerSize == kInfoHeaderSize && compression == kAlphaBitFields) masks = 16;
    const uint64_t colours = used != 0 ? used : bits <= 8 ? uint64_t{1} << bits : 0;
    return headerSize + masks + colours * 4;
}

// The bytes the rows of an uncompressed bitmap take; 0 for a compressed one, whose rows take
// what they take.
uint64_t uncompressedRowsSize(const std::vector<uint8_t>& dib) {
    const bool core = u32At(dib, 0) == kCoreHeaderSize;
    const uint32_t compression = core ? 0 : u32At(dib, 16);
    if (compression != 0 && compression != kBitFields && compression != kAlphaBitFields) return 0;
    const uint64_t width = core ? u16At(dib, 4) : u32At(dib, 4);
    const auto height = core ? static_cast<int16_t>(u16At(dib, 6)) : static_cast<int32_t>(u32At(dib, 8));
    const uint64_t bits = u16At(dib, core ? 10 : 14);
    return (width * bits + 31) / 32 * 4 * static_cast<uint64_t>(height < 0 ? -int64_t{height} : int64_t{height});
}

}  // namespace

// Qt reads every bitmap Windows writes from a BMP file, which is the block behind a file header
// that says where its rows begin.
QImage imageOfDib(const std::vector<uint8_t>& dib) {
    const std::optional<uint64_t> offset = rowsOffset(dib);
    // A block shorter than its rows would be drawn from what lies beyond it.
    if (!offset || *offset + uncompressedRowsSize(dib) > dib.size() || dib.size() > 0xFFFFFFFFu - kFileHeaderSize)
        return {};
    QByteArray file;
    file.reserve(static_cast<qsizetype>(kFileHeaderSize + dib.size()));
    file.append("BM");
    put32(file, static_cast<uint32_t>(kFileHeaderSize + dib.size()));
    put32(file, 0);
    put32(file, static_cast<uint32_t>(kFileHeaderSize + *offset));
    file.append(reinterpret_cast<const char*>(dib.data()), static_cast<qsizetype>(dib.size()));
    QImage image;
    if (!image.loadFromData(file, "BMP")) return {};
    return image;
}

// Windows keeps a picture's alpha in a V5 header whose bit fields name the alpha byte; a picture
// without alpha takes the plain header that every reader knows.
std::vector<uint8_t> dibOfImage(const QImage& image) {
    const bool alpha = image.hasAlphaChannel();
    const QImage pixels = image.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    const auto width = static_cast<uint32_t>(pixels.width());
    const auto height = static_cast<uint32_t>(pixels.height());
    const uint32_t bits = alpha ? 32 : 24;
    const uint32_t stride = (width * bits + 31) / 32 * 4;
    const uint32_t headerSize = alpha ? kV5HeaderSize : kInfoHeaderSize;
    std::vector<uint8_t> dib;
    dib.reserve(headerSize + static_cast<size_t>(stride) * height);
    put32(dib, headerSize);
    put32(dib, width);
    put32(dib, height);  // positive: the bottom row first
    put16(dib, 1);
    put16(dib, bits);
    put32(dib, alpha ? kBitFields : 0);  // else BI_RGB
    put32(dib, stride * height);
    put32(dib, static_cast<uint32_t>(std::max(0, pixels.dotsPerMeterX())));
    put32(dib, static_cast<uint32_t>(std::max(0, pixels.dotsPerMeterY())));
    put32(dib, 0);
    put32(dib, 0);
    if (alpha) {
        for (uint32_t mask : {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u}) put32(dib, mask);
        put32(dib, kSrgbColourSpace);
        dib.resize(dib.size() + 48, 0);  // end points, gamma, profile: none
        put32(dib, kPictureIntent);
        dib.resize(headerSize, 0);
    }
    for (uint32_t row = height; row-- > 0;) {
        const auto* line = reinterpret_cast<const QRgb*>(pixels.constScanLine(static_cast<int>(row)));
        const size_t rowStart = dib.size();
        for (uint32_t x = 0; x < width; ++x) {
            dib.push_back(static_cast<uint8_t>(qBlue(line[x])));
            dib.push_back(static_cast<uint8_t>(qGreen(line[x])));
            dib.push_back(static_cast<uint8_t>(qRed(line[x])));
            if (alpha) dib.push_back(static_cast<uint8_t>(qAlpha(line[x])));
        }
        dib.resize(rowStart + stride, 0);
    }
    return dib;
}

}  // namespace shuttle
