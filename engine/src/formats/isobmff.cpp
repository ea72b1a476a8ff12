// ISO base media and QuickTime movies (mp4, mov, 3gp, 3g2; m4a when its tracks are all
// sound). The top-level boxes are walked by their sizes (32-bit, 64-bit or "to the
// end"); the file ends after the last box of the chain. The moov's boxes must nest
// exactly, and its sample tables give the furthest byte the movie uses (which ends a box
// that runs to the end or past the medium) and where each video sample starts: one that
// does not start with a frame of its codec shows foreign data inside the mdat.
#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "formats/cursor.h"
#include "formats/formats.h"

namespace kes {
namespace {

bool top_level(const uint8_t* t) {
  return is_any_id(t, {"ftyp", "moov", "mdat", "free", "skip", "wide", "pnot", "uuid", "meta", "moof",
                          "mfra", "sidx", "ssix", "styp", "pdin", "prft", "emsg", "PICT"});
}

// Box types inside the moov: printable, or the copyright sign of QuickTime's user data.
bool inner_type_ok(const uint8_t* t) {
  for (int i = 0; i < 4; ++i)
    if ((t[i] < 0x20 || t[i] > 0x7E) && t[i] != 0xA9) return false;
  return true;
}

const char* brand_ext(const uint8_t* b) {
  if (is_id(b, "qt  ")) return "mov";
  if (std::memcmp(b, "3g2", 3) == 0) return "3g2";
  if (std::memcmp(b, "3gp", 3) == 0 || std::memcmp(b, "3ge", 3) == 0 || std::memcmp(b, "3gg", 3) == 0)
    return "3gp";
  if (is_any_id(b, {"isom", "mp41", "mp42", "avc1", "M4V ", "M4VH", "M4VP", "M4A ", "M4B ", "M4P ", "dash",
                    "mmp4", "MSNV", "f4v ", "F4V ", "XAVC", "NDAS"}))
    return "mp4";
  if (std::memcmp(b, "iso", 3) == 0 && b[3] >= '2' && b[3] <= '9') return "mp4";
  return nullptr;
}

// Brands of pictures in the same box format (HEIF, AVIF, Canon's raw; the stills'
// option finds them): never a movie, whatever they are compatible with.
bool picture_brand(const uint8_t* b) { return still_brand_ext(b) != nullptr; }

// The extension of the file-type box at h (whole, `size` bytes): by its major brand, or
// for a maker's own brand (a camera's, a phone's) by the first compatible brand known.
const char* ftyp_ext(const uint8_t* h, uint32_t size) {
  if (const char* ext = brand_ext(h + 8)) return ext;
  if (picture_brand(h + 8)) return nullptr;
  const char* ext = nullptr;
  for (uint32_t at = 16; at + 4 <= size; at += 4) {
    if (picture_brand(h + at)) return nullptr;
    if (!ext) ext = brand_ext(h + at);
  }
  return ext;
}

enum class Codec : uint8_t { other, mp4v, nal, jpeg, h263 };

struct Track {
  uint64_t stsd = 0, stsc = 0, stsz = 0, stco = 0;  // box positions, 0 = absent
  uint64_t stsd_size = 0, stsc_size = 0, stsz_size = 0, stco_size = 0;
  bool stz2 = false, co64 = false;
};

constexpr int kMaxDepth = 10;
constexpr uint32_t kMaxBoxes = 1u << 20;
// Chunks and samples gone through in one movie, all its tracks together: some forty
// hours of 60 frames a second; tables that claim more are not followed further.
constexpr uint64_t kMaxSamples = uint64_t(1) << 24;
// Samples follow each other in their chunks, and the tables' entries in their tables:
// blocks of these sizes take many at a time.
constexpr size_t kMediaBlock = size_t(64) << 10;
constexpr size_t kTableBlock = size_t(16) << 10;

class Movie {
 public:
  // The sample data and each sample table are read through cursors of their own: going
  // back and forth between them through one buffer would read a block at every turn.
  // Only samples that start from `checked_from` up to `checked_to` are looked at.
  Movie(Cursor& cur, ByteSource& src, uint64_t start, uint64_t max_length, uint64_t checked_from, uint64_t checked_to)
      : cur_(cur), src_(src), start_(start), max_length_(max_length), checked_from_(checked_from),
        checked_to_(checked_to), media_(table_cursor(kMediaBlock)) {}

