// MPEG audio files (layers I-III of MPEG-1, 2 and 2.5): an optional ID3v2 tag, then a
// chain of frames whose headers agree on version, layer, sample rate and channel count,
// each frame's length given by its bitrate and padding. A Xing/Info or VBRI frame at the
// start gives the frame count, which then ends the chain; otherwise the chain ends at
// the first bytes that are no such frame. APE, Lyrics3 and ID3v1 tags may follow.
// Without an ID3v2 tag only a long chain that opens like a stream's first frame counts.
#include <cstring>

#include "formats/cursor.h"
#include "formats/formats.h"
#include "formats/tail_tags.h"

namespace kes {
namespace {

constexpr uint64_t kMinTaggedFrames = 4, kMinBareFrames = 32;
constexpr uint64_t kMaxFrames = uint64_t(1) << 26;
constexpr size_t kProbeBytes = 512;
constexpr uint64_t kMaxTagPadding = 65536;

const uint16_t kKbps[5][16] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},  // MPEG-1 layer I
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},     // MPEG-1 layer II
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},      // MPEG-1 layer III
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},     // MPEG-2/2.5 layer I
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},          // MPEG-2/2.5 layers II, III
};
const uint32_t kRates[3] = {44100, 48000, 32000};

struct Frame {
  unsigned version = 0;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
  unsigned layer = 0;
  uint32_t rate = 0;
  uint32_t length = 0;
  bool mono = false, crc = false;

  bool same_stream(const Frame& o) const {
    return version == o.version && layer == o.layer && rate == o.rate && mono == o.mono;
  }
  // Bytes of layer III side information after the header (and its CRC).
  size_t side_info() const { return version == 3 ? (mono ? 17 : 32) : (mono ? 9 : 17); }
};

bool parse_frame(const uint8_t* h, Frame& f) {
  if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return false;
  const unsigned version = h[1] >> 3 & 3, layer_bits = h[1] >> 1 & 3;
  const unsigned rate_index = h[2] >> 2 & 3, pad = h[2] >> 1 & 1;
  if (version == 1 || layer_bits == 0 || rate_index == 3 || (h[3] & 3) == 2) return false;
  f.version = version;
  f.layer = 4 - layer_bits;
  const unsigned table = version == 3 ? f.layer - 1 : (f.layer == 1 ? 3 : 4);
  const uint32_t kbps = kKbps[table][h[2] >> 4];
  if (kbps == 0) return false;  // free format or a forbidden index
  f.rate = kRates[rate_index] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
  f.mono = (h[3] >> 6) == 3;
  f.crc = !(h[1] & 1);
  const uint32_t bits = kbps * 1000;
  if (f.layer == 1)
    f.length = (12 * bits / f.rate + pad) * 4;
  else
    f.length = (f.layer == 3 && version != 3 ? 72 : 144) * bits / f.rate + pad;
  return true;
}

bool id3v2_header(const uint8_t* h) {
  if (std::memcmp(h, "ID3", 3) != 0 || h[3] < 2 || h[3] > 4 || h[4] == 0xFF) return false;
  const uint8_t unknown_flags = h[3] == 2 ? 0x3F : h[3] == 3 ? 0x1F : 0x0F;
  return !(h[5] & unknown_flags) && !((h[6] | h[7] | h[8] | h[9]) & 0x80);
}

uint64_t id3v2_size(const uint8_t* h) {
  const uint64_t size = uint64_t(h[6]) << 21 | uint64_t(h[7]) << 14 | uint64_t(h[8]) << 7 | h[9];
  return 10 + size + (h[3] == 4 && (h[5] & 0x10) ? 10 : 0);
}

// Frames the stream holds after its first one, from a Xing/Info or VBRI header in the
// first frame at p (whole, `f.length` bytes); 0 when it has none.
uint64_t announced_frames(const uint8_t* p, const Frame& f) {
  if (f.layer != 3) return 0;
  const size_t at = 4 + (f.crc ? 2 : 0) + f.side_info();
  if (at + 12 <= f.length && (std::memcmp(p + at, "Xing", 4) == 0 || std::memcmp(p + at, "Info", 4) == 0))
    return (be32(p + at + 4) & 1) ? be32(p + at + 8) : 0;
  if (36 + 18 <= f.length && std::memcmp(p + 36, "VBRI", 4) == 0) return be32(p + 36 + 14);
  return 0;
}

// A layer III stream's first frame borrows no bytes from frames before it.
bool opens_stream(const uint8_t* p, const Frame& f) {
  if (f.layer != 3) return true;
  const uint8_t* side = p + 4 + (f.crc ? 2 : 0);
  return f.version == 3 ? (side[0] == 0 && !(side[1] & 0x80)) : side[0] == 0;
}

}  // namespace

bool probe_mp3(const uint8_t* h) {
  if (id3v2_header(h)) return true;
  Frame f, next;
  if (!parse_frame(h, f) || !opens_stream(h, f)) return false;
  if (f.length + 4 <= kProbeBytes) return parse_frame(h + f.length, next) && next.same_stream(f);
  // A frame longer than the probe sees (layer II from 192 kbit/s on): the measure's
  // chain of frames decides.
  return true;
}

Carve measure_mp3(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  const uint8_t* h = cur.get(0, 10);
  if (!h) return corrupt();
  const bool tagged = id3v2_header(h);
  uint64_t pos = tagged ? id3v2_size(h) : 0;
  // Some taggers pad past the size they declare.
  for (uint64_t end = pos + kMaxTagPadding; tagged && pos < end;) {
    uint8_t b = 1;
    if (!cur.u8(pos, b) || b != 0) break;
    ++pos;
  }
  Frame first;
  const uint8_t* p = cur.get(pos, 4);
  if (!p || !parse_frame(p, first) || !(p = cur.get(pos, first.length)) || (!tagged && !opens_stream(p, first)))
    return corrupt();
  const uint64_t announced = announced_frames(p, first);
  uint64_t frames = 0, last_start = pos;
  bool cut = false;
  for (; frames < kMaxFrames && (!announced || frames <= announced); ++frames) {
    Frame f;
    p = cur.get(pos, 4);
    if (!p && pos == cur.limit()) last_start = pos;  // the medium ends with a whole frame
    if (!p || !parse_frame(p, f) || !f.same_stream(first)) break;
    if (!cur.readable(pos, f.length)) {
      cut = true;
      break;
    }
    last_start = pos;
    pos += f.length;
  }
  if (frames < (tagged ? kMinTaggedFrames : kMinBareFrames)) {
    // A tag, or a chain of frames, cut short: a file's first piece, maybe.
    const bool sound = tagged ? frames > 0 : frames >= kMinTaggedFrames;
    return sound ? short_start(last_start) : corrupt();
  }
  if (cut) return make_carve(Verdict::truncated, cur.limit(), "mp3");
  // Short of the announced count, the last frame is not vouched for by a header after it.
  if (announced && frames <= announced) return make_carve(Verdict::truncated, last_start, "mp3");
  return make_carve(Verdict::complete, skip_tail_tags(cur, pos), "mp3");
}

}  // namespace kes
