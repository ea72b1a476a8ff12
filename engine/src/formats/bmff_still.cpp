// Stills in ISO base media files: HEIF (HEIC, AVIF and its other brands) and Canon's
// CR3. The file-type box names the kind; the top-level boxes are walked by their sizes,
// and the file ends after the last of them or after the furthest data its tables place
// (a HEIF's items may lie past its boxes), whichever is later. The data the tables
// place is checked as its coding says (bmff_coded.cpp); where it breaks, the file is cut.
#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "formats/bmff_still.h"
#include "formats/formats.h"

namespace kes {

namespace bmff {

bool read_box(Cursor& cur, uint64_t pos, uint64_t end, Box& box) {
  if (pos > end || end - pos < 8) return false;
  const uint8_t* h = cur.get(pos, 8);
  if (!h) return false;
  uint64_t size = be32(h), header = 8;
  std::memcpy(box.type, h + 4, 4);
  if (size == 1) {
    const uint8_t* l = end - pos >= 16 ? cur.get(pos + 8, 8) : nullptr;
    if (!l) return false;
    size = be64(l);
    header = 16;
  } else if (size == 0) {
    size = end - pos;
  }
  if (size < header || size > end - pos || (is(box.type, "uuid") && size < header + 16)) return false;
  box.pos = pos;
  box.body = pos + header;
  box.end = pos + size;
  return true;
}

}  // namespace bmff

namespace {

using bmff::Box;
using bmff::Extent;
using bmff::is;

constexpr uint32_t kMaxTopBoxes = 4096;
// Data placed further than the largest still the engine takes (the format table's
// limit) is a table gone wrong, not a picture.
constexpr uint64_t kMaxStill = uint64_t(4096) << 20;
constexpr size_t kMaxWindowVerdicts = 1u << 16;  // kept per fragment search: a few MiB
const uint8_t kPreviewUuid[16] = {0xea, 0xf4, 0x2b, 0x5e, 0x1c, 0x98, 0x4b, 0x88,
                                  0xb9, 0xfb, 0xb7, 0xdc, 0x40, 0x6e, 0x4d, 0x16};

bool any_of(const uint8_t* type, std::initializer_list<const char*> names) {
  for (const char* n : names)
    if (is(type, n)) return true;
  return false;
}

// The extension of the file-type box at h (whole, `size` bytes): by the first brand of
// a coding, the major brand first; "heif" for HEIF's general brands alone.
const char* still_ext(const uint8_t* h, uint32_t size) {
  const char* general = nullptr;
  for (uint32_t at = 8; at + 4 <= size; at += at == 8 ? 8 : 4) {  // past the minor version
    const char* ext = still_brand_ext(h + at);
    if (ext && std::strcmp(ext, "heif") != 0) return ext;
    general = general ? general : ext;
  }
  return general;
}

bool top_level(const uint8_t* t) {
  return any_of(t, {"meta", "moov", "mdat", "free", "skip", "uuid", "wide", "pdin"});
}

// A CR3's PRVW box lies 8 bytes into its uuid box, its JPEG 16 bytes into its body.
void preview_extent(Cursor& cur, const Box& uuid, std::vector<Extent>& out) {
  const uint8_t* id = cur.get(uuid.body, 16);
  Box prvw;
  if (!id || std::memcmp(id, kPreviewUuid, 16) != 0 || !bmff::read_box(cur, uuid.body + 24, uuid.end, prvw) ||
      !is(prvw.type, "PRVW") || prvw.end - prvw.body < 16)
    return;
  const uint8_t* length = cur.get(prvw.body + 12, 4);
  Extent e;
  e.offset = prvw.body + 16;
  e.length = length ? be32(length) : 0;
  e.coding = bmff::Coding::jpeg;
  if (e.length && e.length <= prvw.end - e.offset) out.push_back(e);
}

// Where a coded extent held, by its place.
struct Held {
  uint64_t offset, length, held;
};

// The extents a table box (meta, moov) places, and whether its boxes held.
struct Table {
  uint64_t pos, end;
  bool held;
  std::vector<Extent> extents;
};

// What a measure checks of a still's coded data, and what it keeps of its checks.
struct StillChecks {
  uint64_t strict_end = UINT64_MAX;  // the checks of coded data that noise fails too, before this
  uint64_t windows_from = 0;         // the coded bytes' spread, from the window that holds this on
  std::vector<Extent>* placed = nullptr;  // gets the data the tables place
  std::vector<Held>* checked = nullptr;   // gets where each coded extent held
  std::vector<Table>* tables = nullptr;   // gets what each table box places
  // Where coded extents held and what table boxes placed over the same bytes before
  // known_end (a splicer's file): taken for those that end there instead of checking or
  // reading them again, and for the HEVC extent that known_end cuts through, its payload
  // checked only from there on.
  uint64_t known_end = 0;
  const std::vector<Held>* known = nullptr;
  const std::vector<Table>* known_tables = nullptr;
  bmff::WindowVerdicts* windows = nullptr;  // verdicts on the coded bytes' windows, by medium place
};

uint64_t check(Cursor& cur, const Extent& e, const StillChecks& c) {
  uint64_t checked_to = 0;
  if (c.known) {
    auto it = std::lower_bound(c.known->begin(), c.known->end(), e.offset,
                               [](const Held& h, uint64_t offset) { return h.offset < offset; });
    if (it != c.known->end() && it->offset == e.offset && it->length == e.length) {
      if (e.offset + e.length <= c.known_end) {
        if (c.checked) c.checked->push_back(*it);
        return it->held;
      }
      if (e.coding == bmff::Coding::hevc && it->held >= c.known_end) checked_to = c.known_end;
    }
  }
  const uint64_t held = bmff::check_extent(cur, e, c.strict_end, checked_to);
  if (c.checked) c.checked->push_back({e.offset, e.length, held});
  return held;
}

// The extents a meta or moov box places (appended to `out`); false when its boxes break.
bool table_extents(Cursor& cur, const Box& box, const StillChecks& c, std::vector<Extent>& out) {
  if (c.known_tables && box.end <= c.known_end)
    for (const Table& t : *c.known_tables)
      if (t.pos == box.pos && t.end == box.end) {
        out.insert(out.end(), t.extents.begin(), t.extents.end());
        if (c.tables) c.tables->push_back(t);
        return t.held;
      }
  const size_t before = out.size();
  const bool held = is(box.type, "meta") ? bmff::meta_extents(cur, box, out) : bmff::track_extents(cur, box, out);
  if (c.tables) c.tables->push_back({box.pos, box.end, held, std::vector<Extent>(out.begin() + before, out.end())});
  return held;
}

// The measure, its coded data checked as `checks` says.
Carve measure_still(ByteSource& src, uint64_t start, uint64_t max_length, const StillChecks& checks) {
  Cursor cur(src, start, max_length);
  uint8_t h[256] = {};
  size_t avail = 0;
  const uint8_t* head = cur.span(0, &avail);
  if (!head) return corrupt();
  std::memcpy(h, head, std::min(avail, sizeof h));
  if (!probe_heif(h)) return corrupt();
  const char* ext = still_ext(h, be32(h));

  // The top-level boxes. One that runs to the end, or past the medium, leaves the end to
  // the data the tables place.
  std::vector<Extent> extents;
  bool meta = false, moov = false, open = false;
  uint64_t pos = 0, open_cut = 0;  // where an open box's file is cut when no data tells its end
  for (uint32_t n = 0; n < kMaxTopBoxes && cur.within(pos, 8); ++n) {
    const uint8_t* b = cur.get(pos, 8);
    if (!b) break;
    uint8_t type[4];
    std::memcpy(type, b + 4, 4);
    if (pos > 0 && (!top_level(type) || (meta && is(type, "meta")) || (moov && is(type, "moov")))) break;
    uint64_t size = be32(b), header = 8;
    if (size == 1) {
      const uint8_t* l = cur.get(pos + 8, 8);
      if (!l) break;
      size = be64(l);
      header = 16;
    }
    if (size != 0 && size < header) break;
    if (size == 0 || !cur.within(pos, size)) {
      open = true;
      open_cut = size == 0 ? pos + header : cur.limit();
      pos += header;
      break;
    }
    const Box box{pos, pos + header, pos + size, {type[0], type[1], type[2], type[3]}};
    if (is(type, "meta") || is(type, "moov")) {
      const bool held = table_extents(cur, box, checks, extents);
      // A table box that breaks (a piece of the file ends inside it) is where a search
      // for the rest begins.
      if (!held) return short_start(pos, box.end);
      (is(type, "meta") ? meta : moov) = true;
    }
    if (is(type, "uuid")) preview_extent(cur, box, extents);
    pos += size;
  }
  if (!meta && !moov) return corrupt();

  // The furthest byte the data uses, and the first where it stops holding. Data past
  // the boxes counts only where it holds from its first byte on.
  std::sort(extents.begin(), extents.end(), [](const Extent& a, const Extent& b) { return a.offset < b.offset; });
  if (checks.placed) *checks.placed = extents;
  uint64_t data_end = 0, bad = UINT64_MAX;
  for (const Extent& e : extents) {
    const uint64_t end = e.offset + e.length;
    const bool beyond = !open && end > pos;
    if (end > kMaxStill || (beyond && bmff::structureless(e))) {
      bad = std::min(bad, pos);
      continue;
    }
    if (e.offset >= bad) continue;
    const uint64_t held = check(cur, e, checks);
    if (held < end && held <= cur.limit()) bad = std::min(bad, beyond && held == e.offset ? pos : held);
    data_end = std::max(data_end, end);
  }
  bad = std::min(bad, bmff::first_foreign_window(cur, extents, checks.windows_from, bad, checks.windows));
  const uint64_t end = std::max(pos, data_end);
  if (bad < end) return make_carve(Verdict::truncated, bad, ext);
  if (open && data_end <= pos) return make_carve(Verdict::truncated, open_cut, ext);
  if (end > cur.limit()) return make_carve(Verdict::truncated, cur.limit(), ext);
  return make_carve(Verdict::complete, end, ext);
}

// A fragment search's candidates: the bytes past the splice checked as noise is. Before
// the splice they are those of the file the splicer was made from, judged once: its table
// boxes, its coded extents (a HEVC extent's escapes, read through for each candidate,
// were most of a search's work) and the spread of its coded bytes, where another file's
// data lying there breaks every candidate.
class StillSplicer : public Splicer {
 public:
  StillSplicer(ByteSource& file, uint64_t max_length) { judge(file, max_length, 0); }

