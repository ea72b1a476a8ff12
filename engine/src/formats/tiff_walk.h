// Following a TIFF structure: the IFD chain, SubIFDs, EXIF/GPS/interoperability IFDs,
// maker notes of the common cameras, strips, tiles and embedded JPEG pictures. The
// file's end is the furthest byte that any followed structure references.
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
Info walk(Cursor& cur, uint64_t base, Flavor flavor);

// Whether the 8 bytes at h start a TIFF header of that flavor (offset of IFD0 >= 8).
bool header_ok(const uint8_t* h, Flavor flavor);

}  // namespace kes::tiff
