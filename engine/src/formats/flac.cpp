// FLAC: "fLaC", metadata blocks (STREAMINFO first), then frames. A frame header is
// checked against STREAMINFO (channels, sample size and rate, block size) and its
// CRC-8, its frame or sample number must follow on from the frame before, and the
// frame's CRC-16 must hold over the bytes up to the next such header. The file ends
// after the frame that completes STREAMINFO's sample count; an ID3v1 or APE tag may
// follow.
#include <algorithm>
#include <cstring>
#include <memory>

#include "formats/crc.h"
#include "formats/cursor.h"
#include "formats/formats.h"
#include "formats/tail_tags.h"
#include "formats/walk_marks.h"

namespace kes {
namespace {

constexpr unsigned kMaxMetadataBlocks = 1024;
constexpr uint64_t kMaxFrames = uint64_t(1) << 32;
constexpr size_t kMaxFrameHeader = 16;

struct StreamInfo {
  uint32_t min_block, max_block, min_frame, max_frame, rate;
  unsigned channels, bits;
  uint64_t samples;  // 0 when unknown
};

StreamInfo read_stream_info(const uint8_t* s) {
  StreamInfo si;
  si.min_block = be16(s);
  si.max_block = be16(s + 2);
  si.min_frame = be24(s + 4);
  si.max_frame = be24(s + 7);
  si.rate = be24(s + 10) >> 4;
  si.channels = (s[12] >> 1 & 7) + 1;
  si.bits = ((s[12] & 1) << 4 | s[13] >> 4) + 1;
  si.samples = uint64_t(s[13] & 0x0F) << 32 | be32(s + 14);
  return si;
}

struct FrameHeader {
  size_t length = 0;  // header bytes, CRC-8 included
  uint64_t number = 0;
  uint32_t block = 0;
  bool variable = false;
};

// Parses the frame header at h (kMaxFrameHeader bytes) and checks it against si.
bool parse_frame_header(const uint8_t* h, const StreamInfo& si, FrameHeader& f) {
  static const uint32_t kRates[12] = {0, 88200, 176400, 192000, 8000, 16000, 22050, 24000, 32000, 44100, 48000, 96000};
  static const unsigned kBits[8] = {0, 8, 12, 0, 16, 20, 24, 32};
  if (h[0] != 0xFF || (h[1] & 0xFE) != 0xF8) return false;
  const unsigned block_code = h[2] >> 4, rate_code = h[2] & 0x0F, channel_code = h[3] >> 4, bits_code = h[3] >> 1 & 7;
  if (block_code == 0 || rate_code == 15 || channel_code > 10 || bits_code == 3 || (h[3] & 1)) return false;
  if ((channel_code < 8 ? channel_code + 1 : 2) != si.channels) return false;
  if (bits_code && kBits[bits_code] != si.bits) return false;
  // The frame or sample number, coded like UTF-8 in up to 7 bytes.
  size_t n = 4;
  unsigned extra = 0;
  uint8_t lead = h[n];
  while (extra < 7 && (lead & (0x80 >> extra))) ++extra;
  if (extra == 1 || (extra == 7 && lead != 0xFE)) return false;
  uint64_t number = extra ? lead & (0x7F >> extra) : lead;
  for (unsigned i = 1; i < extra; ++i) {
    if ((h[n + i] & 0xC0) != 0x80) return false;
    number = number << 6 | (h[n + i] & 0x3F);
  }
  n += extra ? extra : 1;
  uint32_t block = 0;
  if (block_code == 1) block = 192;
  else if (block_code <= 5) block = 576u << (block_code - 2);
  else if (block_code == 6) block = h[n++] + 1u;
  else if (block_code == 7) block = be16(h + n) + 1u, n += 2;
  else block = 256u << (block_code - 8);
  uint32_t rate = rate_code < 12 ? kRates[rate_code] : 0;
  if (rate_code == 12) rate = h[n++] * 1000u;
  else if (rate_code >= 13) rate = be16(h + n) * (rate_code == 13 ? 1u : 10u), n += 2;
  if (rate_code && rate != si.rate) return false;
  if (block > si.max_block || crc8(h, n) != h[n]) return false;
  f.length = n + 1;
  f.number = number;
  f.block = block;
  f.variable = h[1] & 1;
  return true;
}

// The frame header that may follow at pos, numbered as expected.
bool next_header(Cursor& cur, uint64_t pos, const StreamInfo& si, bool variable, uint64_t number,
                 FrameHeader& f) {
  const uint8_t* h = cur.get(pos, kMaxFrameHeader);
  if (!h) {
    uint8_t tail[kMaxFrameHeader] = {};  // a last tiny frame near the medium's end
    size_t n = 0;
    for (; n < kMaxFrameHeader && cur.u8(pos + n, tail[n]); ++n) {}
    if (n < 6) return false;
    h = tail;
    return parse_frame_header(h, si, f) && f.length <= n && f.variable == variable && f.number == number;
  }
  return parse_frame_header(h, si, f) && f.variable == variable && f.number == number;
}

enum class FrameEnd { found, cut, broken };

// The end of the frame at pos (header f) when another frame follows: the first sync
// pattern, within the bound, where the CRC-16 of the bytes since pos comes to zero (the
// frame's stored CRC closing them) and a header numbered as expected begins.
FrameEnd end_before_next(Cursor& cur, uint64_t pos, const FrameHeader& f, const StreamInfo& si,
                         uint64_t next_number, uint64_t bound, uint64_t& end) {
  const uint8_t sync[1] = {0xFF};
  uint16_t crc = 0;
  uint64_t done = pos;  // the CRC covers [pos, done)
  for (uint64_t from = pos + std::max<uint64_t>(f.length + 3, si.min_frame);;) {
    const uint64_t at = cur.find(from, std::min(bound + 1, cur.limit()), sync, 1);
    if (at == UINT64_MAX) return bound > cur.limit() ? FrameEnd::cut : FrameEnd::broken;
    uint8_t second = 0;
    if (!cur.u8(at + 1, second)) return FrameEnd::cut;
    from = at + 1;
    if ((second & 0xFE) != 0xF8) continue;
    for_each_span(cur, done, at, [&](const uint8_t* s, size_t n) { crc = crc16_update(crc, s, n); });
    done = at;
    FrameHeader next;
    if (crc == 0 && next_header(cur, at, si, f.variable, next_number, next)) {
      end = at;
      return FrameEnd::found;
    }
  }
}

// The end of the last frame at pos: the first point, within the bound, where the CRC-16
// of the bytes since pos comes to zero.
FrameEnd end_of_last(Cursor& cur, uint64_t pos, const FrameHeader& f, const StreamInfo& si, uint64_t bound,
                     uint64_t& end) {
  const uint16_t* table = crc16_table();
  const uint64_t min_end = pos + std::max<uint64_t>(f.length + 3, si.min_frame);
  uint16_t crc = 0;
  for (uint64_t q = pos; q < bound;) {
    size_t avail = 0;
    const uint8_t* s = cur.span(q, &avail);
    if (!s) return FrameEnd::cut;
    const size_t n = static_cast<size_t>(std::min<uint64_t>(avail, bound - q));
    for (size_t i = 0; i < n; ++i) {
      crc = crc16_byte(table, crc, s[i]);
      if (crc == 0 && q + i + 1 >= min_end) {
        end = q + i + 1;
        return FrameEnd::found;
      }
    }
    q += n;
  }
  return FrameEnd::broken;
}

// The largest frame the stream can hold: STREAMINFO's maximum, or a verbatim block.
uint64_t frame_bound(const StreamInfo& si) {
  if (si.max_frame) return si.max_frame;
  return kMaxFrameHeader + 2 + uint64_t(si.channels) * (2 + uint64_t(si.max_block) * (si.bits + 1) / 8);
}

// A walk over the frames, before the frame at `pos` (whose header is `f`).
struct FrameWalk {
  uint64_t pos = 0, n = 0, samples = 0;
  FrameHeader f;
};

constexpr uint64_t kMarkFrames = 4;  // a re-measure checks no more than that again
constexpr size_t kMostMarks = 16384;  // thinned beyond (see walk_marks.h)
using Marks = WalkMarks<FrameWalk>;

// The frames from `w` on, leaving copies of the walk in `marks` when given.
Carve walk_frames(Cursor& cur, const StreamInfo& si, uint64_t metadata_end, FrameWalk w, Marks* marks) {
  const uint64_t bound = frame_bound(si);
  for (; w.n < kMaxFrames; ++w.n) {
    if (marks && marks->due(w.n)) marks->add(w);
    w.samples += w.f.block;
    const bool last = si.samples && w.samples >= si.samples;
    if (si.samples && w.samples > si.samples) break;
    uint64_t end = 0;
    const uint64_t next_number = w.f.variable ? w.samples : w.n + 1;
    FrameEnd e = last ? end_of_last(cur, w.pos, w.f, si, w.pos + bound, end)
                      : end_before_next(cur, w.pos, w.f, si, next_number, w.pos + bound, end);
    if (e == FrameEnd::cut) return make_carve(Verdict::truncated, cur.limit(), "flac");
    if (e == FrameEnd::broken && !si.samples && w.n > 0) {
      // No sample count to go by: a stream ends with the last frame whose CRC holds.
      if (end_of_last(cur, w.pos, w.f, si, w.pos + bound, end) == FrameEnd::found)
        return make_carve(Verdict::complete, skip_tail_tags(cur, end), "flac");
    }
    if (e != FrameEnd::found) break;
    w.pos = end;
    if (last) return make_carve(Verdict::complete, skip_tail_tags(cur, w.pos), "flac");
    if (!next_header(cur, w.pos, si, w.f.variable, next_number, w.f)) break;
  }
  // Sound stream information but no whole first frame: a first piece that broke inside
  // the metadata (a large padding block) or the first frame, maybe.
  if (w.pos <= metadata_end) return short_start(42, metadata_end + bound);
  return make_carve(Verdict::truncated, w.pos, "flac", w.pos + bound);  // the broken frame ends before there
}

// The stream information and the walk's start at the first frame. False with the carve
// when the metadata or the first frame header ends it.
bool open_stream(Cursor& cur, StreamInfo& si, FrameWalk& w, Carve& ended) {
  const uint8_t* h = cur.get(0, 42);
  ended = corrupt();
  if (!h || !probe_flac(h)) return false;
  si = read_stream_info(h + 8);
  uint64_t pos = 4;
  for (unsigned n = 0;; ++n) {
    const uint8_t* b = cur.get(pos, 4);
    if (!b || n == kMaxMetadataBlocks) return false;
    const unsigned type = b[0] & 0x7F;
    const bool last = b[0] & 0x80;
    if (type == 127 || (n > 0 && type == 0)) return false;
    const uint64_t next = pos + 4 + be24(b + 1);
    if (!cur.readable(pos, next - pos)) {
      ended = make_carve(Verdict::truncated, cur.limit(), "flac");
      return false;
    }
    pos = next;
    if (last) break;
  }
  w.pos = pos;
  if (next_header(cur, pos, si, false, 0, w.f) || next_header(cur, pos, si, true, 0, w.f)) return true;
  ended = short_start(42, pos + frame_bound(si));
  return false;
}

// The fragment search's re-measure: the frames from the last mark whose header lies
// wholly before the splice, as a walk from the start would go on there.
class FlacSplicer : public Splicer {
 public:
  FlacSplicer(ByteSource& file, uint64_t max_length) {
    Cursor cur(file, 0, max_length);
    FrameWalk w;
    Carve ended;
    if (open_stream(cur, si_, w, ended)) {
      metadata_end_ = w.pos;
      walk_frames(cur, si_, metadata_end_, w, &marks_);
    }
  }