  // The file spliced on: what was judged before the splice holds.
  bool extend(ByteSource& file, uint64_t max_length, uint64_t splice) override {
    judge(file, max_length, splice);
    return true;
  }

  Carve measure(ByteSource& file, uint64_t splice, uint64_t limit) override {
    StillChecks checks;
    checks.strict_end = checks.known_end = splice;
    checks.windows_from = splice / bmff::kWindow * bmff::kWindow;
    checks.known = &held_;
    checks.known_tables = &tables_;
    if (windows_.size() > kMaxWindowVerdicts) windows_.clear();
    checks.windows = &windows_;
    const Carve c = measure_still(file, 0, limit, checks);
    if (foreign_ >= checks.windows_from || c.verdict == Verdict::corrupt || c.length <= foreign_) return c;
    return make_carve(Verdict::truncated, foreign_, c.ext);
  }

  // Inside a HEVC unit's payload or data without a structure, up to the unit's end, the
  // next extent or the next top-level box: past the splice the measure checks there only
  // what noise passes too.
  uint64_t unchecked_to(ByteSource& file, uint64_t splice) override {
    Cursor cur(file, 0, file.size());
    for (const Table& t : tables_)
      if (t.end > splice) return splice;  // tables read past the splice
    auto after = std::upper_bound(placed_.begin(), placed_.end(), splice,
                                  [](uint64_t at, const Extent& e) { return at < e.offset; });
    if (after == placed_.begin()) return splice;
    const Extent& e = *(after - 1);
    if (splice >= e.offset + e.length) return splice;
    uint64_t end = bmff::structureless(e) ? e.offset + e.length
                   : e.coding == bmff::Coding::hevc ? bmff::nal_unit_end(cur, e, splice)
                                                    : splice;
    if (after != placed_.end()) end = std::min(end, after->offset);
    return std::min(end, next_box(cur, splice));
  }

