// Matroska and WebM: the EBML header names the document type; the Segment's children
// (seek head, info, tracks, clusters, cues, ...) are walked by their variable-length ids
// and sizes, which must fit their parents. Clusters are walked down to their blocks,
// whose track numbers must be the tracks' own; CRC-32 elements are checked. A Segment
// of unknown size (a live recording) ends after the last element that held, as does a
// cluster of unknown size at the next top-level element.
#include <algorithm>
#include <cstring>

#include "formats/crc.h"
#include "formats/cursor.h"
#include "formats/formats.h"

namespace kes {
namespace {

enum : uint32_t {
  kEbml = 0x1A45DFA3, kDocType = 0x4282, kSegment = 0x18538067, kSeekHead = 0x114D9B74,
  kInfo = 0x1549A966, kTracks = 0x1654AE6B, kCluster = 0x1F43B675, kCues = 0x1C53BB6B,
  kChapters = 0x1043A770, kTags = 0x1254C367, kAttachments = 0x1941A469, kVoid = 0xEC,
  kCrc32 = 0xBF, kTrackEntry = 0xAE, kTrackNumber = 0xD7, kSimpleBlock = 0xA3,
  kBlockGroup = 0xA0, kBlock = 0xA1,
};

bool top_level(uint32_t id) {
  switch (id) {
    case kSeekHead: case kInfo: case kTracks: case kCluster: case kCues: case kChapters:
    case kTags: case kAttachments: case kVoid: case kCrc32: return true;
    default: return false;
  }
}

bool cluster_child(uint32_t id) {
  switch (id) {
    case 0xE7: case 0xA7: case 0xAB: case kSimpleBlock: case kBlockGroup: case 0xAF: case 0x5854:
    case kVoid: case kCrc32: return true;
    default: return false;
  }
}

// A variable-length integer at p (n bytes there): its length, 0 when malformed. Ids
// keep their marker bit; sizes lose it, and all ones means "unknown".
int vint(const uint8_t* p, size_t n, bool id, uint64_t& value, bool* unknown = nullptr) {
  if (n == 0 || p[0] == 0) return 0;
  int len = 1;
  while (!(p[0] & (0x80 >> (len - 1)))) ++len;
  if ((id && len > 4) || size_t(len) > n) return 0;
  const uint64_t marker = uint64_t(1) << (7 * len);
  value = id ? p[0] : p[0] & ((0x80 >> (len - 1)) - 1);
  for (int i = 1; i < len; ++i) value = value << 8 | p[i];
  const uint64_t bits = id ? value & (marker - 1) : value;
  if (id && (bits == 0 || bits == marker - 1)) return 0;  // reserved ids
  if (unknown) *unknown = !id && value == marker - 1;
  return len;
}

struct Element {
  uint32_t id = 0;
  uint64_t data = 0, size = 0;
  bool unknown = false;
  uint64_t end() const { return data + size; }
};

// Reads the element header at pos, which must lie inside [pos, end).
bool header(Cursor& cur, uint64_t pos, uint64_t end, Element& e) {
  const uint64_t room = std::min<uint64_t>({12, end - pos, cur.limit() > pos ? cur.limit() - pos : 0});
  const uint8_t* p = room ? cur.get(pos, static_cast<size_t>(room)) : nullptr;
  if (!p) return false;
  uint64_t id = 0, size = 0;
  int a = vint(p, static_cast<size_t>(room), true, id);
  int b = a ? vint(p + a, static_cast<size_t>(room) - a, false, size, &e.unknown) : 0;
  if (!b) return false;
  e.id = static_cast<uint32_t>(id);
  e.data = pos + a + b;
  e.size = e.unknown ? 0 : size;
  return e.unknown || size <= end - e.data;
}

enum class Walk { whole, cut, broken };

constexpr uint32_t kMaxElements = 1u << 24;

class Segment {
 public:
  explicit Segment(Cursor& cur) : cur_(cur) {}

  uint64_t good = 0;    // end of the last top-level element or cluster child that held
  uint64_t broken = 0;  // end of the sized top-level element that did not, when one did not

