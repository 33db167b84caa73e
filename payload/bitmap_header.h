#pragma once
// The check a picture from the drive passes before it goes on the clipboard: a program that
// reads a CF_DIB block trusts its header for the size of what follows, so a header that claims
// more rows, palette or masks than the block holds would make it read past the block's end.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace shuttle {

// Why `bytes` cannot be pasted as CF_DIB, in words for the user; "" when its header agrees with it: a known header
// (BITMAPCOREHEADER, BITMAPINFOHEADER or its V2 to V5 extensions) of one plane, a bit count and
// compression that go together, and behind the header its masks, its palette and the rows its
// width, height and bit count need (or the compressed image's size) within the block, as well as
// a V5 header's colour profile.
std::string_view dibFlaw(const uint8_t* bytes, size_t size);

}  // namespace shuttle
