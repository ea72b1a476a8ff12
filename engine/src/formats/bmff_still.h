// Stills in ISO base media files (HEIF and HEIC, AVIF, Canon CR3): reading their boxes,
// the coded data their tables place (a HEIF's items, a CR3's track samples) and the
// checks of that data. The measure itself lives in bmff_still.cpp.
#pragma once
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "formats/cursor.h"

namespace kes::bmff {

struct Box {
  uint64_t pos = 0;   // of its header
  uint64_t body = 0;  // past its header (a uuid box's 16-byte id comes first in the body)
  uint64_t end = 0;
  uint8_t type[4] = {};
};

inline bool is(const uint8_t* type, const char* name) {
  return type[0] == uint8_t(name[0]) && type[1] == uint8_t(name[1]) && type[2] == uint8_t(name[2]) &&
         type[3] == uint8_t(name[3]);
}

// The box at `pos` that lies whole inside [pos, end), a size of 0 running to `end`.
// False when its header is not there or its size does not fit.
bool read_box(Cursor& cur, uint64_t pos, uint64_t end, Box& box);

// How a run of data is coded, as far as a check can tell.
enum class Coding : uint8_t {
  unchecked,  // XMP, anything without a structure to follow
  hevc,       // NAL units, each after a length field
  av1,        // OBUs
  crx,        // a CR3's raw sensor data: entropy codes packed without a structure to follow
  jpeg,
  exif,       // a 32-bit offset, then a TIFF header
  ctmd,       // Canon's timed metadata: records of a 32-bit size and a 16-bit type
};

// The coded data of one item (of a HEIF) or one sample (of a track): its place in the
// file, how it is coded, and for NAL units the size of their length fields.
struct Extent {
  uint64_t offset = 0;
  uint64_t length = 0;
  Coding coding = Coding::unchecked;
  uint8_t nal_length = 4;
};

// The items of a meta box whose data lies in this file: one extent each (the items in
// the meta's own idat box and those of several extents left out). False when the
// meta's boxes do not nest exactly or its item location table contradicts itself.
bool meta_extents(Cursor& cur, const Box& meta, std::vector<Extent>& out);

// The samples of a moov box's tracks, by their sample tables. False when the boxes do
// not nest exactly or a table contradicts its own size.
bool track_extents(Cursor& cur, const Box& moov, std::vector<Extent>& out);

// Where the data of `e` stops holding as its coding says: e.offset + e.length when it
// holds all through (bytes past the limit are not judged), else the position of the
// first unit that breaks. From `strict_end` on only what noise passes too is checked
// (bmff_coded.cpp says why). The bytes before `checked_to` are known to hold already (a
// splice's file, read before): HEVC payloads are looked at only from just before it.
uint64_t check_extent(Cursor& cur, const Extent& e, uint64_t strict_end, uint64_t checked_to = 0);

// The end of the NAL unit of `e` (HEVC) whose length field and header lie before `at`
// and whose payload holds `at`; `at` when there is none.
uint64_t nal_unit_end(Cursor& cur, const Extent& e, uint64_t at);

// Whether nothing but the coded bytes' spread is checked in `e`: another file whose data
// is coded alike could hide there whole.
inline bool structureless(const Extent& e) { return e.coding == Coding::unchecked || e.coding == Coding::crx; }

// Coded data is checked in windows of this size, at file offsets that are multiples of it.
constexpr uint64_t kWindow = 4096;

// Verdicts on windows, by where they lie on the medium: a fragment search judges the same
// clusters for many splices.
using WindowVerdicts = std::unordered_map<uint64_t, bool>;

// The start of the first window that starts in [from, to), inside extents (sorted by
// offset) whose coders write bytes as evenly spread as noise's, that holds another file's
// data; UINT64_MAX when none does. Windows past the limit are not judged. `known` keeps
// the verdicts on windows that lie on the medium in one run.
uint64_t first_foreign_window(Cursor& cur, const std::vector<Extent>& sorted, uint64_t from, uint64_t to,
                              WindowVerdicts* known = nullptr);

}  // namespace kes::bmff
