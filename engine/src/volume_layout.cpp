#include "volume_layout.h"

#include <algorithm>
#include <cstring>
#include <map>
#include "formats/cursor.h"

namespace kes {
namespace {

constexpr uint64_t kMaxClusters = uint64_t(1) << 28;  // 32 MiB of allocation bits at most
constexpr uint64_t kMaxChained = uint64_t(1) << 22;   // 16 MiB of chain links at most
constexpr size_t kReadBytes = 1u << 20;               // FAT and bitmap are read in pieces this size
constexpr int kMaxPartitions = 4;

bool read_exact(ByteSource& src, uint64_t off, void* dst, size_t n) { return src.read_at(off, dst, n) == n; }

bool power_of_two(uint64_t v) { return v && !(v & (v - 1)); }

// Calls `visit(index, bytes, n)` over [off, off + len) of the medium in bounded reads;
// false when any of it is unreadable.
template <typename Visit>
bool read_span(ByteSource& src, uint64_t off, uint64_t len, Visit visit) {
  std::vector<uint8_t> buf(static_cast<size_t>(std::min<uint64_t>(len, kReadBytes)));
  for (uint64_t done = 0; done < len;) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(buf.size(), len - done));
    if (!read_exact(src, off + done, buf.data(), n)) return false;
    visit(done, buf.data(), n);
    done += n;
  }
  return true;
}

// FAT12/16/32: the geometry from the BIOS parameter block, the allocation from the
// first FAT (any non-zero entry is a used, reserved or bad cluster).
VolumeLayout fat_layout(ByteSource& src, uint64_t base, const uint8_t* b) {
  const uint32_t sector = le16(b + 11), per_cluster = b[13], reserved = le16(b + 14), fats = b[16];
  const uint32_t root_entries = le16(b + 17);
  const uint64_t total = le16(b + 19) ? le16(b + 19) : le32(b + 32);
  const uint64_t fat_sectors = le16(b + 22) ? le16(b + 22) : le32(b + 36);
  if (!(sector == 512 || sector == 1024 || sector == 2048 || sector == 4096) || !power_of_two(per_cluster) ||
      reserved == 0 || fats == 0 || fats > 4 || fat_sectors == 0 || b[510] != 0x55 || b[511] != 0xAA)
    return {};
  const uint64_t root_sectors = (uint64_t(root_entries) * 32 + sector - 1) / sector;
  const uint64_t first_data = reserved + fats * fat_sectors + root_sectors;
  if (total <= first_data) return {};
  const uint64_t clusters = (total - first_data) / per_cluster;
  if (clusters == 0 || clusters > kMaxClusters) return {};
  const int bits = clusters < 4085 ? 12 : clusters < 65525 ? 16 : 32;
  if (bits == 32 && root_entries != 0) return {};
  VolumeLayout layout(bits == 12 ? "FAT12" : bits == 16 ? "FAT16" : "FAT32", base + first_data * sector,
                      uint64_t(per_cluster) * sector, clusters);
  const uint64_t fat_bytes = std::min<uint64_t>(fat_sectors * sector, ((clusters + 2) * bits + 7) / 8);
  auto note = [&](uint64_t entry, uint32_t v) {
    if (entry < 2 || entry - 2 >= clusters) return;
    if (v) layout.set_taken(entry - 2);
    if (v >= 2) layout.set_next(entry - 2, v - 2);
  };
  const uint64_t fat_at = base + uint64_t(reserved) * sector;
  if (bits == 12) {  // entries straddle bytes: the table (a few KiB at most) is read whole
    std::vector<uint8_t> fat(static_cast<size_t>(fat_bytes));
    if (!read_exact(src, fat_at, fat.data(), fat.size())) return layout;  // geometry without allocation
    for (uint64_t e = 2; e * 3 / 2 + 1 < fat.size(); ++e) {
      const size_t at = static_cast<size_t>(e * 3 / 2);
      const uint32_t pair = fat[at] | fat[at + 1] << 8;
      note(e, e & 1 ? pair >> 4 : pair & 0xFFF);
    }
    return layout;
  }
  // FAT16 and FAT32 in bounded pieces, each a whole number of entries.
  const size_t width = bits / 8;
  read_span(src, fat_at, fat_bytes, [&](uint64_t at, const uint8_t* p, size_t n) {
    for (size_t i = 0; i + width <= n; i += width)
      note((at + i) / width, bits == 16 ? le16(p + i) : le32(p + i) & 0x0FFFFFFF);
  });
  return layout;
}