 private:
  // The start of the first top-level box past `at`, by the sizes of those before it; `at`
  // when a header lies across it, UINT64_MAX when a box runs to the end.
  static uint64_t next_box(Cursor& cur, uint64_t at) {
    uint64_t pos = 0;
    for (uint32_t n = 0; pos <= at && n < kMaxTopBoxes; ++n) {
      const uint8_t* b = pos + 16 <= at ? cur.get(pos, 16) : nullptr;
      if (!b) return at;
      const uint64_t size = be32(b) == 1 ? be64(b + 8) : be32(b);
      if (size == 0) return UINT64_MAX;
      if (size < 8) return at;
      pos += size;
    }
    return pos > at ? pos : at;
  }

  // The file's tables, coded extents and the spread of its coded bytes, judged as a
  // measure of the whole file would, with what was judged before `known_end` taken.
  void judge(ByteSource& file, uint64_t max_length, uint64_t known_end) {
    std::vector<Extent> placed;
    std::vector<Held> held;
    std::vector<Table> tables;
    StillChecks once;
    once.windows_from = UINT64_MAX;  // judged below, over the whole file
    once.placed = &placed;
    once.checked = &held;
    once.tables = &tables;
    once.known_end = known_end;
    once.known = &held_;
    once.known_tables = &tables_;
    measure_still(file, 0, max_length, once);
    std::sort(held.begin(), held.end(), [](const Held& a, const Held& b) { return a.offset < b.offset; });
    held_.swap(held);
    tables_.swap(tables);
    if (windows_.size() > kMaxWindowVerdicts) windows_.clear();
    Cursor cur(file, 0, max_length);
    foreign_ = bmff::first_foreign_window(cur, placed, 0, max_length, &windows_);
    placed_.swap(placed);
  }

