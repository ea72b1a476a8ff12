// MPEG transport streams: 188-byte packets (m2t), or 192-byte packets that carry a
// 4-byte arrival time code before each sync byte (m2ts). A hit needs a long run of
// packets with a PAT whose CRC holds near the start; continuity counters are followed
// per PID. There is no end marker: the stream is cut after the last good packet, unless
// the medium ends there.
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "formats/crc.h"
#include "formats/formats.h"
#include "formats/mpeg_walk.h"
#include "formats/walk_marks.h"

namespace kes {
namespace {

constexpr uint8_t kSync = 0x47;
constexpr unsigned kPidCount = 8192, kNullPid = 0x1FFF;
constexpr uint64_t kMinPackets = 64;   // shorter runs are too weak a sign of a stream
constexpr uint64_t kPatWithin = 256;   // packets from the start in which the PAT must show
constexpr uint64_t kMaxPackets = uint64_t(1) << 32;
constexpr uint64_t kMarkPackets = 64;  // 12 KB apart: a re-measure walks no more than that again
constexpr size_t kMostMarks = 4096;      // thinned beyond (see walk_marks.h)

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

namespace {

// A walk's state before the packet at `pos`: all a walk needs to go on from there.
struct TsWalk {
  uint64_t pos = 0;
  uint64_t n = 0;  // packets walked
  bool pat = false;
  std::vector<int8_t> counter = std::vector<int8_t>(kPidCount, -1);  // last continuity counter per PID
  std::vector<uint16_t> pids;  // those with a counter, in the order met
};

// A walk's state kept along the file: its counters for the PIDs met.
struct TsMark {
  uint64_t pos = 0, n = 0;
  bool pat = false;
  std::vector<std::pair<uint16_t, int8_t>> counters;

  explicit TsMark(const TsWalk& w) : pos(w.pos), n(w.n), pat(w.pat) {
    for (uint16_t pid : w.pids) counters.emplace_back(pid, w.counter[pid]);
  }
  TsWalk walk() const {
    TsWalk w;
    w.pos = pos, w.n = n, w.pat = pat;
    for (const auto& c : counters) {
      w.counter[c.first] = c.second;
      w.pids.push_back(c.first);
    }
    return w;
  }
};

using Marks = WalkMarks<TsMark>;

// Walks on from `w`, leaving marks when given.
StreamEnd walk_on(Cursor& cur, TsWalk& w, unsigned packet, Marks* marks) {
  const unsigned off = packet - 188;
  for (; w.n < kMaxPackets; ++w.n, w.pos += packet) {
    if (marks && marks->due(w.n)) marks->add(TsMark(w));
    const uint8_t* h = cur.get(w.pos, packet);
    if (!h) {
      const bool at_end = w.pos == cur.limit();
      return {at_end ? w.pos : cur.limit(), at_end && w.pat && w.n >= kMinPackets, w.pat ? w.n : 0};
    }
    const uint8_t* p = h + off;
    // No sync byte: the file ended there, or its next piece lies elsewhere, and then the
    // break lies right before it (a stream's packets keep their sync byte, so another
    // one's that runs on from a break fails a count further on instead).
    if (p[0] != kSync) return {w.pos, false, w.pat ? w.n : 0, w.pos + off + 1};
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
      const int last = w.counter[pid];
      if (last >= 0 && !discontinuity) {
        const bool next = cc == ((unsigned(last) + 1) & 15u), same = cc == unsigned(last);
        if (payload ? !(next || same) : !same) break;
      }
      if (last < 0) w.pids.push_back(static_cast<uint16_t>(pid));
      w.counter[pid] = static_cast<int8_t>(cc);
    }
    if (pid == 0 && (p[1] & 0x40) && payload) {
      if (!pat_ok(p + at, 188 - at)) break;
      w.pat = true;
    }
    if (!w.pat && w.n >= kPatWithin) break;
  }
  return {w.pos, false, w.pat ? w.n : 0};
}

Carve stream_carve(const StreamEnd& s, unsigned packet) {
  if (s.units == 0) return corrupt();
  const char* ext = packet == 192 ? "m2ts" : "m2t";
  const Verdict v = s.complete ? Verdict::complete : Verdict::truncated;
  // A run that opened with a sound PAT but stops short may be a file's first piece.
  const Carve c = s.units < kMinPackets ? short_start(s.end, s.broken_at) : make_carve(v, s.end, ext, s.broken_at);
  return open_ended(c, s);
}

// The fragment search's re-measure: the walk goes on from the last mark before the
// splice, whose state the bytes before the splice decided, as a walk from the start would.
class TsSplicer : public Splicer {
 public:
  TsSplicer(ByteSource& file, uint64_t max_length) {
    Cursor cur(file, 0, max_length);
    const uint8_t* h = cur.get(0, 3 * 192);
    packet_ = h ? transport_packet_size(h) : 0;
    TsWalk w;
    if (packet_) walk_on(cur, w, packet_, &marks_);
  }

  Carve measure(ByteSource& file, uint64_t splice, uint64_t limit) override {
    const TsMark* mark = marks_.before(splice);
    // The packet size was read from the first three packets: they must lie before it.
    if (splice < 3 * 192 || !mark) return measure_m2ts(file, 0, limit);
    Cursor cur(file, 0, limit);
    TsWalk w = mark->walk();
    return stream_carve(walk_on(cur, w, packet_, nullptr), packet_);
  }

 private:
  unsigned packet_ = 0;
  Marks marks_{kMarkPackets, kMostMarks};
};

}  // namespace

StreamEnd walk_transport_stream(Cursor& cur, uint64_t pos, unsigned packet) {
  TsWalk w;
  w.pos = pos;
  return walk_on(cur, w, packet, nullptr);
}

bool probe_m2ts(const uint8_t* h) { return transport_packet_size(h) != 0; }

Carve measure_m2ts(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  const uint8_t* h = cur.get(0, 3 * 192);
  const unsigned packet = h ? transport_packet_size(h) : 0;
  if (!packet) return corrupt();
  return stream_carve(walk_transport_stream(cur, 0, packet), packet);
}

std::unique_ptr<Splicer> m2ts_splicer(ByteSource& file, uint64_t max_length, const Carve&) {
  return std::unique_ptr<Splicer>(new TsSplicer(file, max_length));
}

}  // namespace kes
