// MPEG transport streams: 188-byte packets (m2t), or 192-byte packets that carry a
// 4-byte arrival time code before each sync byte (m2ts). A hit needs a long run of
// packets with a PAT whose CRC holds near the start; continuity counters are followed
// per PID. There is no end marker: the stream is cut after the last good packet, unless
// the medium ends there.
#include <cstring>
#include <vector>

#include "formats/crc.h"
#include "formats/formats.h"
#include "formats/mpeg_walk.h"

namespace kes {
namespace {

constexpr uint8_t kSync = 0x47;
constexpr unsigned kPidCount = 8192, kNullPid = 0x1FFF;
constexpr uint64_t kMinPackets = 64;   // shorter runs are too weak a sign of a stream
constexpr uint64_t kPatWithin = 256;   // packets from the start in which the PAT must show
constexpr uint64_t kMaxPackets = uint64_t(1) << 32;

// The PAT section that starts in the payload at p (n bytes): table id 0, the section
// syntax bit, and the MPEG CRC over the section.
bool pat_ok(const uint8_t* p, size_t n) {
  if (n < 1 || size_t(p[0]) + 1 >= n) return false;
  const uint8_t* s = p + 1 + p[0];
  const size_t room = n - 1 - p[0];
  if (room < 3 || s[0] != 0x00 || (s[1] & 0x80) == 0) return false;
  const size_t len = (size_t(s[1] & 0x0F) << 8 | s[2]) + 3;
  if (len < 12 || len > room) return false;
  return crc32_msb_update(0xFFFFFFFFu, s, len) == 0;
}

}  // namespace

unsigned transport_packet_size(const uint8_t* h) {
  for (unsigned size : {188u, 192u}) {
    const unsigned off = size - 188;
    if (h[off] != kSync || h[off + size] != kSync || h[off + 2 * size] != kSync) continue;
    const uint8_t* p = h + off;
    const unsigned pid = unsigned(p[1] & 0x1F) << 8 | p[2];
    const bool unit_start = p[1] & 0x40, error = p[1] & 0x80;
    if (!error && unit_start && (pid == 0 || pid == 0x11) && (p[3] & 0x30) == 0x10) return size;
  }
  return 0;
}

StreamEnd walk_transport_stream(Cursor& cur, uint64_t pos, unsigned packet) {
  const unsigned off = packet - 188;
  std::vector<int8_t> counter(kPidCount, -1);
  uint64_t n = 0;
  bool pat = false;
  for (; n < kMaxPackets; ++n, pos += packet) {
    const uint8_t* h = cur.get(pos, packet);
    if (!h) {
      const bool at_end = pos == cur.limit();
      return {at_end ? pos : cur.limit(), at_end && pat && n >= kMinPackets, pat ? n : 0};
    }
    const uint8_t* p = h + off;
    if (p[0] != kSync) break;  // the file ended there, or its next piece lies elsewhere
    const unsigned pid = unsigned(p[1] & 0x1F) << 8 | p[2];
    const unsigned control = p[3] >> 4 & 3, cc = p[3] & 0x0F;
    const bool payload = control & 1, adaptation = control & 2;
    size_t at = 4;
    bool discontinuity = false;
    if (control == 0 || (p[1] & 0x80)) break;
    if (adaptation) {
      const size_t len = p[4];
      if (payload ? len > 182 : len != 183) break;
      discontinuity = len > 0 && (p[5] & 0x80);
      at = 5 + len;
    }
    if (pid != kNullPid) {
      const int last = counter[pid];
      if (last >= 0 && !discontinuity) {
        const bool next = cc == ((unsigned(last) + 1) & 15u), same = cc == unsigned(last);
        if (payload ? !(next || same) : !same) break;
      }
      counter[pid] = static_cast<int8_t>(cc);
    }
    if (pid == 0 && (p[1] & 0x40) && payload) {
      if (!pat_ok(p + at, 188 - at)) break;
      pat = true;
    }
    if (!pat && n >= kPatWithin) break;
  }
  return {pos, false, pat ? n : 0};
}

bool probe_m2ts(const uint8_t* h) { return transport_packet_size(h) != 0; }

Carve measure_m2ts(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  const uint8_t* h = cur.get(0, 3 * 192);
  const unsigned packet = h ? transport_packet_size(h) : 0;
  if (!packet) return corrupt();
  StreamEnd s = walk_transport_stream(cur, 0, packet);
  // A run that opened with a sound PAT but stops short may be a file's first piece.
  if (s.units < kMinPackets) return s.units > 0 ? short_start(s.end) : corrupt();
  const char* ext = packet == 192 ? "m2ts" : "m2t";
  return make_carve(s.complete ? Verdict::complete : Verdict::truncated, s.end, ext);
}

}  // namespace kes
