#pragma once
// Pictures between the Windows clipboard's CF_DIB (a bitmap header, its colour table or masks,
// and the rows) and Qt's images, which the Linux clipboard offers as PNG.

#include <QImage>

#include <cstdint>
#include <vector>

namespace shuttle {

// The picture of a CF_DIB block (any header Windows writes: core, info, V4, V5; 1 to 32 bits a
// pixel, palettes, bit fields, rows bottom-up or top-down); a null image when the block does
// not hold one.
QImage imageOfDib(const std::vector<uint8_t>& dib);
// A CF_DIB block for `image`, its rows bottom-up: a BITMAPINFOHEADER and 24 bits a pixel, or,
// when the image has an alpha channel, a BITMAPV5HEADER with bit fields and 32 bits (blue,
// green, red, alpha).
std::vector<uint8_t> dibOfImage(const QImage& image);

}  // namespace shuttle
