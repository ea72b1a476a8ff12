// The scan: one pass over the medium, every enabled format probed at every sector
// boundary, each hit measured and, when it holds, handed to the writer. A thread of its
// own probes the chunks as the reader brings them in (prober.h), worker threads measure
// the hits, all ahead of the verdicts within the read window; the verdicts are taken in
// the order of the medium, so the result is that of a plain front-to-back scan: after a
// carved file the scan goes on at its end (the hits inside it are dropped), after a
// corrupt hit at the next sector.
//
// On a volume whose layout is known, a deleted file whose structure stops validating is
// followed into its later pieces (fragment_search.h): the measures do it ahead, without
// regard to other files, and the verdict in medium order keeps their pieces unless they
// touch clusters claimed since by earlier files, when the search runs again with those
// claims. The clusters of a carved file's later pieces are claimed, so that hits inside
// them are not taken for new files and no later file is glued from them. A card
// formatted anew with another grid keeps its deleted files on the old one: the files
// found off the current grid tell it, and those on it are followed along it.
#pragma once
#include <atomic>
#include <deque>
#include <memory>
#include <vector>
#include "carve_writer.h"
#include "chunk_stream.h"
#include "format.h"
#include "fragment_search.h"
#include "measure_pool.h"
#include "prober.h"
#include "volume_layout.h"

namespace kes {

class Scanner {
 public:
  Scanner(ChunkStream& stream, std::vector<const Format*> formats, CarveWriter& writer, Progress& progress,
          const std::atomic<bool>& stop, unsigned measure_threads);
  // Runs to the end of the medium, a stop request or a write failure; true when the
  // whole medium was scanned.
  bool run();
  const VolumeLayout& layout() const { return layout_; }
  // The grid of files from before the volume was formatted anew with another one, when
  // the files found off the current grid tell it.
  const VolumeLayout& old_layout() const { return old_layout_; }
  uint64_t fragmented_files() const { return fragmented_; }

 private:
  // Whether probing may go on at pos_: within the window the chunks are held for, and
  // with room for more hits.
  bool room_ahead() const;
  // Queues the probe hits from pos_ on as far as there is room.
  void queue_ahead();
  // Queues the probe hits of one chunk from pos_ on.
  void queue_hits(const ChunkHits& chunk);
  // Takes the verdict on the oldest hit, carving it when it holds.
  void resolve_oldest();
  void hold_from_oldest();
  bool overlaps_claims(const Pieces& pieces) const;
  bool emit(const Format& format, const Carve& carve, const Pieces& pieces);
  void remember_start(uint64_t start);
  // Whether `pos` lies in the data area off the current grid.
  bool off_grid(uint64_t pos) const;
  // Whether the file at `pos` lies on the old grid rather than on the current one.
  bool on_old_grid(uint64_t pos) const;
  void remember_cut(const Candidate& c, uint64_t written, bool held);
  void follow_unfollowed(bool old_grid);
  // Whether more of the files found lie off the current grid than on it while no old
  // grid is known: a deleted file on it may lie on an old grid instead.
  bool grid_in_doubt() const;
  // Claims the clusters of the grid that a carved file's later pieces lie in.
  void claim_later_pieces(const Pieces& pieces, const VolumeLayout& grid);
  bool halted() const { return stop_.load() || writer_.failed(); }

  ChunkStream& stream_;
  StreamSource source_;
  std::vector<const Format*> formats_;
  CarveWriter& writer_;
  Progress& progress_;
  const std::atomic<bool>& stop_;
  // Read before the measures start; replaced only while unknown, by a guess from the
  // files found (the measures then place nothing ahead).
  VolumeLayout layout_;
  FileEnds file_ends_;  // of the files found at cluster starts, for the searches
  MeasurePool pool_;
  Prober prober_;
  std::deque<std::unique_ptr<Candidate>> pending_;
  uint64_t pos_ = 0;       // next sector to probe
  uint64_t skip_end_ = 0;  // end of the last carved file's first piece: hits before it are inside it
  Claims claims_;            // the later pieces of carved files
  FragmentSearch search_;
  // Starts of carved files while the layout is guessed from them, then of those off its
  // grid while the old grid is.
  std::vector<uint64_t> starts_;
  // The old grid, with a search of its own (a card formatted on a computer may get
  // another cluster size and data area than its camera gave it).
  VolumeLayout old_layout_;
  FileEnds old_ends_;
  FragmentSearch old_search_;
  struct Unfollowed {  // a deleted file written cut short, while the old grid is unknown
    uint64_t pos;
    const Format* format;
    Carve carve;  // its measure over contiguous bytes
    uint64_t written;
    bool held;  // not followed: the current grid was in doubt
  };
  std::vector<Unfollowed> unfollowed_;
  uint64_t fragmented_ = 0;
  uint64_t on_grid_files_ = 0, off_grid_files_ = 0;  // carved in the data area
};

}  // namespace kes
