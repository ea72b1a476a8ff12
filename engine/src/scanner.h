// The scan: one pass over the medium, every enabled format probed at every sector
// boundary, each hit measured and, when it holds, handed to the writer. Probing runs
// ahead of the verdicts within the read window while worker threads measure the hits;
// the verdicts are taken in the order of the medium, so the result is that of a plain
// front-to-back scan: after a carved file the scan goes on at its end (the hits inside
// it are dropped), after a corrupt hit at the next sector.
//
// On a volume whose layout is known, a deleted file whose structure stops validating is
// followed into its later pieces (fragment_search.h), taken in medium order like the
// verdicts; the clusters of those pieces are claimed, so that hits inside them are not
// taken for new files and no later file is glued from them.
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
  uint64_t fragmented_files() const { return fragmented_; }

 private:
  // Probes the sectors of one chunk from pos_ on, queueing the hits.
  void probe_chunk(const Chunk& chunk);
  // Takes the verdict on the oldest hit, carving it when it holds.
  void resolve_oldest();
  void hold_from_oldest();
  // The pieces of the file a hit holds: cut where it runs into claimed clusters or into
  // clusters the file system lists, and followed into its later pieces when it breaks.
  Pieces place(const Format& format, uint64_t start, Carve& carve);
  const Format* broken_start(const Candidate& c, Carve& carve);
  bool emit(const Format& format, const Carve& carve, const Pieces& pieces);
  void remember_start(uint64_t start);
  bool halted() const { return stop_.load() || writer_.failed(); }

  ChunkStream& stream_;
  StreamSource source_;
  std::vector<const Format*> formats_;
  CarveWriter& writer_;
  Progress& progress_;
  const std::atomic<bool>& stop_;
  MeasurePool pool_;
  std::deque<std::unique_ptr<Candidate>> pending_;
  uint64_t pos_ = 0;       // next sector to probe
  uint64_t skip_end_ = 0;  // end of the last carved file's first piece: hits before it are inside it
  VolumeLayout layout_;
  Claims claims_;            // the later pieces of carved files
  FragmentSearch search_;
  std::vector<uint64_t> starts_;  // of carved files, while the layout is guessed from them
  uint64_t fragmented_ = 0;
};

}  // namespace kes