  // Checks that the children of [pos, end) nest exactly, collecting each track's
  // sample tables; false when they do not.
  bool walk(uint64_t pos, uint64_t end, int depth) {
    while (pos < end) {
      if (end - pos == 4) {  // QuickTime ends some lists with a 32-bit zero
        const uint8_t* z = cur_.get(pos, 4);
        return z && be32(z) == 0;
      }
      const uint8_t* h = end - pos >= 8 ? cur_.get(pos, 8) : nullptr;
      if (!h || ++boxes_ > kMaxBoxes) return false;
      uint64_t size = be32(h), hdr = 8;
      uint8_t type[4];
      std::memcpy(type, h + 4, 4);
      if (size == 1) {
        const uint8_t* l = end - pos >= 16 ? cur_.get(pos + 8, 8) : nullptr;
        if (!l) return false;
        size = be64(l);
        hdr = 16;
      }
      if (!inner_type_ok(type) || size < hdr || size > end - pos) return false;
      if (!enter(type, pos, hdr, size, depth)) return false;
      pos += size;
    }
    return true;
  }

  uint64_t media_end() const { return media_end_; }
  // Sound tracks and nothing to see (a voice memo, music): written as m4a, which the
  // program sorts under audio.
  bool sound_only() const { return sound_ && !visual_; }
  uint64_t first_bad_sample() const { return bad_sample_; }
  // Where the data last vouched for before that sample begins: the frame before it in
  // its track started well, but the piece may end anywhere inside it. (Chunks may lie
  // in any order: one that starts after the bad sample vouches for nothing before it.)
  uint64_t last_vouched() const {
    return good_before_bad_ && good_before_bad_ < bad_sample_ ? good_before_bad_ : bad_sample_;
  }

 private:
  bool enter(const uint8_t* type, uint64_t pos, uint64_t hdr, uint64_t size, int depth) {
    if (is_any_id(type,
                  {"moov", "trak", "mdia", "minf", "stbl", "dinf", "edts", "mvex", "moof", "traf", "mfra"})) {
      if (depth >= kMaxDepth) return false;
      if (is_id(type, "trak")) track_ = Track{};
      if (!walk(pos + hdr, pos + size, depth + 1)) return false;
      return !is_id(type, "trak") || add_track();
    }
    const uint64_t body = pos + hdr, n = size - hdr;
    if (is_id(type, "hdlr")) note_handler(body, n);
    if (is_id(type, "stsd")) track_.stsd = body, track_.stsd_size = n;
    if (is_id(type, "stsc")) track_.stsc = body, track_.stsc_size = n;
    if (is_any_id(type, {"stsz", "stz2"})) track_.stsz = body, track_.stsz_size = n, track_.stz2 = is_id(type, "stz2");
    if (is_any_id(type, {"stco", "co64"})) track_.stco = body, track_.stco_size = n, track_.co64 = is_id(type, "co64");
    return true;
  }

  // The codec of the track's first sample entry, and for NAL-unit video the size of the
  // length fields that precede its NAL units.
  Codec codec(int& length_size) {
    const uint8_t* e = track_.stsd_size >= 16 ? cur_.get(track_.stsd, 16) : nullptr;
    if (!e || be32(e + 4) == 0) return Codec::other;
    uint64_t entry = be32(e + 8);
    const uint8_t* f = e + 12;
    if (is_id(f, "mp4v")) return Codec::mp4v;
    if (is_any_id(f, {"jpeg", "mjpa"})) return Codec::jpeg;
    if (is_any_id(f, {"h263", "s263"})) return Codec::h263;
    if (!is_any_id(f, {"avc1", "avc3", "hvc1", "hev1"}) || entry > track_.stsd_size - 8) return Codec::other;
    // The decoder configuration follows the 86-byte visual sample entry.
    const bool hevc = f[0] == 'h';
    for (uint64_t p = 86; p + 8 <= entry;) {
      const uint8_t* c = cur_.get(track_.stsd + 8 + p, 8);
      if (!c || be32(c) < 8) break;
      if (is_id(c + 4, hevc ? "hvcC" : "avcC")) {
        const uint8_t* v = cur_.get(track_.stsd + 8 + p + 8 + (hevc ? 21 : 4), 1);
        if (!v) break;
        length_size = (v[0] & 3) + 1;
        return length_size == 3 ? Codec::other : Codec::nal;
      }
      p += be32(c);
    }
    return Codec::other;
  }