// exFAT: the geometry from the boot sector, the allocation from the bitmap that the root
// directory lists (its clusters followed through the FAT, or contiguous when unchained).
VolumeLayout exfat_layout(ByteSource& src, uint64_t base, const uint8_t* b) {
  const int sector_shift = b[108], cluster_shift = b[109];
  if (sector_shift < 9 || sector_shift > 12 || cluster_shift > 25 - sector_shift) return {};
  const uint64_t sector = uint64_t(1) << sector_shift;
  const uint64_t cluster_bytes = sector << cluster_shift;
  const uint64_t fat_at = base + uint64_t(le32(b + 80)) * sector, heap = base + uint64_t(le32(b + 88)) * sector;
  const uint64_t clusters = le32(b + 92), root = le32(b + 96);
  if (clusters == 0 || clusters > kMaxClusters || root < 2 || root - 2 >= clusters) return {};
  VolumeLayout layout("exFAT", heap, cluster_bytes, clusters);
  auto next_cluster = [&](uint64_t c) -> uint64_t {
    uint8_t e[4];
    if (!read_exact(src, fat_at + c * 4, e, 4)) return 0;
    return le32(e);
  };
  // The root directory's first clusters, for the bitmap's entry.
  std::vector<uint8_t> dir(static_cast<size_t>(std::min<uint64_t>(cluster_bytes, 64 * 1024)));
  uint64_t bitmap_cluster = 0, bitmap_bytes = 0;
  for (uint64_t c = root, hops = 0; c >= 2 && c - 2 < clusters && hops < 16 && !bitmap_cluster; ++hops) {
    if (!read_exact(src, layout.cluster_offset(c - 2), dir.data(), dir.size())) break;
    for (size_t e = 0; e + 32 <= dir.size(); e += 32)
      if (dir[e] == 0x81 && !(dir[e + 1] & 1)) {  // the first FAT's bitmap
        bitmap_cluster = le32(&dir[e + 20]);
        bitmap_bytes = le64(&dir[e + 24]);
        break;
      }
    c = next_cluster(c);
  }
  if (bitmap_cluster < 2 || bitmap_bytes < (clusters + 7) / 8) return layout;
  if (clusters <= kMaxChained)  // the chains of fragmented files; contiguous ones have none
    read_span(src, fat_at + 8, clusters * 4, [&](uint64_t at, const uint8_t* p, size_t n) {
      for (size_t i = 0; i + 4 <= n; i += 4)
        if (le32(p + i) >= 2) layout.set_next((at + i) / 4, le32(p + i) - 2);
    });
  bitmap_bytes = (clusters + 7) / 8;
  uint64_t c = bitmap_cluster;
  for (uint64_t done = 0; done < bitmap_bytes && c >= 2 && c - 2 < clusters;) {
    const uint64_t n = std::min(cluster_bytes, bitmap_bytes - done);
    bool ok = read_span(src, layout.cluster_offset(c - 2), n, [&](uint64_t at, const uint8_t* p, size_t len) {
      for (size_t i = 0; i < len; ++i)
        for (int bit = 0; bit < 8; ++bit)
          if (p[i] >> bit & 1) layout.set_taken((done + at + i) * 8 + bit);
    });
    if (!ok) break;
    done += n;
    const uint64_t next = next_cluster(c);
    c = next >= 2 && next < 0xFFFFFFF7u ? next : c + 1;  // no chain: the bitmap is contiguous
  }
  return layout;
}

VolumeLayout layout_at(ByteSource& src, uint64_t base) {
  uint8_t b[512];
  if (!read_exact(src, base, b, sizeof b)) return {};
  if (std::memcmp(b + 3, "EXFAT   ", 8) == 0) return exfat_layout(src, base, b);
  if (b[0] == 0xEB || b[0] == 0xE9) return fat_layout(src, base, b);
  return {};
}

}  // namespace

VolumeLayout::VolumeLayout(const char* kind, uint64_t data_start, uint64_t cluster_bytes, uint64_t clusters)
    : kind_(kind), data_start_(data_start), cluster_bytes_(cluster_bytes), clusters_(clusters) {}

uint64_t VolumeLayout::cluster_at(uint64_t off) const {
  if (!known() || off < data_start_) return UINT64_MAX;
  const uint64_t c = (off - data_start_) / cluster_bytes_;
  return c < clusters_ ? c : UINT64_MAX;
}

bool VolumeLayout::at_cluster_start(uint64_t off) const {
  return known() && off >= data_start_ && (off - data_start_) % cluster_bytes_ == 0;
}

void VolumeLayout::set_taken(uint64_t cluster) {
  if (cluster >= clusters_) return;
  if (taken_.empty()) taken_.assign(static_cast<size_t>((clusters_ + 7) / 8), 0);
  taken_[static_cast<size_t>(cluster >> 3)] |= static_cast<uint8_t>(1u << (cluster & 7));
}

void VolumeLayout::set_next(uint64_t cluster, uint64_t next) {
  if (cluster >= clusters_ || clusters_ > kMaxChained || next >= clusters_) return;
  if (next_.empty()) next_.assign(static_cast<size_t>(clusters_), UINT32_MAX);
  next_[static_cast<size_t>(cluster)] = static_cast<uint32_t>(next);
}

VolumeLayout read_volume_layout(ByteSource& src) {
  VolumeLayout direct = layout_at(src, 0);
  if (direct.known()) return direct;
  uint8_t mbr[512];
  if (!read_exact(src, 0, mbr, sizeof mbr) || mbr[510] != 0x55 || mbr[511] != 0xAA) return {};
  for (int i = 0; i < kMaxPartitions; ++i) {
    const uint8_t* e = mbr + 446 + 16 * i;
    const uint64_t first = le32(e + 8);
    if (e[4] == 0 || first == 0) continue;
    VolumeLayout part = layout_at(src, first * 512);
    if (part.known()) return part;
  }
  return {};
}

VolumeLayout layout_from_starts(const std::vector<uint64_t>& starts, uint64_t medium_size) {
  constexpr size_t kEnough = 12;
  if (starts.size() < kEnough) return {};
  for (uint64_t unit = uint64_t(1) << 20; unit > 512; unit >>= 1) {
    std::map<uint64_t, size_t> offsets;  // start modulo unit -> files
    for (uint64_t s : starts) ++offsets[s % unit];
    auto best = std::max_element(offsets.begin(), offsets.end(),
                                 [](const auto& a, const auto& b) { return a.second < b.second; });
    // Nearly all: a file or two may be an embedded copy or a chance hit in between.
    if (best->second * 10 >= starts.size() * 9)
      return VolumeLayout("guessed", best->first, unit, (medium_size - best->first) / unit);
  }
  return {};
}

}  // namespace kes
