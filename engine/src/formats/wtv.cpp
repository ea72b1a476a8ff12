// Recorded-TV files (wtv): a GUID-headed file system of 4 KiB sectors. The header points
// to the root directory, whose entries place each internal file by its allocation table
// (up to two levels deep, in 4 KiB or 256 KiB sectors), and states the file's length in
// sectors. Public descriptions differ on where that length sits (0x58 or 0x5C), so the
// one that covers every sector the directory references is taken, and failing both,
// the end of the furthest referenced sector. The "timeline" file's chunks are walked
// (a GUID, a length and a serial each) so that foreign data inside it shows.
#include <algorithm>
#include <cstring>

#include "formats/cursor.h"
#include "formats/formats.h"

namespace kes {
namespace {

const uint8_t kWtv[16] = {0xB7, 0xD8, 0x00, 0x20, 0x37, 0x49, 0xDA, 0x11, 0xA6, 0x4E, 0x00, 0x07, 0xE9, 0x5E, 0xAD, 0x8D};
const uint8_t kSub[16] = {0x8C, 0xC3, 0xD2, 0xC2, 0x7E, 0x9A, 0xDA, 0x11, 0x8B, 0xF7, 0x00, 0x07, 0xE9, 0x5E, 0xAD, 0x8D};
const uint8_t kDirEntry[16] = {0x92, 0xB7, 0x74, 0x91, 0x59, 0x70, 0x70, 0x44, 0x88, 0xDF, 0x06, 0x3B, 0x82, 0xCC, 0x21, 0x3D};
const uint8_t kTimeline[] = {'t', 0, 'i', 0, 'm', 0, 'e', 0, 'l', 0, 'i', 0, 'n', 0, 'e', 0};

constexpr uint64_t kSector = 0x1000, kBigSector = 0x40000, kPerSector = kSector / 4;
constexpr uint64_t kMaxRoot = uint64_t(1) << 20;

struct File {
  uint64_t length = 0;
  uint64_t sector_size = 0;
  uint64_t sectors[kPerSector];  // the first ones; enough to walk a timeline's start
  uint64_t count = 0;            // sectors listed in its tables
};

class Volume {
 public:
  Volume(Cursor& cur, uint64_t sectors) : cur_(cur), sectors_(sectors) {}
  uint64_t end = 0;        // end of the furthest sector referenced so far
  uint64_t bad_table = 0;  // offset of a table listing a sector past the stated length

  // Reads the allocation tables of a file whose first table (or only sector) is at
  // `first`; false when a table is not there or lists no sector.
  bool open(uint64_t first, uint32_t depth, uint64_t length, File& f) {
    f.length = length & 0xFFFFFFFFFFFFull;
    f.sector_size = length >> 63 ? kSector : kBigSector;
    f.count = 0;
    if (depth == 0) return add(f, first);
    if (depth > 2) return false;
    uint64_t needed = (f.length + f.sector_size - 1) / f.sector_size;
    uint64_t tables[kPerSector] = {first};
    uint64_t ntables = 1;
    if (depth == 2) {
      ntables = std::min<uint64_t>((needed + kPerSector - 1) / kPerSector, kPerSector);
      if (!read_table(first, ntables, tables)) return false;
      mark(first, kSector);
    }
    for (uint64_t t = 0; t < ntables && needed; ++t) {
      uint64_t n = std::min(needed, kPerSector), list[kPerSector];
      if (!read_table(tables[t], n, list)) return false;
      mark(tables[t], kSector);
      for (uint64_t i = 0; i < n; ++i)
        if (!add(f, list[i])) {
          bad_table = tables[t] * kSector;
          return false;
        }
      needed -= n;
    }
    return f.count > 0;
  }

 private:
  bool read_table(uint64_t sector, uint64_t n, uint64_t* out) {
    const uint8_t* p = sector ? cur_.get(sector * kSector, static_cast<size_t>(n * 4)) : nullptr;
    if (!p) return false;
    for (uint64_t i = 0; i < n; ++i) out[i] = le32(p + 4 * i);
    return true;
  }
  bool add(File& f, uint64_t sector) {
    if (sector == 0 || (sectors_ && sector >= sectors_)) return false;  // the header's own, or past the end
    if (f.count < kPerSector) f.sectors[f.count] = sector;
    ++f.count;
    mark(sector, f.sector_size);
    return true;
  }
  void mark(uint64_t sector, uint64_t size) { end = std::max(end, sector * kSector + size); }