  // Whether the bytes at off start a frame of the codec that fills `size` bytes.
  bool frame_ok(Codec codec, int length_size, uint64_t off, uint64_t size) {
    if (codec == Codec::other || size == 0) return true;
    const uint8_t* p = media_.get(off, static_cast<size_t>(std::min<uint64_t>(size, 4)));
    if (!p) return true;  // past the medium: the cut is judged elsewhere
    if (size < 4) return codec != Codec::nal;
    switch (codec) {
      case Codec::mp4v: return p[0] == 0 && p[1] == 0 && p[2] == 1 && (p[3] <= 0x2F || (p[3] >= 0xB0 && p[3] <= 0xB6));
      case Codec::jpeg: return p[0] == 0xFF && p[1] == 0xD8;
      case Codec::h263: return p[0] == 0 && p[1] == 0 && (p[2] & 0xFC) == 0x80;
      default: break;
    }
    // NAL units, each after its length, fill the sample exactly.
    uint64_t q = off, end = off + size;
    for (int n = 0; n < 64 && q < end; ++n) {
      if (end - q < uint64_t(length_size) + 1) return false;
      const uint8_t* l = media_.get(q, static_cast<size_t>(length_size) + 1);
      if (!l) return true;
      uint64_t len = 0;
      for (int i = 0; i < length_size; ++i) len = len << 8 | l[i];
      if (len == 0 || (l[length_size] & 0x80) || len > end - q - length_size) return false;
      q += length_size + len;
    }
    return true;
  }

  // Goes through the track's chunks: the furthest byte they use and the first sample
  // whose data does not start a frame. False when the tables contradict their own sizes.
  bool add_track() {
    const Track& t = track_;
    if (!t.stco || !t.stsc || !t.stsz) return true;  // no samples (fragmented movies)
    Cursor stsc = table_cursor(kTableBlock), stco = table_cursor(kTableBlock), stsz = table_cursor(kTableBlock);
    uint64_t chunks = 0, runs = 0, samples = 0, sizes = 0;  // sizes: one size for all, or stz2's field width
    if (t.stco_size < 8 || t.stsc_size < 8 || t.stsz_size < 12 || !word(stco, t.stco + 4, chunks) ||
        !word(stsc, t.stsc + 4, runs) || !word(stsz, t.stsz + 4, sizes) || !word(stsz, t.stsz + 8, samples))
      return false;
    const unsigned entry = t.co64 ? 8 : 4;
    const unsigned field = t.stz2 ? sizes & 0xFF : 32;
    const uint32_t fixed = t.stz2 ? 0 : static_cast<uint32_t>(sizes);
    if (chunks * entry > t.stco_size - 8 || runs * 12 > t.stsc_size - 8) return false;
    if (t.stz2 && field != 4 && field != 8 && field != 16) return false;
    if (fixed == 0 && (samples * field + 7) / 8 > t.stsz_size - 12) return false;
    int length_size = 4;
    const Codec c = codec(length_size);
    uint64_t sample = 0, good = 0;  // good: the last sample found starting a frame
    for (uint64_t run = 0; run < runs; ++run) {
      const uint64_t at = t.stsc + 8 + run * 12;
      uint64_t first = 0, per_chunk = 0, next = 0;
      if (!word(stsc, at, first) || !word(stsc, at + 4, per_chunk) || (run + 1 < runs && !word(stsc, at + 12, next)))
        return false;
      const uint64_t last = run + 1 < runs ? next : chunks + 1;
      if (first == 0 || last < first || last > chunks + 1) return false;
      for (uint64_t ch = first; ch < last; ++ch) {
        if (++steps_ > kMaxSamples) return true;
        const uint8_t* o = stco.get(t.stco + 8 + (ch - 1) * entry, entry);
        if (!o) return false;
        const uint64_t off = t.co64 ? be64(o) : be32(o);
        if (!in_window(c, stco, t.stco + 8 + ch * entry, ch < chunks, t.co64, off)) {
          sample = std::min(samples, sample + per_chunk);
          continue;
        }
        uint64_t bytes = 0;
        if (fixed && c == Codec::other) {
          // Samples of one size that no frame check looks at (PCM audio has one per
          // sound sample, millions of them): the chunk's bytes at once.
          const uint64_t n = std::min(per_chunk, samples - sample);
          sample += n;
          bytes = n * fixed;
        } else {
          const uint64_t chunk_end = std::min(samples, sample + per_chunk);
          for (; sample < chunk_end; ++sample) {
            if (++steps_ > kMaxSamples) return true;
            const uint64_t size = fixed ? fixed : sample_size(stsz, t, field, sample);
            if (off + bytes < std::min(bad_sample_, checked_to_) && off + bytes >= checked_from_ && c != Codec::other) {
              if (!frame_ok(c, length_size, off + bytes, size)) {
                bad_sample_ = off + bytes;
                good_before_bad_ = good;
              } else {
                good = off + bytes;
              }
            }
            bytes += size;
            if (off + bytes > cur_.limit()) {  // the rest lies past the medium: nothing to check there
              sample = chunk_end;
              break;
            }
          }
        }
        media_end_ = std::max(media_end_, off + bytes);
      }
    }
    return true;
  }