  // Walks the Segment's children from pos to end (UINT64_MAX when its size is unknown).
  Walk walk(uint64_t pos, uint64_t end) {
    good = pos;
    while (pos < end) {
      if (end == UINT64_MAX && !cur_.within(pos, 1)) return Walk::whole;
      Element e;
      // In a Segment of unknown size, what follows the last complete element is not ours.
      if (!header(cur_, pos, end, e)) return end == UINT64_MAX ? Walk::whole : cut_or_broken(pos, end);
      if (!top_level(e.id)) return end == UINT64_MAX ? Walk::whole : Walk::broken;
      if (e.unknown && e.id != kCluster) return Walk::broken;
      if (!e.unknown && !cur_.within(e.data, e.size)) return Walk::cut;
      Walk w = element(e, end);
      if (w == Walk::broken && !e.unknown) broken = e.end();
      if (w != Walk::whole) return w;
      pos = good = e.unknown ? unknown_end_ : e.end();
    }
    return Walk::whole;
  }

 private:
  Walk cut_or_broken(uint64_t pos, uint64_t end) {
    return cur_.within(pos, std::min<uint64_t>(12, end - pos)) ? Walk::broken : Walk::cut;
  }

  Walk element(const Element& e, uint64_t parent_end) {
    if (++count_ > kMaxElements) return Walk::broken;
    if (e.id == kCluster) return cluster(e, parent_end);
    if (e.id == kVoid || e.id == kCrc32) return Walk::whole;
    return children(e, e.id == kTracks ? 1 : 0) ? Walk::whole : Walk::broken;
  }

  // The children of a master element fit it exactly; a leading CRC-32 covers the rest.
  // Tracks are read down to their entries' numbers.
  bool children(const Element& parent, int depth) {
    for (uint64_t pos = parent.data; pos < parent.end();) {
      Element c;
      if (!header(cur_, pos, parent.end(), c) || c.unknown || ++count_ > kMaxElements) return false;
      if (c.id == kCrc32 && pos == parent.data && !crc_ok(c, parent.end())) return false;
      if (depth == 1 && c.id == kTrackEntry && !children(c, 2)) return false;
      if (depth == 2 && c.id == kTrackNumber && !add_track(c)) return false;
      pos = c.end();
    }
    return true;
  }

  bool crc_ok(const Element& crc, uint64_t end) {
    const uint8_t* v = crc.size == 4 ? cur_.get(crc.data, 4) : nullptr;
    if (!v) return false;
    const uint32_t stored = le32(v);  // before the bytes it covers are read over it
    uint32_t got = 0;
    return crc32_of(cur_, crc.end(), end, got) && got == stored;
  }

  bool add_track(const Element& e) {
    const uint8_t* v = e.size >= 1 && e.size <= 8 ? cur_.get(e.data, static_cast<size_t>(e.size)) : nullptr;
    if (!v || tracks_ == sizeof track_ / sizeof track_[0]) return false;
    uint64_t n = 0;
    for (uint64_t i = 0; i < e.size; ++i) n = n << 8 | v[i];
    track_[tracks_++] = n;
    return n != 0;
  }

  // A block starts with its track's number, a 16-bit time and flags.
  bool block_ok(const Element& b) {
    const uint8_t* p = b.size >= 4 ? cur_.get(b.data, static_cast<size_t>(std::min<uint64_t>(b.size, 11))) : nullptr;
    uint64_t n = 0;
    int len = p ? vint(p, static_cast<size_t>(std::min<uint64_t>(b.size, 11)), false, n) : 0;
    if (!len || b.size < uint64_t(len) + 3) return false;
    if (tracks_ == 0) return true;
    for (size_t i = 0; i < tracks_; ++i)
      if (track_[i] == n) return true;
    return false;
  }

