// RIFF (AVI video, WAVE audio, RIFF MIDI, animated cursors): the size in the header
// ends the file; the chunks inside, lists included, must fill it with printable ids
// and sizes that stay inside their parent, and an AVI's index must point to its chunks.
// A large AVI goes on in "AVIX" extensions; a large WAVE is an RF64 (or BW64) file whose
// 64-bit sizes stand in its "ds64" chunk.
#include <algorithm>
#include <cstring>

#include "formats/cursor.h"
#include "formats/formats.h"
#include "formats/pcm_check.h"

namespace kes {
namespace {

struct Form {
  char type[5];
  const char* ext;
};
// Only forms whose extension the application sorts into a kind are carved.
const Form kForms[] = {{"AVI ", "avi"}, {"WAVE", "wav"}, {"RMID", "mid"}, {"ACON", "ani"}};

constexpr int kMaxDepth = 8;
constexpr uint32_t kMaxChunks = 1u << 24;

const char* form_ext(const uint8_t* type) {
  for (const Form& f : kForms)
    if (std::memcmp(type, f.type, 4) == 0) return f.ext;
  return nullptr;
}

uint64_t padded(uint64_t n) { return n + (n & 1); }

// The "ds64" chunk that opens an RF64 or BW64 form: the sizes of the form and of its
// data chunk, whose 32-bit sizes are all ones, and a table for any other chunk as large.
struct Ds64 {
  static constexpr uint32_t kWide = 0xFFFFFFFF;
  static constexpr unsigned kMaxTable = 8;
  uint64_t riff = 0, data = 0;
  unsigned count = 0;
  uint8_t ids[kMaxTable][4];
  uint64_t sizes[kMaxTable];

  // The size of a chunk whose 32-bit size is all ones; UINT64_MAX when none is given.
  uint64_t size_of(const uint8_t* id) const {
    if (std::memcmp(id, "data", 4) == 0) return data;
    for (unsigned i = 0; i < count; ++i)
      if (std::memcmp(id, ids[i], 4) == 0) return sizes[i];
    return UINT64_MAX;
  }
};

bool wide_magic(const uint8_t* h) { return std::memcmp(h, "RF64", 4) == 0 || std::memcmp(h, "BW64", 4) == 0; }

enum class Walk { whole, cut, broken };

// The samples a WAVE's "fmt " chunk announces, when they are linear PCM (plain or
// extensible); a layout of no samples otherwise.
PcmLayout wave_samples(const uint8_t* fmt, uint64_t size) {
  const uint16_t tag = le16(fmt), channels = le16(fmt + 2), align = le16(fmt + 12), bits = le16(fmt + 14);
  const bool pcm = tag == 1 || (tag == 0xFFFE && size >= 40 && le16(fmt + 24) == 1);
  const unsigned bytes = (bits + 7u) / 8u;
  if (!pcm || bytes == 0 || bytes > 4 || channels == 0 || align != bytes * channels) return {};
  return PcmLayout{bytes, channels, false, bytes == 1};
}

// Walks the chunks of [pos, end), descending into lists. `good` ends as the end of the
// last chunk that held: where a cut or broken file is still worth keeping.
struct Walker {
  Cursor& cur;
  uint64_t good;
  uint64_t trusted;  // chunks ending here or before held before: no need to read them
  const Ds64* ds64;  // the 64-bit sizes of a wide form, or null
  bool wave;         // a WAVE form, whose PCM samples are checked as sound
  uint32_t chunks = 0;
  PcmLayout samples = {};  // of the "fmt " chunk read so far
  uint64_t movi = 0;              // where the "movi" list's type stands, 0 when none
  uint64_t index = 0, index_size = 0;  // the data of the "idx1" chunk, 0 when none