  // Whether a measure that checks only some of the data goes through the chunk at `off`:
  // one of a checked codec that reaches into the window (it ends before the track's next
  // chunk, at `next` when `has_next`, when that lies after it). A whole measure goes
  // through every chunk.
  bool in_window(Codec c, Cursor& stco, uint64_t next, bool has_next, bool co64, uint64_t off) {
    if (checked_from_ == 0 && checked_to_ == UINT64_MAX) return true;
    if (c == Codec::other || off >= checked_to_) return false;
    const uint8_t* n = has_next ? stco.get(next, co64 ? 8 : 4) : nullptr;
    const uint64_t next_off = n ? (co64 ? be64(n) : be32(n)) : 0;
    return next_off <= off || next_off > checked_from_;
  }

  // A media handler names its track's kind after its version and a 32-bit field (the
  // data handlers of QuickTime's media information name none of these).
  void note_handler(uint64_t body, uint64_t n) {
    const uint8_t* h = n >= 12 ? cur_.get(body + 8, 4) : nullptr;
    if (!h) return;
    sound_ = sound_ || is_id(h, "soun");
    visual_ = visual_ || is_any_id(h, {"vide", "pict", "auxv"});
  }

  Cursor table_cursor(size_t block) {
    Cursor c(src_, start_, max_length_);
    c.set_block(block);
    return c;
  }

  // The 32-bit word at pos. Values are taken out at once: the cursor's next read may
  // replace the bytes a pointer from it shows.
  static bool word(Cursor& table, uint64_t pos, uint64_t& v) {
    const uint8_t* p = table.get(pos, 4);
    if (p) v = be32(p);
    return p != nullptr;
  }

  static uint64_t sample_size(Cursor& stsz, const Track& t, unsigned field, uint64_t i) {
    const uint64_t bit = i * field;
    const uint8_t* p = stsz.get(t.stsz + 12 + bit / 8, field / 8 ? field / 8 : 1);
    if (!p) return 0;
    if (field == 32) return be32(p);
    if (field == 16) return be16(p);
    if (field == 8) return p[0];
    return (bit % 8 ? p[0] : p[0] >> 4) & 0x0F;
  }