  // Blocks and the other children of a cluster; one of unknown size ends where the next
  // top-level element starts.
  Walk cluster(const Element& e, uint64_t parent_end) {
    const uint64_t end = e.unknown ? parent_end : e.end();
    uint64_t pos = e.data;
    while (pos < end) {
      if (e.unknown && !cur_.within(pos, 1)) break;
      Element c;
      if (!header(cur_, pos, end, c)) return cut_or_broken(pos, end);
      if (e.unknown && top_level(c.id) && !cluster_child(c.id)) break;
      if (!cluster_child(c.id) || c.unknown || ++count_ > kMaxElements) return Walk::broken;
      if (!cur_.within(c.data, c.size)) return Walk::cut;
      if (c.id == kCrc32 && pos == e.data && !e.unknown && !crc_ok(c, end)) return Walk::broken;
      if (c.id == kSimpleBlock && !block_ok(c)) return Walk::broken;
      if (c.id == kBlockGroup && !block_group_ok(c)) return Walk::broken;
      pos = c.end();
      good = pos;  // its blocks so far are worth keeping
    }
    unknown_end_ = pos;
    return Walk::whole;
  }

  bool block_group_ok(const Element& g) {
    for (uint64_t pos = g.data; pos < g.end();) {
      Element c;
      if (!header(cur_, pos, g.end(), c) || c.unknown || ++count_ > kMaxElements) return false;
      if (c.id == kBlock && !block_ok(c)) return false;
      pos = c.end();
    }
    return true;
  }

  Cursor& cur_;
  uint64_t track_[64] = {};
  size_t tracks_ = 0;
  uint32_t count_ = 0;
  uint64_t unknown_end_ = 0;
};

// The document type in the EBML header that fills h[0, n); null when none of ours.
const char* doc_ext(const uint8_t* h, size_t n) {
  uint64_t id = 0, size = 0;
  int a = vint(h, n, true, id);
  int b = a ? vint(h + a, n - a, false, size) : 0;
  if (!b || id != kEbml || size > n - a - b) return nullptr;
  for (size_t pos = a + b, end = pos + size; pos < end;) {
    uint64_t cid = 0, csize = 0;
    int ca = vint(h + pos, end - pos, true, cid);
    int cb = ca ? vint(h + pos + ca, end - pos - ca, false, csize) : 0;
    if (!cb || csize > end - pos - ca - cb) return nullptr;
    const uint8_t* v = h + pos + ca + cb;
    if (cid == kDocType) {
      size_t len = static_cast<size_t>(csize);
      while (len && v[len - 1] == 0) --len;  // the string may be zero-padded
      if (len == 8 && std::memcmp(v, "matroska", 8) == 0) return "mkv";
      if (len == 4 && std::memcmp(v, "webm", 4) == 0) return "webm";
      return nullptr;
    }
    pos += ca + cb + static_cast<size_t>(csize);
  }
  return nullptr;
}

constexpr size_t kProbe = 128;

}  // namespace

bool probe_mkv(const uint8_t* h) { return be32(h) == kEbml && doc_ext(h, kProbe) != nullptr; }

Carve measure_mkv(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  uint8_t h[kProbe] = {};
  size_t avail = 0;
  const uint8_t* head = cur.span(0, &avail);
  if (!head) return corrupt();
  std::memcpy(h, head, std::min(avail, kProbe));
  const char* ext = doc_ext(h, kProbe);
  Element ebml, seg;
  if (be32(h) != kEbml || !ext || !header(cur, 0, cur.limit(), ebml)) return corrupt();
  if (!header(cur, ebml.end(), UINT64_MAX, seg) || seg.id != kSegment)
    return ebml.end() < cur.limit() ? corrupt() : make_carve(Verdict::truncated, cur.limit(), ext);
  Segment s(cur);
  const uint64_t end = seg.unknown ? UINT64_MAX : seg.end();
  switch (s.walk(seg.data, end)) {
    case Walk::whole: return make_carve(Verdict::complete, seg.unknown ? s.good : end, ext);
    case Walk::cut: return make_carve(Verdict::truncated, cur.limit(), ext);
    case Walk::broken: break;
  }
  if (s.good <= seg.data) return corrupt();
  return make_carve(Verdict::truncated, s.good, ext, s.broken);
}

}  // namespace kes
