// MPEG program streams (MPEG-1 and MPEG-2 packs) and MPEG-1/2 video elementary streams.
// A program stream ends at its end code; without one it is cut after the last pack that
// is followed by no start code at all, or by a pack whose clock does not run on from
// the last one (another recording's): its next piece may lie elsewhere. An elementary
// stream has no lengths: it is followed from start code to start code, each one of a
// kind the video syntax allows, none farther from the last than a row of macroblocks can
// take, up to the sequence end code; without that code the stream cannot be ended
// soundly and is kept up to its last whole picture.
#include <algorithm>
#include <cstring>
#include <memory>

#include "formats/formats.h"
#include "formats/mpeg_walk.h"
#include "formats/walk_marks.h"

namespace kes {
namespace {

constexpr uint8_t kPack = 0xBA, kSystemHeader = 0xBB, kEnd = 0xB9;
constexpr uint8_t kSequence = 0xB3, kSequenceEnd = 0xB7, kGroup = 0xB8, kExtension = 0xB5,
                  kUserData = 0xB2, kPicture = 0x00;
constexpr uint64_t kMaxUnits = uint64_t(1) << 32;
constexpr uint64_t kClockMask = (uint64_t(1) << 33) - 1;  // the clock's 33 bits wrap
constexpr uint64_t kMaxClockStep = 63000;                  // 0.7 s, the most the standard allows
// A sequence header with both matrices and the start code after it.
constexpr size_t kProbeBytes = 148;

bool start_code(const uint8_t* h) { return h[0] == 0 && h[1] == 0 && h[2] == 1; }

// Length of the pack header at h (21 bytes readable) with its marker bits and stuffing
// checked, 0 when it is none; `mpeg2` tells the two layouts apart.
size_t pack_length(const uint8_t* h, bool& mpeg2) {
  if ((h[4] & 0xC0) == 0x40) {
    uint32_t mux = uint32_t(h[10]) << 14 | uint32_t(h[11]) << 6 | h[12] >> 2;
    if (!(h[4] & 0x04) || !(h[6] & 0x04) || !(h[8] & 0x04) || !(h[9] & 0x01) || (h[12] & 0x03) != 0x03 ||
        mux == 0)
      return 0;
    const size_t stuffing = h[13] & 7;
    for (size_t i = 0; i < stuffing; ++i)
      if (h[14 + i] != 0xFF) return 0;
    mpeg2 = true;
    return 14 + stuffing;
  }
  uint32_t mux = uint32_t(h[9] & 0x7F) << 15 | uint32_t(h[10]) << 7 | h[11] >> 1;
  if ((h[4] & 0xF1) != 0x21 || !(h[6] & 1) || !(h[8] & 1) || !(h[9] & 0x80) || !(h[11] & 1) || mux == 0)
    return 0;
  mpeg2 = false;
  return 12;
}

// The system clock reference of the pack header at h (its 90 kHz base, 33 bits).
uint64_t pack_clock(const uint8_t* h, bool mpeg2) {
  if (mpeg2)
    return uint64_t(h[4] >> 3 & 7) << 30 | uint64_t(h[4] & 3) << 28 | uint64_t(h[5]) << 20 |
           uint64_t(h[6] >> 3) << 15 | uint64_t(h[6] & 3) << 13 | uint64_t(h[7]) << 5 | h[8] >> 3;
  return uint64_t(h[4] >> 1 & 7) << 30 | uint64_t(h[5]) << 22 | uint64_t(h[6] >> 1) << 15 | uint64_t(h[7]) << 7 |
         h[8] >> 1;
}

bool system_header_ok(const uint8_t* h) {
  return be16(h + 4) >= 6 && (h[6] & 0x80) && (h[8] & 0x01) && (h[10] & 0x20);
}

bool timestamp_ok(const uint8_t* t, uint8_t prefix) {
  return (t[0] >> 4) == prefix && (t[0] & 1) && (t[2] & 1) && (t[4] & 1);
}

// Where an MPEG-1 PES header's timestamp field starts (after stuffing and the buffer
// size), with `bytes` its length: 1 for none, 5 for a PTS, 10 for a PTS and DTS; 0 when
// the flags there are none of these or lie beyond n.
size_t mpeg1_stamps_at(const uint8_t* h, size_t n, size_t& bytes) {
  size_t i = 6;
  while (i < n && h[i] == 0xFF && i < 6 + 16) ++i;  // stuffing
  if (i < n && (h[i] & 0xC0) == 0x40) i += 2;        // buffer size
  bytes = i >= n ? 0 : h[i] == 0x0F ? 1 : (h[i] >> 4) == 2 ? 5 : (h[i] >> 4) == 3 ? 10 : 0;
  return i;
}

// The header of the PES packet at h (`n` bytes of it readable, at most its length + 6)
// for the streams that carry one: audio, video and private stream 1.
bool pes_header_ok(const uint8_t* h, size_t n, bool mpeg2) {
  const uint8_t id = h[3];
  if (!(id == 0xBD || (id >= 0xC0 && id <= 0xEF))) return true;
  if (mpeg2) {
    if (n < 9 || (h[6] & 0xC0) != 0x80) return false;
    const unsigned pts_dts = h[7] >> 6;
    if (pts_dts == 1 || size_t(9) + h[8] > n) return false;
    if (pts_dts >= 2 && !timestamp_ok(h + 9, pts_dts == 3 ? 3 : 2)) return false;
    return pts_dts != 3 || timestamp_ok(h + 14, 1);
  }
  size_t stamps = 0;
  const size_t i = mpeg1_stamps_at(h, n, stamps);
  if (!stamps || i + stamps > n) return false;
  if (stamps == 5) return timestamp_ok(h + i, 2);
  return stamps == 1 || (timestamp_ok(h + i, 3) && timestamp_ok(h + i + 5, 1));
}

// Bytes before the payload of the PES packet at h (`n` bytes readable); 0 when they do
// not fit in n.
size_t pes_payload_at(const uint8_t* h, size_t n, bool mpeg2) {
  if (mpeg2) return n >= 9 && size_t(9) + h[8] <= n ? 9 + h[8] : 0;
  size_t stamps = 0;
  const size_t i = mpeg1_stamps_at(h, n, stamps);
  return stamps && i + stamps <= n ? i + stamps : 0;
}

// The start code after 00 00 01 at c (2 bytes) opens a video stream: an MPEG-1/2
// sequence header, an MPEG-4 visual object sequence, or the access unit delimiter or
// parameter sets an H.264 or H.265 stream begins with.
bool stream_opening(const uint8_t* c) {
  if (c[0] == kSequence || c[0] == 0xB0) return true;
  if (c[0] == 0x09 || (c[0] & 0x9F) == 0x07) return true;         // H.264 AUD, SPS
  return (c[0] == 0x46 || c[0] == 0x40 || c[0] == 0x42) && c[1] == 0x01;  // H.265 AUD, VPS, SPS
}

// Whether the video of the program stream whose first pack (of `pack` bytes) is at 0
// opens a stream, as every recording's does. A later part of a recording, cut at a
// pack boundary, may begin with a pack and a system header as well (muxers repeat
// them), but its first video packet carries the middle of a picture, or it holds none
// at all (the audio that closes a recording). Streams whose system header bounds no
// video pass. `read_to`: the end of the bytes looked at.
bool video_opens_stream(Cursor& cur, size_t pack, bool mpeg2, uint64_t& read_to) {
  read_to = pack + 11;
  const uint8_t* sys = cur.get(pack, 11);
  if (!sys || (sys[10] & 0x1F) == 0) return true;  // no video stream bound
  uint64_t pos = pack;
  for (int n = 0; n < 64; ++n) {
    read_to = std::max(read_to, pos + 32);
    const uint8_t* h = cur.get(pos, 32);
    if (!h || !start_code(h) || h[3] == kEnd) return false;
    if (h[3] == kPack) {
      bool pack_mpeg2 = false;
      const size_t len = pack_length(h, pack_mpeg2);
      if (!len) return false;
      pos += len;
      continue;
    }
    if (h[3] >= 0xE0 && h[3] <= 0xEF) {
      const size_t at = pes_payload_at(h, 32, mpeg2);
      if (!at || size_t(be16(h + 4)) + 6 < at + 4) return false;
      size_t k = at;
      while (k < 28 && h[k] == 0) ++k;  // zero bytes may stand before a start code
      return k >= at + 2 && h[k] == 1 && stream_opening(h + k + 1);
    }
    pos += 6 + be16(h + 4);
  }
  return false;
}

StreamEnd stopped(Cursor& cur, uint64_t good, uint64_t units, bool cut) {
  return {cut ? cur.limit() : good, false, units};
}

// Sequence header at h (12 bytes): picture size, aspect ratio, frame rate, marker bit.
bool sequence_header_ok(const uint8_t* h, unsigned& width, unsigned& height) {
  width = unsigned(h[4]) << 4 | h[5] >> 4;
  height = unsigned(h[5] & 0x0F) << 8 | h[6];
  const unsigned aspect = h[7] >> 4, rate = h[7] & 0x0F;
  return width && height && aspect && aspect <= 14 && rate && rate <= 8 && (h[10] & 0x20);
}

// Where the sequence header at h (up to 140 bytes readable) ends: after the optional
// quantiser matrices.
size_t sequence_header_length(const uint8_t* h) {
  size_t n = 12;
  if (h[11] & 0x02) n += 64;  // intra matrix, its last bit carries the next flag
  if (h[n - 1] & 0x01) n += 64;
  return n;
}

bool es_code_ok(uint8_t code, unsigned rows) {
  if (code == kPicture || code == kUserData || code == kSequence || code == kExtension || code == kGroup)
    return true;
  return code >= 0x01 && code <= 0xAF && (rows > 175 || code <= rows);
}

Carve measure_video_es(Cursor& cur) {
  const uint8_t* h = cur.get(0, 12);
  unsigned width = 0, height = 0;
  if (!h || !sequence_header_ok(h, width, height)) return corrupt();
  // A row of macroblocks of the largest kind, with room for headers and user data.
  const uint64_t max_gap = uint64_t((width + 15) / 16) * 1536 + 8192;
  const unsigned rows = (height + 15) / 16;
  const uint8_t pattern[3] = {0, 0, 1};
  uint64_t pos = 0, picture_end = 0, pictures = 0;
  for (uint64_t n = 0; n < kMaxUnits; ++n) {
    const uint64_t to = std::min(cur.limit(), pos + 4 + max_gap);
    const uint64_t next = cur.find(pos + 4, to, pattern, 3);
    uint8_t code = 0;
    if (next == UINT64_MAX || !cur.u8(next + 3, code)) {
      if (pictures == 0) return corrupt();
      return make_carve(Verdict::truncated, to >= cur.limit() ? cur.limit() : picture_end, "mpg");
    }
    if (code == kSequenceEnd) {
      return pictures ? make_carve(Verdict::complete, next + 4, "mpg") : corrupt();
    }
    if (!es_code_ok(code, rows))
      return pictures ? make_carve(Verdict::truncated, picture_end, "mpg") : corrupt();
    if (code == kPicture || code == kGroup || code == kSequence) picture_end = next;
    pictures += code == kPicture;
    pos = next;
  }
  return corrupt();
}

}  // namespace

namespace {

// A walk's state before the unit at `pos`: all a walk needs to go on from there.
struct PsWalk {
  uint64_t pos = 0, good = 0, units = 0, clock = 0, n = 0;
  bool first_mpeg2 = false, in_pack = false;
};

constexpr uint64_t kMarkUnits = 8;  // a re-measure walks no more units than that again
constexpr size_t kMostMarks = 16384;  // thinned beyond (see walk_marks.h)
using Marks = WalkMarks<PsWalk>;

// Walks on from `w`, leaving copies of its state in `marks` when given.
StreamEnd walk_on(Cursor& cur, PsWalk& w, Marks* marks) {
  for (; w.n < kMaxUnits; ++w.n) {
    if (marks && marks->due(w.n)) marks->add(w);
    const uint64_t pos = w.pos;
    const uint8_t* h = cur.get(pos, 6);
    if (!h) {
      const uint8_t* end = cur.get(pos, 4);
      if (end && start_code(end) && end[3] == kEnd) return {pos + 4, true, w.units};
      // The medium may end right after a pack.
      return pos == cur.limit() && w.units ? StreamEnd{pos, true, w.units} : stopped(cur, w.good, w.units, true);
    }
    // Something else after a pack: the file ended there, or its next piece lies elsewhere.
    // Every unit is checked from its first bytes on, so the break is known to lie here.
    if (!start_code(h)) return w.units ? StreamEnd{pos, false, w.units, pos + 4} : StreamEnd{};
    const uint8_t id = h[3];
    if (id == kEnd) return w.units ? StreamEnd{pos + 4, true, w.units} : StreamEnd{};
    if (id == kPack) {
      w.good = pos;
      const uint8_t* p = cur.get(pos, 21);
      if (!p) return stopped(cur, w.good, w.units, true);
      bool mpeg2 = false;
      const size_t len = pack_length(p, mpeg2);
      if (!len || (w.units && mpeg2 != w.first_mpeg2)) return stopped(cur, w.good, w.units, false);
      // The clock runs on from pack to pack, by at most 0.7 s: another recording's
      // packs (or this one's from elsewhere) show another time.
      const uint64_t at = pack_clock(p, mpeg2);
      if (w.units && ((at - w.clock) & kClockMask) > kMaxClockStep) return stopped(cur, w.good, w.units, false);
      w.clock = at;
      w.first_mpeg2 = mpeg2;
      w.in_pack = true;
      ++w.units;
      w.pos += len;
      continue;
    }
    if (!w.in_pack || id < kSystemHeader) return stopped(cur, w.good, w.units, false);
    const size_t len = be16(h + 4);
    const size_t look = std::min<size_t>(len + 6, 32);
    const uint8_t* p = cur.get(pos, look);
    if (!p) return stopped(cur, w.good, w.units, true);
    if (id == kSystemHeader ? !system_header_ok(p) : !pes_header_ok(p, look, w.first_mpeg2))
      return stopped(cur, w.good, w.units, false);
    w.pos += 6 + len;
  }
  return stopped(cur, w.good, w.units, false);
}

Carve stream_carve(const StreamEnd& s) {
  if (s.units == 0) return corrupt();
  return open_ended(make_carve(s.complete ? Verdict::complete : Verdict::truncated, s.end, "mpg", s.broken_at), s);
}

// Whether the file at the cursor opens a program stream (not an elementary one) whose
// video opens as it should; `read_to` is how far that check read.
bool program_stream_opens(Cursor& cur, uint64_t& read_to) {
  const uint8_t* h = cur.get(0, kProbeBytes);
  if (!h || !probe_mpg(h) || h[3] == kSequence) return false;
  bool mpeg2 = false;
  const size_t pack = pack_length(h, mpeg2);
  return video_opens_stream(cur, pack, mpeg2, read_to);
}

// The fragment search's re-measure of a program stream: the walk goes on from the last
// mark before the splice, whose state the bytes before the splice decided, as a walk
// from the start would. Elementary streams, and splices inside the opening the measure
// checks, are measured from the start.
class PsSplicer : public Splicer {
 public:
  PsSplicer(ByteSource& file, uint64_t max_length) {
    Cursor cur(file, 0, max_length);
    if (!program_stream_opens(cur, opening_)) return;
    PsWalk w;
    walk_on(cur, w, &marks_);
  }

