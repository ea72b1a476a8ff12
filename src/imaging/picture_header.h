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
// for any other content, a header that gives none, or a GIF whose first frame has no
// colours (Wine's decoder faults on it).
bool picture_dimensions(const std::vector<uint8_t>& bytes, uint32_t& width, uint32_t& height);

// A known format whose picture is neither empty nor larger than kMaxPicturePixels.
bool decodable_picture(const std::vector<uint8_t>& bytes);

// False for a TIFF-based RAW file with a 36-colour filter pattern (CFAPattern, or the
// older private tag) that no 6 x 6 repeat size announced before it in its directory:
// LibRaw 0.20 faults on one. Other files pass: LibRaw checks them itself.
bool raw_colour_pattern_sound(const std::vector<uint8_t>& bytes);
