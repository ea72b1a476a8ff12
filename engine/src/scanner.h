// The scan: one pass over the medium, every enabled format probed at every sector
// boundary, each hit measured and, when it holds, handed to the writer. Probing runs
// ahead of the verdicts within the read window while worker threads measure the hits;
// the verdicts are taken in the order of the medium, so the result is that of a plain
// front-to-back scan: after a carved file the scan goes on at its end (the hits inside
// it are dropped), after a corrupt hit at the next sector.
#pragma once
#include <atomic>
#include <deque>
#include <memory>
#include <vector>
#include "carve_writer.h"
#include "chunk_stream.h"
#include "format.h"
#include "measure_pool.h"

namespace kes {

class Scanner {
 public:
  Scanner(ChunkStream& stream, std::vector<const Format*> formats, CarveWriter& writer, Progress& progress,
          const std::atomic<bool>& stop, unsigned measure_threads);
  // Runs to the end of the medium, a stop request or a write failure; true when the
  // whole medium was scanned.
  bool run();

 private:
  // Probes the sectors of one chunk from pos_ on, queueing the hits.
  void probe_chunk(const Chunk& chunk);
  // Takes the verdict on the oldest hit, carving it when it holds.
  void resolve_oldest();
  void hold_from_oldest();
  bool emit(const Format& format, const Carve& carve, uint64_t start);
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
  uint64_t skip_end_ = 0;  // end of the last carved file: hits before it are inside it
};

}  // namespace kes
