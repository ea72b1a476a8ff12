// What the TIFF walk follows: for each kind of directory, the tags that point to other
// structures and what they point to; for each camera maker's note, its layout.
// Internal to the TIFF walk.
#pragma once
#include <cstddef>
#include <cstdint>

namespace kes::tiff {

// Kinds of directory. Each has its own tags; maker-note directories also take the
// general maker rules.
enum class Dir : uint8_t {
  main,              // IFD0 chain and SubIFDs: damage here is damage to the file
  rw2,               // Panasonic raw IFD0
  exif,              // EXIF, GPS and interoperability IFDs
  maker,             // maker-note IFDs: followed where sane, never trusted to fail the file
  nikon,             // preview IFD behind tag 0x11
  olympus,           // sub-IFDs behind 0x2010..0x2050, a preview behind 0x88/0x89
  olympus_settings,  // camera settings: preview start and length
  minolta,           // preview start and length at 0x88/0x89, often after the JPEG's end
  pentax,            // preview length and start at 3/4 (Casio's notes too)
  samsung,           // preview start and length at 2/3
  count,
};

enum class Role : uint8_t {
  ifd,          // offset of a directory of kind `into` (or several, or one stored whole)
  private_ifd,  // one offset: a directory in some cameras' files, a plain blob in others
  data,         // offsets of data whose byte counts the `pair` tag holds
  jpeg,         // offset of a JPEG picture whose length the `pair` tag holds
  maker_note,
  make,
  model,
  compression,
  photometric,
  dng_version,
  sensor_width,   // Panasonic raw: its length when no byte count is given
  sensor_height,
  raw_offset,
};

struct TagRule {
  uint16_t tag;
  Role role;
  uint16_t pair;  // the tag of the byte counts or length, for data and jpeg
  Dir into;       // for ifd
};

struct DirRules {
  const TagRule* rules;
  size_t count;
  bool strict;           // data beyond the medium means the file was cut
  bool strict_previews;  // likewise for its JPEG pictures
};

const DirRules& rules_of(Dir dir);
// The rule for `tag` in `dir` (or in the general maker rules for maker kinds), or null.
const TagRule* find_rule(Dir dir, uint16_t tag);

// The layout of a maker note, told by its first bytes (or, for notes that start with
// their IFD, by the camera's make).
struct MakerNote {
  const char* magic;
  uint8_t magic_len;
  uint8_t base_at;    // offsets count from this position in the note, or kFileBase
  uint8_t order_at;   // position of an "II"/"MM" mark, or kFileOrder / kLittle
  uint8_t ifd_at;     // the IFD's position in the note, or kIfdPointer
  uint8_t ifd_ptr_at; // with kIfdPointer: a 32-bit offset (from the base) at this position
  Dir dir;
};
constexpr uint8_t kFileBase = 0xFF, kFileOrder = 0xFF, kLittle = 0xFE, kIfdPointer = 0xFF;

// The layout of the note whose first 16 bytes are `head`, in a file of camera `make`.
const MakerNote& maker_note_layout(const uint8_t* head, const char* make);

}  // namespace kes::tiff
