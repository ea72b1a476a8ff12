// The size a picture file claims, read from its header before any decoder sees it: GDI+
// under Wine trusts these numbers and faults on sizes no bitmap can have.
#pragma once
#include <cstdint>
#include <vector>

// Decoding is refused above this many pixels: GDI+ holds a 32-bit copy (256 MiB here)
// besides the 24-bit one, and the thumbnail worker shares the program's 2 GiB of address
// space with the pages.
constexpr uint64_t kMaxPicturePixels = 64ull << 20;

// Width and height as the header of a BMP, GIF, JPEG, PNG or TIFF file gives them; false
// for any other content or a header that gives none.
bool picture_dimensions(const std::vector<uint8_t>& bytes, uint32_t& width, uint32_t& height);

// A known format whose picture is neither empty nor larger than kMaxPicturePixels.
bool decodable_picture(const std::vector<uint8_t>& bytes);
