// The search for the later pieces of a file written in fragments. When a file's
// structure stops validating, the file most likely went on in another cluster: the
// search tries the cluster boundaries around the failure as break points (first those
// where the medium visibly goes on with something else), and the free clusters after
// the break as continuations, nearest first; it re-measures the file over each splice
// and keeps the one that validates furthest past it (the longest proper end first),
// piece after piece. What it cannot continue is cut at its last validated byte.
//
// Free means: not listed by the file system, not claimed by a file carved earlier,
// not inside another file that starts at a cluster start on the way (those are measured
// once and remembered), and not a zeroed cluster. Everything here is a function of the
// medium and of the claims, so the result does not depend on timing or threads.
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
  // Where the bytes at `offset` stop being a continuation, when known.
  bool find(uint64_t offset, uint64_t* end) const;
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

class FragmentSearch {
 public:
  FragmentSearch(ByteSource& medium, const VolumeLayout& layout, const Claims& claims,
                 std::vector<const Format*> formats, FileEnds& ends);
  // The pieces of the file that `format` found at `start`, from its measure over
  // contiguous bytes (`carve`, which becomes the verdict over the pieces): cut where it
  // runs into claimed clusters or into clusters the file system lists, read along its
  // chain when the file system lists it, followed into its later pieces when it breaks
  // there. No pieces when nothing holds.
  Pieces place(const Format& format, uint64_t start, Carve& carve);
  // For a hit whose every measure failed over contiguous bytes: a listed file whose
  // chain holds one of `hits`, or a deleted one whose first piece is too short to hold
  // anything worth keeping but whose structure held some way (a corrupt carve with a
  // length, where a search starts). The format, with `carve`; null when neither.
  const Format* broken_start(const Format* const* hits, size_t count, uint64_t start, Carve& carve);

 private:
  // Follows the deleted file at `start` whose `carve` did not reach its proper end.
  Pieces follow(const Format& format, uint64_t start, uint64_t max_length, Carve& carve);

  struct Trial {
    Pieces pieces;
    Carve carve;
    uint64_t splice = 0;  // file offset where the last piece begins
    // The structure held up to the first cluster after the splice that cannot belong to
    // the file (listed or claimed): as far as the continuation could carry it.
    bool fenced = false;
  };

  bool next_piece(const Format& format, uint64_t max_length, Trial& t);
  std::vector<uint64_t> break_points(const Trial& t) const;
  std::vector<uint64_t> continuations(uint64_t after) ;
  bool usable(uint64_t cluster) const;
  // Whether the cluster at `offset` holds something other than a continuation.
  bool ends_elsewhere(uint64_t offset);
  uint64_t foreign_end(uint64_t offset);
  // Measures the file over `t.pieces` up to `limit`, its last piece ending where the
  // continuation runs into a cluster it cannot hold; sets t.carve and t.fenced.
  void evaluate(const Format& format, Splicer* splicer, Trial& t, uint64_t limit);
  // Bytes from the cluster start `at` to the first listed or claimed cluster, at most `most`.
  uint64_t free_run(uint64_t at, uint64_t most) const;
  Pieces spliced(const Pieces& base, uint64_t at, uint64_t continuation) const;

  ByteSource& medium_;
  const VolumeLayout& layout_;
  const Claims& claims_;
  const std::vector<const Format*> formats_;
  FileEnds& ends_;
  uint64_t budget_ = 0;                   // bytes the current file's re-measures may still read
};

}  // namespace kes
