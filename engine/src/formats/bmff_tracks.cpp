// The samples of a still's tracks (a CR3's pictures and metadata, an image sequence's
// frames): each one's place by the sample tables, and how it is coded by the track's
// first sample entry.
#include <algorithm>

#include "formats/bmff_reader.h"
#include "formats/bmff_still.h"

namespace kes::bmff {
namespace {

constexpr uint32_t kMaxBoxes = 1u << 12;
constexpr int kMaxDepth = 8;
// Chunks and samples looked at in one file, all its tracks together: a burst of stills
// holds far fewer; tables that claim more are followed no further.
constexpr uint64_t kMaxSamples = 1u << 16;
// Where the boxes inside a sample entry begin: after a visual sample entry's 78 bytes,
// and after the 82 of Canon's CRAW entry.
constexpr uint64_t kVisualEntry = 8 + 78;
constexpr uint64_t kCrawEntry = 8 + 82;

struct Tables {
  Box stsd, stsc, stsz, stco;
  bool large_offsets = false, compact_sizes = false;
};

class Tracks {
 public:
  Tracks(Cursor& cur, std::vector<Extent>& out) : cur_(cur), out_(out) {}

  bool walk(uint64_t pos, uint64_t end, int depth) {
    while (pos < end) {
      Box b;
      if (++boxes_ > kMaxBoxes || depth > kMaxDepth || !read_box(cur_, pos, end, b)) return false;
      const uint8_t* t = b.type;
      if (is(t, "trak")) tables_ = Tables{};
      if (is(t, "trak") || is(t, "mdia") || is(t, "minf") || is(t, "stbl")) {
        if (!walk(b.body, b.end, depth + 1)) return false;
      }
      if (is(t, "trak") && !add_samples()) return false;
      if (is(t, "stsd")) tables_.stsd = b;
      if (is(t, "stsc")) tables_.stsc = b;
      if (is(t, "stsz") || is(t, "stz2")) tables_.stsz = b, tables_.compact_sizes = is(t, "stz2");
      if (is(t, "stco") || is(t, "co64")) tables_.stco = b, tables_.large_offsets = is(t, "co64");
      pos = b.end;
    }
    return true;
  }

 private:
  // The box of `type` among those in [pos, end), or one with an empty type.
  Box child(uint64_t pos, uint64_t end, const char* type) {
    for (int n = 0; pos < end && n < 16; ++n) {
      Box b;
      if (!read_box(cur_, pos, end, b)) break;
      if (is(b.type, type)) return b;
      pos = b.end;
    }
    return Box{};
  }

  // The coding of the track's first sample entry.
  Extent coding() {
    Extent e;
    FieldReader r(cur_, tables_.stsd.body, tables_.stsd.end);
    r.uint(4);
    Box entry;
    if (r.u32() == 0 || !read_box(cur_, r.pos(), tables_.stsd.end, entry)) return e;
    const uint8_t* t = entry.type;
    if (is(t, "hvc1") || is(t, "hev1")) {
      e.coding = Coding::hevc;
      const Box config = child(entry.pos + kVisualEntry, entry.end, "hvcC");
      uint8_t field = 3;
      if (config.end - config.body > 21) cur_.u8(config.body + 21, field);
      e.nal_length = static_cast<uint8_t>((field & 3) + 1);
    } else if (is(t, "av01")) {
      e.coding = Coding::av1;
    } else if (is(t, "jpeg") || (is(t, "CRAW") && child(entry.pos + kCrawEntry, entry.end, "JPEG").end)) {
      e.coding = Coding::jpeg;
    } else if (is(t, "CRAW")) {
      e.coding = Coding::crx;
    } else if (is(t, "CTMD")) {
      e.coding = Coding::ctmd;
    }
    return e;
  }

  uint64_t sample_size(FieldReader& sizes, uint32_t fixed, unsigned field, uint64_t index) {
    if (fixed) return fixed;
    if (field >= 8) return sizes.uint(field / 8);
    // 4-bit sizes, two to a byte, the first in the high half.
    if (index % 2 == 0) nibbles_ = static_cast<uint8_t>(sizes.u8());
    return index % 2 == 0 ? nibbles_ >> 4 : nibbles_ & 15;
  }

  bool add_samples() {
    const Tables& t = tables_;
    if (!t.stsd.end || !t.stsc.end || !t.stsz.end || !t.stco.end) return true;  // no samples here
    const Extent kind = coding();
    FieldReader runs(cur_, t.stsc.body, t.stsc.end), chunks(cur_, t.stco.body, t.stco.end),
        sizes(cur_, t.stsz.body, t.stsz.end);
    runs.uint(4), chunks.uint(4), sizes.uint(4);
    const uint32_t run_count = runs.u32(), chunk_count = chunks.u32();
    uint32_t fixed = 0;
    unsigned field = 32;
    if (t.compact_sizes) {
      sizes.uint(3);  // reserved
      field = sizes.u8();
    } else {
      fixed = sizes.u32();
    }
    const uint64_t sample_count = sizes.u32();
    if (t.compact_sizes && field != 4 && field != 8 && field != 16) return false;
    if (chunk_count == 0 || sample_count == 0) return runs.ok() && chunks.ok() && sizes.ok();
    // Runs of chunks that share a samples-per-chunk count, each from its first chunk on.
    uint64_t next_first = run_count ? runs.u32() : 0, per_chunk = 0, sample = 0;
    if (next_first != 1) return false;
    uint32_t runs_read = 0;
    for (uint64_t chunk = 1; chunk <= chunk_count && sample < sample_count; ++chunk) {
      if (chunk == next_first) {
        per_chunk = runs.u32();
        runs.u32();  // the sample description index
        next_first = ++runs_read < run_count ? runs.u32() : UINT64_MAX;
        if (next_first <= chunk || !runs.ok()) return false;
      }
      uint64_t offset = chunks.uint(t.large_offsets ? 8 : 4);
      if (!chunks.ok()) return false;
      if (++samples_ > kMaxSamples) return true;
      for (uint64_t s = 0; s < per_chunk && sample < sample_count; ++s, ++sample) {
        if (++samples_ > kMaxSamples) return true;
        Extent e = kind;
        e.offset = offset;
        e.length = sample_size(sizes, fixed, field, sample);
        if (!chunks.ok() || !sizes.ok() || e.length > UINT64_MAX - offset) return false;
        if (e.length) out_.push_back(e);
        offset += e.length;
      }
    }
    return runs.ok() && chunks.ok() && sizes.ok();
  }

  Cursor& cur_;
  std::vector<Extent>& out_;
  Tables tables_;
  uint32_t boxes_ = 0;
  uint64_t samples_ = 0;
  uint8_t nibbles_ = 0;
};

}  // namespace

bool track_extents(Cursor& cur, const Box& moov, std::vector<Extent>& out) {
  Tracks tracks(cur, out);
  return tracks.walk(moov.body, moov.end, 0);
}

}  // namespace kes::bmff