  // Whether the samples of the data chunk stop being sound before its end, or before
  // the medium's: the file's contiguous reading left it at `good`. A candidate
  // continuation's samples (past `trusted`) are not judged: sound joins sound anywhere
  // in a pure tone, so the search takes them as data no structure checks.
  bool sound_ends(uint64_t data, uint64_t size) {
    if (trusted) return false;
    const uint64_t to = std::min(data + size, cur.limit());
    const uint64_t held = pcm_holds_to(cur, data, to, samples);
    if (held >= to) return false;
    good = held;
    return true;
  }

  Walk walk(uint64_t pos, uint64_t end, int depth) {
    while (end - pos >= 8) {
      cur.set_block(pos < trusted ? 16 : Cursor::kBlock);
      const uint8_t* h = cur.get(pos, 8);
      if (!h) return Walk::cut;
      const uint64_t data = pos + 8;
      const uint64_t size = le32(h + 4) == Ds64::kWide && ds64 ? ds64->size_of(h) : le32(h + 4);
      if (!printable_id(h) || size > end - data || ++chunks > kMaxChunks) return Walk::broken;
      const bool list = std::memcmp(h, "LIST", 4) == 0;
      const bool idx1 = std::memcmp(h, "idx1", 4) == 0;  // h moves with the next read
      const bool fmt = wave && depth == 0 && is_id(h, "fmt "), sound = wave && depth == 0 && is_id(h, "data");
      if (list) {
        const uint8_t* type = size >= 4 ? cur.get(data, 4) : nullptr;
        if (size >= 4 && !type) return Walk::cut;
        if (!type || !printable_id(type) || depth >= kMaxDepth) return Walk::broken;
        if (depth == 0 && std::memcmp(type, "movi", 4) == 0) movi = data;
        Walk inner = walk(data + 4, data + size, depth + 1);
        if (inner != Walk::whole) return inner;
      } else if (sound && sound_ends(data, size)) {
        return Walk::broken;
      } else if (data + size > trusted && !cur.readable(data, size)) {
        return Walk::cut;
      } else if (depth == 0 && idx1) {
        index = data, index_size = size;
      } else if (fmt && size >= 16) {
        const uint8_t* f = cur.get(data, size >= 40 ? 40 : 16);
        if (!f) return Walk::cut;
        samples = wave_samples(f, size);
      }
      // An odd last chunk may lack its pad byte when the header's size says so; a pad
      // byte the size counts must be there.
      pos = data + size == end ? end : padded(data + size);
      if (!cur.readable(data + size, pos - (data + size))) return Walk::cut;
      good = pos;
    }
    // Fewer than 8 bytes left over: slack, but it must be there.
    return pos < end && !cur.readable(pos, end - pos) ? Walk::cut : Walk::whole;
  }
};

// The RIFF header at pos with the given form: where its chunks end and where the
// file ends (padded to even); both 0 when there is no such header.
struct Riff {
  uint64_t chunks_end = 0, end = 0;
};
Riff read_riff(Cursor& cur, uint64_t pos, const uint8_t* form) {
  const uint8_t* h = cur.get(pos, 12);
  if (!h || std::memcmp(h, "RIFF", 4) != 0 || std::memcmp(h + 8, form, 4) != 0) return {};
  uint64_t size = le32(h + 4);
  if (size < 4) return {};
  return {pos + 8 + size, pos + 8 + padded(size)};
}

// The wide form's header and its "ds64" chunk; Riff{} when they do not hold.
Riff read_wide(Cursor& cur, Ds64& ds) {
  const uint8_t* h = cur.get(0, 48);
  if (!h) return {};
  const uint32_t length = le32(h + 16), count = le32(h + 44);
  if (length < 28 || count > (length - 28) / 12) return {};
  ds.riff = le32(h + 4) == Ds64::kWide ? le64(h + 20) : le32(h + 4);
  ds.data = le64(h + 28);
  ds.count = count < Ds64::kMaxTable ? count : Ds64::kMaxTable;
  const uint8_t* table = cur.get(48, ds.count * 12);
  if (ds.count && !table) return {};
  for (unsigned i = 0; i < ds.count; ++i) {
    std::memcpy(ds.ids[i], table + 12 * i, 4);
    ds.sizes[i] = le64(table + 12 * i + 4);
  }
  if (ds.riff < 4 || ds.riff > UINT64_MAX / 2) return {};
  return {8 + ds.riff, 8 + padded(ds.riff)};
}

const uint8_t kAvix[4] = {'A', 'V', 'I', 'X'};

// The first entry of an AVI's "idx1" index (16 bytes each: chunk id, flags, offset,
// size) that does not point to its chunk, where the index no longer holds; the index's
// end when all do. Offsets count from the "movi" list's type, or, as some writers have
// it, from the file's start.
uint64_t index_holds_to(Cursor& cur, uint64_t movi, uint64_t index, uint64_t size) {
  const uint64_t end = index + size / 16 * 16;
  uint64_t base = movi;
  for (uint64_t e = index; e < end; e += 16) {
    const uint8_t* p = cur.get(e, 16);
    if (!p) return e;
    uint8_t entry[16];  // the cursor's next read moves what p points to
    std::memcpy(entry, p, sizeof entry);
    auto points = [&](uint64_t at) {
      const uint8_t* c = cur.get(at, 8);
      return c && std::memcmp(c, entry, 4) == 0 && le32(c + 4) == le32(entry + 12);
    };
    const uint64_t offset = le32(entry + 8);
    if (e == index && !points(base + offset) && points(offset)) base = 0;
    if (!points(base + offset)) return e;
  }
  return index + size;
}

}  // namespace

bool probe_riff(const uint8_t* h) {
  if (wide_magic(h)) return std::memcmp(h + 8, "WAVEds64", 8) == 0 && le32(h + 16) >= 28;
  if (std::memcmp(h, "RIFF", 4) != 0 || !form_ext(h + 8) || !printable_id(h + 12)) return false;
  uint32_t size = le32(h + 4), first = le32(h + 16);
  return size >= 12 && first <= size - 12;
}

Carve resume_riff(ByteSource& src, uint64_t start, uint64_t max_length, uint64_t trusted) {
  Cursor cur(src, start, max_length);
  const uint8_t* h = cur.get(0, 20);
  if (!h || !probe_riff(h)) return corrupt();
  uint8_t form[4];
  std::memcpy(form, h + 8, 4);
  const char* ext = form_ext(form);
  const bool avi = std::memcmp(form, "AVI ", 4) == 0;
  Ds64 ds;
  const bool wide = wide_magic(h);
  Walker w{cur, 12, trusted, wide ? &ds : nullptr, std::memcmp(form, "WAVE", 4) == 0};
  uint64_t end = 0;
  const Riff first = wide ? read_wide(cur, ds) : read_riff(cur, 0, form);
  if (!first.end) return corrupt();
  for (Riff r = first; r.end; r = avi ? read_riff(cur, end, kAvix) : Riff{}) {
    Walk result = w.walk(end + 12, r.chunks_end, 0);
    if (result == Walk::cut) return make_carve(Verdict::truncated, cur.limit(), ext);
    if (result == Walk::broken)
      return w.good > 12 ? make_carve(Verdict::truncated, w.good, ext) : corrupt();
    // The pad byte after an odd size may be missing at the very end of the medium.
    end = w.good = cur.readable(0, r.end) ? r.end : r.chunks_end;
    // An AVI's index must point to its chunks: where it does not, the file's next piece
    // lies elsewhere.
    if (w.movi && w.index && r.end == first.end) {
      const uint64_t held = index_holds_to(cur, w.movi, w.index, w.index_size);
      if (held < w.index + w.index_size) return make_carve(Verdict::truncated, held, ext, w.index + w.index_size);
    }
  }
  return make_carve(Verdict::complete, end, ext);
}

Carve measure_riff(ByteSource& src, uint64_t start, uint64_t max_length) {
  return resume_riff(src, start, max_length, 0);
}

}  // namespace kes
