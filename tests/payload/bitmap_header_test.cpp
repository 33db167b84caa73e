#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "payload/bitmap_header.h"

namespace shuttle {
namespace {

constexpr std::string_view kSound = "";
constexpr std::string_view kNotABitmap = "the picture is not a bitmap";
constexpr std::string_view kClaimsMore = "the picture's header claims more than its block holds";

// A block of `size` bytes holding a header; 40 bytes, 4 x 2 pixels of 24 bits unless told.
struct Dib {
    explicit Dib(size_t blockSize) : size(blockSize) {}
    uint32_t header = 40;
    int32_t width = 4, height = 2;
    uint16_t planes = 1, bits = 24;
    uint32_t compression = 0, imageSize = 0, colors = 0;
    size_t size;

    Dib& as(uint32_t headerSize) { return header = headerSize, *this; }
    Dib& of(int32_t w, int32_t h, uint16_t bitCount) { return width = w, height = h, bits = bitCount, *this; }
    Dib& packed(uint32_t how, uint32_t bytes = 0) { return compression = how, imageSize = bytes, *this; }
    Dib& withColors(uint32_t count) { return colors = count, *this; }
    Dib& withPlanes(uint16_t count) { return planes = count, *this; }

    std::string_view flaw() const {
        std::vector<uint8_t> bytes(size, 0);
        auto put = [&](size_t at, uint32_t value, size_t width) {
            for (size_t i = 0; i < width && at + i < size; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
        };
        put(0, header, 4);
        const bool core = header == 12;
        put(4, static_cast<uint32_t>(width), core ? 2 : 4);
        put(core ? 6 : 8, static_cast<uint32_t>(height), core ? 2 : 4);
        put(core ? 8 : 12, planes, 2);
        put(core ? 10 : 14, bits, 2);
        if (!core) put(16, compression, 4), put(20, imageSize, 4), put(32, colors, 4);
        return dibFlaw(bytes.data(), bytes.size());
    }
};

// The header's claim against the block: rows of whole DWORDs, masks, palette, compressed size.
TEST(BitmapHeader, APictureIsPastedOnlyWhenItsHeaderAgreesWithItsBlock) {
    struct Case {
        Dib dib;
        std::string_view flaw;
    };
    const int32_t huge = 0x7FFFFFFF;
    for (const Case& c : std::vector<Case>{
             {Dib(40 + 2 * 12), kSound}, {Dib(40 + 2 * 12 - 1), kClaimsMore},
             {Dib(64).of(4, -2, 24), kSound}, {Dib(64).of(4, -3, 24), kClaimsMore},
             {Dib(40 + 1024 + 8).of(4, 2, 8), kSound}, {Dib(40 + 1024 + 7).of(4, 2, 8), kClaimsMore},
             {Dib(40 + 8 + 8).of(4, 2, 8).withColors(2), kSound}, {Dib(40 + 8 + 8).of(4, 2, 1), kSound},
             {Dib(40 + 12 + 32).of(4, 2, 32).packed(3), kSound},
             {Dib(40 + 32).of(4, 2, 32).packed(3), kClaimsMore},
             {Dib(108 + 32).as(108).of(4, 2, 32).packed(3), kSound},
             {Dib(56 + 32).as(56).of(4, 2, 32).packed(6), kSound},
             {Dib(40 + 12 + 32).of(4, 2, 32).packed(6), kClaimsMore},
             {Dib(12 + 24).as(12), kSound}, {Dib(12 + 768 + 8).as(12).of(4, 2, 8), kSound},
             {Dib(12 + 768 + 7).as(12).of(4, 2, 8), kClaimsMore},
             {Dib(40 + 1024 + 10).of(4, 2, 8).packed(1, 10), kSound},
             {Dib(40 + 1024 + 10).of(4, 2, 8).packed(1, 11), kClaimsMore},
             {Dib(2000).of(4, -2, 8).packed(1, 1), kNotABitmap},
             {Dib(49).of(4, 2, 0).packed(5, 9), kSound},
             {Dib(49).of(4, 2, 0).packed(5), kNotABitmap},
             {Dib(1000).of(huge, huge, 32), kClaimsMore},
             {Dib(1000).of(huge, -huge - 1, 32), kClaimsMore},
             {Dib(1000).of(4, 2, 8).withColors(0xFFFFFFFF), kClaimsMore},
             {Dib(1000).withPlanes(2), kNotABitmap}, {Dib(1000).of(4, 2, 7), kNotABitmap},
             {Dib(1000).of(4, 2, 24).packed(3), kNotABitmap}, {Dib(1000).packed(9), kNotABitmap},
             {Dib(1000).of(0, 2, 24), kNotABitmap}, {Dib(1000).of(4, 0, 24), kNotABitmap},
             {Dib(1000).as(41), kNotABitmap}, {Dib(100).as(124), kClaimsMore},
             {Dib(3), kNotABitmap}, {Dib(0), kNotABitmap}}) {
        EXPECT_EQ(c.dib.flaw(), c.flaw) << c.dib.header << " " << c.dib.width << "x" << c.dib.height << "x" << c.dib.bits
                                        << " compression " << c.dib.compression << " in " << c.dib.size;
    }
    // A V5 header's colour profile lies behind the pixels, by offset and size from the header.
    std::vector<uint8_t> v5(124 + 24 + 16, 0);
    const uint32_t fields[] = {124, 4, 2, 1 | 24 << 16};
    std::memcpy(v5.data(), fields, sizeof fields);  // a little-endian host
    const uint32_t embedded = 0x4D424544, profile[] = {124 + 24, 16};
    std::memcpy(v5.data() + 56, &embedded, 4);
    std::memcpy(v5.data() + 112, profile, sizeof profile);
    EXPECT_EQ(dibFlaw(v5.data(), v5.size()), kSound);
    EXPECT_EQ(dibFlaw(v5.data(), v5.size() - 1), kClaimsMore);
}

}  // namespace
}  // namespace shuttle