  std::vector<Held> held_;
  std::vector<Table> tables_;
  std::vector<Extent> placed_;  // sorted by offset
  uint64_t foreign_ = UINT64_MAX;
  bmff::WindowVerdicts windows_;  // a continuation's clusters, judged once for all its splices
};

}  // namespace

const char* still_brand_ext(const uint8_t* b) {
  if (is(b, "crx ")) return "cr3";
  if (any_of(b, {"avif", "avis"})) return "avif";
  if (any_of(b, {"heic", "heix", "heim", "heis", "hevc", "hevx", "hevm", "hevs"})) return "heic";
  if (any_of(b, {"mif1", "msf1", "miaf", "avci"})) return "heif";
  return nullptr;
}

bool probe_heif(const uint8_t* h) {
  const uint32_t size = be32(h);
  return is(h + 4, "ftyp") && size >= 16 && size <= 256 && size % 4 == 0 && still_ext(h, size) != nullptr;
}

Carve measure_heif(ByteSource& src, uint64_t start, uint64_t max_length) {
  return measure_still(src, start, max_length, StillChecks{});
}

std::unique_ptr<Splicer> heif_splicer(ByteSource& file, uint64_t max_length, const Carve&) {
  return std::unique_ptr<Splicer>(new StillSplicer(file, max_length));
}

bool heif_unchecked_at(ByteSource& src, uint64_t start, uint64_t max_length, uint64_t at) {
  std::vector<Extent> placed;
  StillChecks checks;
  checks.placed = &placed;
  measure_still(src, start, max_length, checks);
  const uint64_t pos = at - start;
  return at >= start && std::any_of(placed.begin(), placed.end(), [pos](const Extent& e) {
           return bmff::structureless(e) && pos >= e.offset && pos - e.offset < e.length;
         });
}

}  // namespace kes
