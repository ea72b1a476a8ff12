// The size a picture file claims, read from its header before any decoder sees it: GDI+
// under Wine trusts these numbers and faults on sizes no bitmap can have. And the
// shooting facts an Exif block gives, for pictures whose decoder reads none.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "base/found_file.h"

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

// What an Exif block (a TIFF structure) says: IFD0's Make and Model, and the shooting
// time from the Exif directory's DateTimeOriginal (else IFD0's DateTime), read as local
// time as LibRaw reads it (0 when absent). A model that repeats the make ("Canon EOS R6"
// by "Canon") is given without it, as LibRaw gives the models of RAW files.
struct ExifFacts {
  int64_t timestamp = 0;
  std::string make;
  std::string model;
};
// False when the bytes hold no TIFF header; the fields not found stay empty.
bool read_exif_facts(const std::vector<uint8_t>& tiff, ExifFacts& facts);

// "make model" into record.camera, cut to 31 characters and terminated.
void write_camera(FoundFile& record, const char* make, const char* model);