  Cursor& cur_;
  const uint64_t sectors_;  // the file's length in sectors as the header states it; 0 = unknown
};

uint64_t file_offset(const File& f, uint64_t pos) {
  return f.sectors[pos / f.sector_size] * kSector + pos % f.sector_size;
}

// 32 bytes at pos of the file, which may straddle two of its sectors.
bool read_file(Cursor& cur, const File& f, uint64_t pos, uint8_t* out) {
  const uint64_t first = std::min<uint64_t>(32, f.sector_size - pos % f.sector_size);
  const uint8_t* a = cur.get(file_offset(f, pos), static_cast<size_t>(first));
  if (!a) return false;
  std::memcpy(out, a, static_cast<size_t>(first));  // before the next read moves the buffer
  if (first == 32) return true;
  const uint8_t* b = cur.get(file_offset(f, pos + first), static_cast<size_t>(32 - first));
  if (!b) return false;
  std::memcpy(out + first, b, static_cast<size_t>(32 - first));
  return true;
}

// Walks the timeline's chunks through its first sectors: each a GUID, a length of at
// least its own header, and a position inside the file; padding ends the walk.
bool timeline_ok(Cursor& cur, const File& f) {
  const uint64_t known = std::min<uint64_t>(f.count, kPerSector) * f.sector_size;
  const uint64_t end = std::min(f.length, known);
  for (uint64_t pos = 0, n = 0; pos + 32 <= end && n < (uint64_t(1) << 22); ++n) {
    uint8_t c[32];
    if (!read_file(cur, f, pos, c)) return !cur.within(file_offset(f, pos), 32);  // cut: judged by the caller
    bool zero = true;
    for (int i = 0; i < 16; ++i) zero = zero && c[i] == 0;
    if (zero) return true;
    const uint64_t len = le32(c + 16);
    if (len < 32 || len > end - pos) return false;
    pos += (len + 7) & ~uint64_t(7);
  }
  return true;
}

}  // namespace

bool probe_wtv(const uint8_t* h) {
  return std::memcmp(h, kWtv, 16) == 0 && std::memcmp(h + 16, kSub, 16) == 0 && le32(h + 0x28) == kSector &&
         le32(h + 0x2C) == kBigSector;
}

Carve measure_wtv(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  const uint8_t* h = cur.get(0, 0x60);
  if (!h || !probe_wtv(h)) return corrupt();
  const uint64_t root_size = le32(h + 0x30), root = le32(h + 0x38) * kSector;
  const uint64_t claims[] = {le32(h + 0x5C) * kSector, le32(h + 0x58) * kSector};
  if (root == 0 || root_size < 40 || root_size > kMaxRoot) return corrupt();
  if (!cur.within(root, root_size)) return make_carve(Verdict::truncated, cur.limit(), "wtv");
  Volume vol(cur, std::max(claims[0], claims[1]) / kSector);
  vol.end = root + ((root_size + kSector - 1) & ~(kSector - 1));
  bool timeline = false;
  for (uint64_t pos = root; root + root_size - pos >= 40;) {
    const uint8_t* e = cur.get(pos, 40);
    if (!e || std::memcmp(e, kDirEntry, 16) != 0) break;
    const uint64_t len = le16(e + 16), length = le64(e + 24), name = le32(e + 32) * 2;
    if (len < 40 + name || len > root + root_size - pos) return corrupt();
    if (!(length >> 62 & 1)) {  // not held in the entry itself
      const uint8_t* loc = len >= 48 + name ? cur.get(pos + 40 + name, 8) : nullptr;
      File f;
      if (!loc || !vol.open(le32(loc), le32(loc + 4), length, f))
        return vol.bad_table ? make_carve(Verdict::truncated, vol.bad_table, "wtv") : corrupt();
      const uint8_t* n = name >= sizeof kTimeline ? cur.get(pos + 40, sizeof kTimeline) : nullptr;
      if (n && name <= sizeof kTimeline + 8 && std::memcmp(n, kTimeline, sizeof kTimeline) == 0) {
        if (!timeline_ok(cur, f)) return make_carve(Verdict::truncated, f.sectors[0] * kSector, "wtv");
        timeline = true;
      }
    }
    pos += len;
  }
  if (!timeline) return corrupt();
  uint64_t end = vol.end;
  for (uint64_t claim : claims)
    if (claim >= vol.end && claim - vol.end < kBigSector * 4) {
      end = claim;
      break;
    }
  if (!cur.within(0, end)) return make_carve(Verdict::truncated, cur.limit(), "wtv");
  return make_carve(Verdict::complete, end, "wtv");
}

}  // namespace kes
