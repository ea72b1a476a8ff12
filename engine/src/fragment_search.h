// The search for the later pieces of a file written in fragments. When a file's
// structure stops validating, the file most likely went on in another cluster: the
// search tries the cluster boundaries around the failure as break points (first those
// where the medium visibly goes on with something else), and the free clusters after
// the break as continuations, nearest first; it re-measures the file over each splice
// and keeps the one that validates furthest past it (the longest proper end first),
// piece after piece. What it cannot continue is cut at its last validated byte.
//
// Free means: not listed by the file system, not claimed by a file carved earlier, and
// not inside another file that starts at a cluster start on the way (but for the last
// clusters of one cut short, where it may have broken, and those of one whose structure
// does not check them). Zeroed clusters come last. A continuation's piece ends at its
// fence, the first cluster after it that is listed or where another file begins.
//
// A splice counts only as far as the structure tells it from noise: each candidate is
// set against a control, the same file with pseudo-random bytes after the splice. Data
// that no check reads (sound samples, pixel rows) validates as well over noise: it is
// taken from the nearest continuation alone, and only where fences or the structure
// further on say where the piece ends.
//
// Everything here is a function of the medium and of the claims, so the result does
// not depend on timing or threads.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>
#include "cluster_map.h"
#include "format.h"
#include "spliced_source.h"
#include "volume_layout.h"

namespace kes {

class IndexJoin;

class FragmentSearch {
 public:
  FragmentSearch(ByteSource& medium, const VolumeLayout& layout, const Claims& claims,
                 std::vector<const Format*> formats, FileEnds& ends);
  // The pieces of the file that `format` found at `start`, from its measure over
  // contiguous bytes (`carve`, which becomes the verdict over the pieces): cut where it
  // runs into claimed clusters, into clusters the file system lists or into another file
  // that starts inside it and runs on past its end; read along its chain when the file
  // system lists it; followed into its later pieces when it breaks there (unless not
  // to `follow`). No pieces when nothing holds.
  Pieces place(const Format& format, uint64_t start, Carve& carve, bool follow = true);
  // For a hit whose every measure failed over contiguous bytes: a listed file whose
  // chain holds one of `hits`, or a deleted one whose first piece is too short to hold
  // anything worth keeping but whose structure held some way (a corrupt carve with a
  // length, where a search starts). The format, with `carve`; null when neither.
  const Format* broken_start(const Format* const* hits, size_t count, uint64_t start, Carve& carve);
  // For a hit whose measures found neither a file nor a broken start: a deleted file
  // whose header points to a directory beyond its first piece (Format::directory_at),
  // over the free clusters that follow its start, as a file system fills the gaps
  // between other files. Its pieces, with `format` and `carve`, when its structure holds
  // over them whole; else none.
  Pieces relocated(const Format* const* hits, size_t count, uint64_t start, const Format** format, Carve& carve);

 private:
  // Follows the deleted file at `start` whose `carve` did not reach its proper end.
  Pieces follow(const Format& format, uint64_t start, uint64_t max_length, Carve& carve);

  struct Trial {
    Pieces pieces;
    Carve carve;
    uint64_t splice = 0;  // file offset where the last piece begins
    // The structure held up to the first cluster after the splice that cannot belong to
    // the file (listed, or where another file begins): as far as the continuation could
    // carry it.
    bool fenced = false;
  };

  bool next_piece(const Format& format, uint64_t max_length, Trial& t, std::unique_ptr<Splicer>& splicer);
  bool next_splice(const Format& format, uint64_t max_length, Trial& t, std::unique_ptr<Splicer>& splicer);
  // For a file whose index follows its data and lies past the break (Format::trailing_index):
  // whether it was joined whole to the pieces that end in its index. Else `found` (when
  // longer) becomes the pieces an index vouches for: up to the last cluster where it
  // found the file's frames, or below a break in doubt.
  bool indexed(const Format& format, uint64_t max_length, Trial& t, Trial& found);
  friend class IndexJoin;
  void cut_unchecked_tail(const Format& format, Trial& t);
  // Measures of a trial's file with noise after its splice, by splice and limit.
  using Controls = std::map<std::pair<uint64_t, uint64_t>, Carve>;
  Carve control(const Format& format, Splicer* splicer, const Trial& t, uint64_t limit, Controls& controls);
  Carve measure_trial(const Format& format, Splicer* splicer, const Trial& t, uint64_t limit,
                      uint64_t noise_from = UINT64_MAX, uint64_t noise_to = UINT64_MAX);
  // Whether no continuation can carry the trial further than its control (noise after
  // the splice) up to `limit`: the structure reads nothing there but a payload that noise
  // passes too (Splicer::unchecked_to), and noise does pass it. Remembered by break in
  // `known`.
  bool cannot_beat_noise(const Format& format, Splicer* splicer, const Trial& t, uint64_t limit, Controls& controls,
                         std::map<uint64_t, bool>& known);
  bool in_doubt(const Format& format, Splicer* splicer, const Trial& best, const Trial& prev, uint64_t limit);
  Trial moved(const Trial& t, const Trial& prev, int64_t clusters);
  bool bounded(const Format& format, Splicer* splicer, Trial& t, uint64_t most, Controls& controls);
  std::vector<uint64_t> break_points(const Trial& t) const;
  // What lies at a cluster start: a file that starts there (`found`, its measure over
  // contiguous bytes), a zeroed or unreadable cluster, or neither. `end` is where the
  // bytes stop being unusable as a continuation: the offset itself when the cluster may
  // continue a file.
  struct Occupant {
    uint64_t end = 0;
    bool zero = false;
    Measured found;
  };
  // Free clusters after `after`, nearest first, skipping files met on the way (but for
  // the last clusters of those cut short, where they may have broken); then the first
  // clusters of zeroed runs, which mostly hold nothing but may be a file's silence or
  // black rows. After the volume's last cluster they go on from its first, up to the
  // cluster where the file (of `format`) starts (`file_start`). Found as the search asks for them: most searches
  // settle on one of the first, and going past a file means measuring it.
  class Continuations {
   public:
    Continuations(FragmentSearch& search, const Format& format, uint64_t after, uint64_t file_start);
    // The i-th continuation; false past the last.
    bool at(size_t i, uint64_t* cluster);