  Carve measure(ByteSource& file, uint64_t splice, uint64_t limit) override {
    const PsWalk* mark = marks_.before(splice);
    if (splice < std::max<uint64_t>(opening_, kProbeBytes) || !mark) return measure_mpg(file, 0, limit);
    Cursor cur(file, 0, limit);
    PsWalk w = *mark;
    return stream_carve(walk_on(cur, w, nullptr));
  }

 private:
  uint64_t opening_ = UINT64_MAX;
  Marks marks_{kMarkUnits, kMostMarks};
};

}  // namespace

StreamEnd walk_program_stream(Cursor& cur, uint64_t pos) {
  PsWalk w;
  w.pos = w.good = pos;
  return walk_on(cur, w, nullptr);
}

bool probe_mpg(const uint8_t* h) {
  if (!start_code(h)) return false;
  if (h[3] == kPack) {
    bool mpeg2 = false;
    const size_t len = pack_length(h, mpeg2);
    // The first pack of a program stream carries the system header.
    return len && start_code(h + len) && h[len + 3] == kSystemHeader && system_header_ok(h + len);
  }
  unsigned width = 0, height = 0;
  if (h[3] != kSequence || !sequence_header_ok(h, width, height)) return false;
  const size_t len = sequence_header_length(h);
  return start_code(h + len) && (h[len + 3] == kExtension || h[len + 3] == kGroup || h[len + 3] == kPicture);
}

Carve measure_mpg(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  const uint8_t* h = cur.get(0, kProbeBytes);
  if (!h || !probe_mpg(h)) return corrupt();
  if (h[3] == kSequence) return measure_video_es(cur);
  uint64_t opening = 0;
  if (!program_stream_opens(cur, opening)) return corrupt();
  return stream_carve(walk_program_stream(cur, 0));
}

std::unique_ptr<Splicer> mpg_splicer(ByteSource& file, uint64_t max_length, const Carve&) {
  return std::unique_ptr<Splicer>(new PsSplicer(file, max_length));
}

}  // namespace kes
