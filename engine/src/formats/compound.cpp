// Scene files of the 3D modelling program (max): OLE compound files whose directory
// holds the streams such scenes have ("Scene" with "Config", "DllDirectory",
// "ClassDirectory3", "VideoPostQueue", ...); other compound files, office documents
// among them, are not carved here. The file ends after the highest sector its FAT
// marks in use; the FAT is found through the header and the DIFAT chain, and its
// entries, the directory and every large stream's chain must be consistent with it.
#include <algorithm>
#include <cstring>
#include <vector>

#include "formats/cursor.h"
#include "formats/formats.h"

namespace kes {
namespace {

const uint8_t kMagic[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr uint32_t kEnd = 0xFFFFFFFE, kFree = 0xFFFFFFFF, kMaxRegular = 0xFFFFFFFA;
constexpr uint32_t kMaxFatSectors = 1u << 18;

class Compound {
 public:
  Compound(Cursor& cur, const uint8_t* h) : cur_(cur), shift_(h[0x1E]), size_(uint64_t(1) << shift_) {}

  // Collects the FAT's sectors from the header and the DIFAT chain.
  bool load_fat(const uint8_t* h) {
    const uint32_t count = le32(h + 0x2C), per = static_cast<uint32_t>(size_ / 4);
    if (count == 0 || count > kMaxFatSectors) return false;
    for (uint32_t i = 0; i < 109 && fat_.size() < count; ++i) fat_.push_back(le32(h + 0x4C + 4 * i));
    uint32_t difat = le32(h + 0x44), chain = le32(h + 0x48);
    for (uint32_t n = 0; fat_.size() < count; ++n) {
      if (n >= chain || difat >= kMaxRegular) return false;
      const uint8_t* d = sector(difat);
      if (!d) return false;
      for (uint32_t i = 0; i + 1 < per && fat_.size() < count; ++i) fat_.push_back(le32(d + 4 * i));
      mark(difat);
      difat = le32(d + size_ - 4);
    }
    entries_ = uint64_t(count) * per;
    for (uint32_t s : fat_)
      if (s >= entries_ || !sector(s)) return false;
    return true;
  }

  // Every FAT entry is a sector number or a marker; the highest one in use ends the file.
  bool scan_fat() {
    const uint32_t per = static_cast<uint32_t>(size_ / 4);
    for (size_t f = 0; f < fat_.size(); ++f) {
      const uint8_t* p = sector(fat_[f]);
      if (!p) return false;
      mark(fat_[f]);
      for (uint32_t i = 0; i < per; ++i) {
        uint32_t e = le32(p + 4 * i);
        if (e < kMaxRegular && e >= entries_) return false;
        if (e != kFree) mark(static_cast<uint32_t>(f * per + i));
      }
    }
    return true;
  }

  // Follows a chain from `first`; its length in sectors, or -1 when it loops, leaves the
  // table or does not end where it should.
  int64_t chain(uint32_t first) {
    int64_t n = 0;
    for (uint32_t s = first; s != kEnd; ++n) {
      if (s >= entries_ || ++steps_ > entries_ * 2 + 16) return -1;
      s = next(s);
      if (s == kFree) return -1;
    }
    return n;
  }

  // Reads the directory: its entries' shape, the streams' chains, the names found.
  bool read_directory(uint32_t first, uint32_t cutoff, uint32_t& names) {
    static const char* const kNames[] = {"Scene", "Config", "DllDirectory", "ClassDirectory3",
                                         "ClassDirectory2", "VideoPostQueue", "ClassData"};
    uint32_t s = first;
    for (uint64_t n = 0; s != kEnd; ++n) {
      if (s >= entries_ || n > entries_) return false;
      const uint8_t* d = sector(s);
      if (!d) return false;
      for (uint64_t e = 0; e < size_; e += 128) {
        const uint8_t* entry = d + e;
        const uint16_t len = le16(entry + 64);
        const uint8_t type = entry[66];
        if (type != 0 && type != 1 && type != 2 && type != 5) return false;
        if (len > 64 || len % 2 || (n == 0 && e == 0 && type != 5)) return false;
        if (type == 2 || type == 5) {
          const uint64_t bytes = le64(entry + 120) & (size_ == 512 ? 0xFFFFFFFFull : ~0ull);
          if ((type == 5 || bytes >= cutoff) && bytes > 0) {
            int64_t got = chain(le32(entry + 116));
            if (got < 0 || uint64_t(got) != (bytes + size_ - 1) / size_) return false;
          }
        }
        for (size_t k = 0; k < sizeof kNames / sizeof kNames[0]; ++k)
          if (type == 2 && name_is(entry, len, kNames[k])) names |= 1u << k;
      }
      s = next(s);
    }
    return true;
  }

  uint64_t end() const { return end_; }

 private:
  const uint8_t* sector(uint32_t s) { return cur_.get((uint64_t(s) + 1) * size_, static_cast<size_t>(size_)); }
  void mark(uint32_t s) { end_ = std::max(end_, (uint64_t(s) + 2) * size_); }

  uint32_t next(uint32_t s) {
    const uint32_t per = static_cast<uint32_t>(size_ / 4);
    const uint8_t* p = cur_.get((uint64_t(fat_[s / per]) + 1) * size_ + 4 * (s % per), 4);
    return p ? le32(p) : kFree;
  }

  static bool name_is(const uint8_t* entry, uint16_t len, const char* name) {
    const size_t n = std::strlen(name);
    if (len != 2 * (n + 1)) return false;
    for (size_t i = 0; i < n; ++i)
      if (entry[2 * i] != static_cast<uint8_t>(name[i]) || entry[2 * i + 1] != 0) return false;
    return true;
  }

  Cursor& cur_;
  const unsigned shift_;
  const uint64_t size_;
  std::vector<uint32_t> fat_;
  uint64_t entries_ = 0, steps_ = 0, end_ = 0;
};

}  // namespace

bool probe_max(const uint8_t* h) {
  const uint16_t major = le16(h + 0x1A);
  return std::memcmp(h, kMagic, 8) == 0 && le16(h + 0x1C) == 0xFFFE &&
         ((major == 3 && le16(h + 0x1E) == 9) || (major == 4 && le16(h + 0x1E) == 12)) && le16(h + 0x20) == 6 &&
         le32(h + 0x38) == 4096 && le32(h + 0x2C) > 0;
}

Carve measure_max(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  const uint8_t* p = cur.get(0, 512);
  if (!p || !probe_max(p)) return corrupt();
  uint8_t h[512];
  std::memcpy(h, p, sizeof h);
  Compound file(cur, h);
  uint32_t names = 0;
  if (!file.load_fat(h) || !file.scan_fat() || !file.read_directory(le32(h + 0x30), le32(h + 0x38), names))
    return corrupt();
  // The scene stream and at least two of the other streams a scene file has.
  if (!(names & 1) || __builtin_popcount(names & ~1u) < 2) return corrupt();
  if (le32(h + 0x40) && file.chain(le32(h + 0x3C)) != int64_t(le32(h + 0x40))) return corrupt();
  if (!cur.within(0, file.end())) return make_carve(Verdict::truncated, cur.limit(), "max");
  return make_carve(Verdict::complete, file.end(), "max");
}

}  // namespace kes