   private:
    void step();
    // Clusters from the one at `at` on that the file found there holds, as far as they
    // are no continuation of this one's (1 when none is found there).
    uint64_t held_by(const Occupant& o, uint64_t at);
    FragmentSearch& search_;
    const Format& format_;
    std::vector<uint64_t> out_, zero_runs_;
    uint64_t c_ = 0, stop_ = 0, file_start_ = 0, visited_ = 0;
    size_t most_ = 0;
    bool zeroes_ = false;  // the cluster before c_ was zeroed
    bool done_ = false;
  };
  // The clusters from `first` on that no listed, claimed or other file holds (nor a
  // zeroed one, when `skip_zeroed`), in order, up to `want` bytes or kMaxPieces runs.
  Pieces free_clusters(uint64_t first, uint64_t want, bool skip_zeroed);
  // The first cluster start in (from, to) where a file of an enabled format begins that
  // runs on past `host_end`: the bytes there are not the host's (a file embedded in it,
  // a thumbnail, ends inside it), or one that ends inside it where the host, when its
  // format is given, places data that nothing checks. UINT64_MAX when none.
  uint64_t foreign_inside(uint64_t from, uint64_t to, uint64_t host_end, const Format* host = nullptr);
  bool usable(uint64_t cluster) const;
  // Whether the sector at the cluster start `at` probes as the start of a file of an
  // enabled format (remembered: the same clusters lie inside many candidates); false
  // with `readable` false where it cannot be read.
  bool probed(uint64_t at, bool& readable);
  // Whether the structure of the file that starts at `at` (measured `m` over contiguous
  // bytes) checks its bytes past its first cluster: with noise there it stops short.
  bool checks_its_clusters(uint64_t at, const Measured& m);
  // How far the file that starts at `at` (measured `m` over contiguous bytes) holds as
  // its splicer reads it from its start (Splicer::hold), remembered.
  uint64_t held_length(uint64_t at, const Measured& m);
  // Whether the cluster at `offset` holds something other than a continuation.
  bool ends_elsewhere(uint64_t offset);
  Occupant occupant(uint64_t offset);
  uint64_t foreign_end(uint64_t offset) { return occupant(offset).end; }
  // Measures the file over `t.pieces` up to `limit`, its last piece ending where the
  // continuation runs into a listed cluster or another file; sets t.carve and t.fenced.
  void evaluate(const Format& format, Splicer* splicer, Trial& t, uint64_t limit);
  // Bytes from the cluster start `at` to the first cluster the file system lists, at
  // most `most`. Claims do not end a run: a file carved wrongly before must not cut the
  // files it took clusters from.
  uint64_t unlisted_run(uint64_t at, uint64_t most) const;
  Pieces spliced(const Pieces& base, uint64_t at, uint64_t continuation) const;

  ByteSource& medium_;
  const VolumeLayout& layout_;
  const Claims& claims_;
  const std::vector<const Format*> formats_;
  FileEnds& ends_;
  uint64_t budget_ = 0;                   // bytes the current file's re-measures may still read
  Trial indexed_;                         // the current file's pieces as far as an index vouched for them
  bool index_looked_ = false;             // for the current file's index
  std::map<uint64_t, bool> checked_;      // by file start: checks_its_clusters()
  std::map<uint64_t, uint64_t> held_;     // by file start: held_length()
  std::unordered_map<uint64_t, bool> probed_;  // by cluster start: probed()
};

}  // namespace kes