  Carve measure(ByteSource& file, uint64_t splice, uint64_t limit) override {
    const FrameWalk* mark = marks_.before(splice, kMaxFrameHeader);  // its header read too
    if (!mark) return measure_flac(file, 0, limit);
    Cursor cur(file, 0, limit);
    return walk_frames(cur, si_, metadata_end_, *mark, nullptr);
  }

 private:
  StreamInfo si_ = {};
  uint64_t metadata_end_ = 0;
  Marks marks_{kMarkFrames, kMostMarks};
};

}  // namespace

bool probe_flac(const uint8_t* h) {
  if (std::memcmp(h, "fLaC", 4) != 0 || (h[4] & 0x7F) != 0 || be24(h + 5) != 34) return false;
  StreamInfo si = read_stream_info(h + 8);
  return si.min_block >= 16 && si.max_block >= si.min_block && si.rate > 0 && si.rate <= 655350 &&
         si.bits >= 4 && (!si.min_frame || !si.max_frame || si.min_frame <= si.max_frame);
}

Carve measure_flac(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  StreamInfo si;
  FrameWalk w;
  Carve ended;
  if (!open_stream(cur, si, w, ended)) return ended;
  return walk_frames(cur, si, w.pos, w, nullptr);
}

std::unique_ptr<Splicer> flac_splicer(ByteSource& file, uint64_t max_length, const Carve&) {
  return std::unique_ptr<Splicer>(new FlacSplicer(file, max_length));
}

}  // namespace kes
