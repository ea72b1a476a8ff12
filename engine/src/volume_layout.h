// Where a volume's clusters lie, and which of them the file system still uses: read
// from a FAT12/16/32 or exFAT boot sector (at the medium's start or at the start of an
// MBR partition), or guessed from where carved files start. A deleted file that was
// written in pieces sits in whole clusters, so the search for its later pieces steps
// through clusters and never takes one that a listed file holds.
#pragma once
#include <cstdint>
#include <vector>
#include "byte_source.h"

namespace kes {

class VolumeLayout {
 public:
  // No layout: cluster_bytes() is 0 and no cluster is taken.
  VolumeLayout() = default;
  VolumeLayout(const char* kind, uint64_t data_start, uint64_t cluster_bytes, uint64_t clusters);

  bool known() const { return cluster_bytes_ != 0; }
  const char* kind() const { return kind_; }
  uint64_t data_start() const { return data_start_; }  // medium offset of the first cluster
  uint64_t cluster_bytes() const { return cluster_bytes_; }
  uint64_t clusters() const { return clusters_; }
  bool has_allocation() const { return !taken_.empty(); }

  // The cluster holding medium offset `off`, or UINT64_MAX outside the data area.
  uint64_t cluster_at(uint64_t off) const;
  uint64_t cluster_offset(uint64_t cluster) const { return data_start_ + cluster * cluster_bytes_; }
  // Whether `off` is the first byte of a cluster.
  bool at_cluster_start(uint64_t off) const;
  // Whether the file system still lists the cluster as used by a file.
  bool taken(uint64_t cluster) const {
    return cluster < clusters_ && !taken_.empty() && (taken_[cluster >> 3] >> (cluster & 7) & 1);
  }
  void set_taken(uint64_t cluster);
  // The cluster after `cluster` in its file's chain, UINT64_MAX at the chain's end or
  // when unknown (no table kept, or a contiguous exFAT file that has no chain).
  uint64_t next(uint64_t cluster) const {
    return cluster < next_.size() && next_[cluster] < clusters_ ? next_[cluster] : UINT64_MAX;
  }
  void set_next(uint64_t cluster, uint64_t next);

 private:
  const char* kind_ = "";
  uint64_t data_start_ = 0;
  uint64_t cluster_bytes_ = 0;
  uint64_t clusters_ = 0;
  std::vector<uint8_t> taken_;  // one bit per cluster, sized on the first set_taken
  std::vector<uint32_t> next_;  // the allocation table, kept for volumes of modest size
};

// The layout of the volume on `src`, with its allocation; an unknown layout when there is
// no FAT or exFAT boot sector at the start or at an MBR partition's start.
VolumeLayout read_volume_layout(ByteSource& src);

// A layout guessed from the starts of files found on a medium without a readable boot
// sector: the largest power-of-two unit (at least a sector) at which nearly all of them
// start with one offset. Unknown until enough starts agree.
VolumeLayout layout_from_starts(const std::vector<uint64_t>& starts, uint64_t medium_size);

}  // namespace kes
