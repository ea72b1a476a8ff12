// What the engine knows of the medium's clusters besides their bytes: the ranges that
// carved files claim, the files that start at cluster starts (each measured once and
// shared by the scan and the fragment searches), and the chains the file system lists.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <vector>
#include "format.h"
#include "spliced_source.h"
#include "volume_layout.h"

namespace kes {

// Medium ranges that belong to files carved so far.
class Claims {
 public:
  void claim(uint64_t begin, uint64_t end);
  bool claimed(uint64_t off) const;
  // The first claimed byte in [begin, end), or UINT64_MAX.
  uint64_t first_claimed(uint64_t begin, uint64_t end) const;

 private:
  std::map<uint64_t, uint64_t> ranges_;  // begin -> end, disjoint
};

// What was measured at a cluster start: the first enabled format, in probing order and
// among the first kMaxHitsPerSector whose probes accept it, whose structure holds there
// (none: null), with its measure over contiguous bytes.
struct Measured {
  const Format* format = nullptr;
  Carve carve;
};

// Where the files found at cluster starts end, and their measures, shared by the scan
// and every search: each is a function of the medium alone, so who finds it first
// changes nothing, and a file is measured once even when the scan reaches it while a
// search measures it.
class FileEnds {
 public:
  // Where the bytes at `offset` stop being a continuation, when known; `measured` says
  // whether a measure (rather than put()) gave it.
  bool find(uint64_t offset, uint64_t* end, bool* measured) const;
  // A cluster that is no continuation up to `end` (zeroed, unreadable).
  void put(uint64_t offset, uint64_t end);
  // The measure at the cluster start `offset`: remembered, awaited while another thread
  // takes it, or taken here by `take()`.
  template <class Take>
  Measured measure(uint64_t offset, Take take) {
    Measured m;
    if (claim(offset, &m)) return m;
    m = take();
    settle(offset, m);
    return m;
  }

 private:
  struct Entry {
    uint64_t end = 0;
    enum : uint8_t { bound, measuring, measured } state = bound;
    Measured m;
  };
  bool claim(uint64_t offset, Measured* m);  // true with the measure; false: take it
  void settle(uint64_t offset, const Measured& m);
  void store(uint64_t offset, const Entry& e);
  void store_locked(uint64_t offset, const Entry& e);
  mutable std::mutex mutex_;
  std::condition_variable settled_;
  std::map<uint64_t, Entry> ends_;
};

// The first of `hits` whose structure holds at `offset`, measured over contiguous bytes.
Measured measure_hits(const Format* const* hits, size_t count, ByteSource& medium, uint64_t offset);
// The same for the formats whose probes accept `head`, the sector at `offset`.
Measured measure_at(const std::vector<const Format*>& formats, ByteSource& medium, uint64_t offset,
                    const uint8_t* head);

// The pieces of a file that the file system lists, from its cluster chain: runs of
// consecutive clusters (at most kMaxPieces of them, at most max_length bytes) from the
// cluster at `start`. One piece when the chain is contiguous or unknown.
Pieces listed_pieces(const VolumeLayout& layout, uint64_t start, uint64_t max_length);

}  // namespace kes
