// Following a TIFF structure: the IFD chain, SubIFDs, EXIF/GPS/interoperability IFDs,
// maker notes of the common cameras, strips, tiles and embedded JPEG pictures. The
// file's end is the furthest byte that any followed structure references. Also the EXIF
// block of a JPEG file, whose pointers may lead past the JPEG's end.
#pragma once
#include <cstdint>
#include "formats/cursor.h"

namespace kes::tiff {

struct Info {
  bool ifd0_ok = false;    // the first IFD is a sane directory
  bool image = false;      // strips, tiles or an embedded JPEG were found
  bool raw = false;        // CFA or linear raw data, or a camera's raw compression
  bool dng = false;        // DNGVersion present
  bool truncated = false;  // a main structure runs past the available data
  uint64_t end = 0;        // furthest byte referenced, relative to the cursor's start
  char make[24] = {};
  char model[24] = {};
};

enum class Flavor : uint8_t { standard, orf, rw2 };

// Walks the TIFF whose header is at `base`; the header's magic must fit the flavor.
// JPEG pictures the directories point to count only when they walk as JPEGs.
Info walk(Cursor& cur, uint64_t base, Flavor flavor);

// The furthest byte that the directories of an EXIF block (its TIFF header at `base`, in
// the file that starts at `soi`) lead to: directories and JPEG pictures that walk as
// JPEGs, never data or values that cannot be checked nor anything beyond the medium.
// Pictures that end at or before `floor` (inside the host file anyway) are not checked.
uint64_t embedded_end(Cursor& cur, uint64_t soi, uint64_t base, uint64_t floor);

// Whether the 8 bytes at h start a TIFF header of that flavor (offset of IFD0 >= 8).
bool header_ok(const uint8_t* h, Flavor flavor);

}  // namespace kes::tiff