  Cursor& cur_;
  ByteSource& src_;
  const uint64_t start_, max_length_, checked_from_, checked_to_;
  Cursor media_;
  Track track_;
  uint32_t boxes_ = 0;
  uint64_t steps_ = 0;
  uint64_t media_end_ = 0;
  uint64_t bad_sample_ = UINT64_MAX;
  uint64_t good_before_bad_ = 0;  // the start of the sample of its track before it, 0 when none
  bool sound_ = false, visual_ = false;
};

// A QuickTime movie from before the file-type box: its first box and what follows it
// must look like a movie's.
bool old_quicktime(const uint8_t* h) {
  const uint32_t size = be32(h);
  const uint8_t* t = h + 4;
  if (is_id(t, "moov"))
    return size >= 8 + 108 && is_id(h + 12, "mvhd") && (be32(h + 8) == 108 || be32(h + 8) == 120);
  if (is_id(t, "mdat")) return size == 1 ? be64(h + 8) >= 16 : size >= 16;
  if (is_id(t, "wide")) return size == 8 && is_id(h + 12, "mdat");
  if (is_id(t, "pnot")) return size == 20 && (is_id(h + 24, "PICT") || is_id(h + 24, "moov"));
  if (is_id(t, "free") || is_id(t, "skip"))
    return size >= 8 && size <= 504 && is_any_id(h + size + 4, {"moov", "mdat", "wide", "free", "skip"});
  return false;
}

}  // namespace

bool probe_mov(const uint8_t* h) {
  if (!is_id(h + 4, "ftyp")) return old_quicktime(h);
  const uint32_t size = be32(h);
  return size >= 16 && size <= 256 && size % 4 == 0 && ftyp_ext(h, size) != nullptr;
}

namespace {

Carve measure_movie(ByteSource& src, uint64_t start, uint64_t max_length, uint64_t checked_from, uint64_t checked_to) {
  Cursor cur(src, start, max_length);
  uint8_t h[512] = {};
  size_t avail = 0;
  const uint8_t* head = cur.span(0, &avail);
  if (!head) return corrupt();
  std::memcpy(h, head, std::min<size_t>(avail, sizeof h));
  if (!probe_mov(h)) return corrupt();
  const bool typed = is_id(h + 4, "ftyp");
  const char* ext = typed ? ftyp_ext(h, be32(h)) : "mov";
  Movie movie(cur, src, start, max_length, checked_from, checked_to);
  auto carve = [&](Verdict v, uint64_t length, uint64_t broken_at = 0) {
    return make_carve(v, length, movie.sound_only() ? "m4a" : ext, broken_at);
  };
  bool moov = false, mdat = false, moof = false;
  uint64_t pos = 0;
  for (uint32_t n = 0; n < kMaxBoxes && cur.within(pos, 8); ++n) {
    const uint8_t* b = cur.get(pos, 8);
    if (!b) break;
    uint64_t size = be32(b), hdr = 8;
    uint8_t type[4];
    std::memcpy(type, b + 4, 4);
    if (!top_level(type) || (pos > 0 && is_id(type, "ftyp")) || (moov && is_id(type, "moov"))) break;
    if (size == 1) {
      const uint8_t* l = cur.get(pos + 8, 8);
      if (!l) break;
      size = be64(l);
      hdr = 16;
    }
    if (size == 0) {
      // Runs to the end of the file: only the sample tables tell where that is.
      if (!moov || movie.media_end() <= pos + hdr) return carve(Verdict::truncated, pos + hdr);
      if (movie.media_end() > cur.limit()) return carve(Verdict::truncated, cur.limit());
      pos = movie.media_end();
      mdat = true;
      break;
    }
    if (size < hdr) break;
    if (!cur.within(pos, size)) {
      // Past the medium: a media box whose samples are all there still ends the file.
      if (moov && is_id(type, "mdat") && movie.media_end() > pos && movie.media_end() <= cur.limit()) {
        pos = movie.media_end();
        mdat = true;
        break;
      }
      return typed || moov || pos > 0 ? carve(Verdict::truncated, cur.limit()) : corrupt();
    }
    if (is_id(type, "moov") || is_id(type, "moof")) {
      if (!movie.walk(pos + hdr, pos + size, 0)) break;
      moov = moov || is_id(type, "moov");
      moof = moof || is_id(type, "moof");
    }
    mdat = mdat || is_id(type, "mdat");
    pos += size;
  }
  if (!typed && !(moov && mdat)) return corrupt();
  if (!moov && !moof) return pos > 512 ? carve(Verdict::truncated, pos) : corrupt();
  const uint64_t bad = movie.first_bad_sample();
  if (bad < pos) return carve(Verdict::truncated, movie.last_vouched(), bad);
  if (movie.media_end() > pos) return carve(Verdict::truncated, pos);
  return carve(Verdict::complete, pos);
}

// Where the moov of a movie that keeps it after its mdat belongs: right after the last
// top-level box, when that is not a box.
uint64_t moov_expected_at(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  bool mdat = false;
  uint64_t pos = 0;
  for (uint32_t n = 0; n < 256 && cur.within(pos, 8); ++n) {
    const uint8_t* b = cur.get(pos, 8);
    if (!b || is_id(b + 4, "moov") || is_id(b + 4, "moof")) return 0;
    if (!top_level(b + 4)) return mdat ? pos : 0;
    uint64_t size = be32(b);
    if (size == 1) {
      const uint8_t* l = cur.get(pos + 8, 8);
      size = l ? be64(l) : 0;
      if (size < 16) return 0;
    } else if (size < 8) {
      return 0;  // runs to the end of the file, or is no box
    }
    mdat = mdat || is_id(b + 4, "mdat");
    pos += size;
  }
  return 0;
}

// A moov box opens with a box that movies put first in it.
bool opens_moov(const uint8_t* h) {
  const uint32_t size = be32(h), first = be32(h + 8);
  return is_id(h + 4, "moov") && size >= 16 && first >= 8 && first <= size - 8 &&
         is_any_id(h + 12, {"mvhd", "udta", "meta", "iods", "prfl", "uuid", "trak"});
}

}  // namespace

Carve measure_mov(ByteSource& src, uint64_t start, uint64_t max_length) {
  return measure_movie(src, start, max_length, 0, UINT64_MAX);
}

const TrailingIndex kMovieIndex = {moov_expected_at, opens_moov, measure_movie};

}  // namespace kes
