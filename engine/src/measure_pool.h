// Worker threads that measure probe hits while the scan probes on: structure walks
// (a JPEG's entropy-coded data above all) cost far more than reading, and hits far
// apart are independent. Format measures must be safe to run on several threads.
// Which thread measures a hit, and when, never changes its verdict: a measure depends on
// the medium's bytes alone.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>
#include <memory>
#include "byte_source.h"
#include "format.h"
#include "fragment_search.h"

namespace kes {

// One sector whose bytes some formats' probes accepted, and the verdict on it.
struct Candidate : SectorHits {
  // Set by the measure: the first hit, in probing order, whose structure holds.
  const Format* format = nullptr;
  Carve carve;
  // On a volume of known layout, also where the file lies, found ahead without regard to
  // other files' claims (FragmentSearch::place), and the verdict over those pieces.
  bool placed_ahead = false;
  const Format* placed_format = nullptr;
  Pieces pieces;
  Carve placed;
  std::atomic<bool> done{false};
};

class MeasurePool {
 public:
  // With a layout (fixed for the pool's life), each hit is also placed; `formats` are
  // the enabled ones, for the files a search meets on its way, whose ends go to `ends`.
  MeasurePool(ByteSource& source, unsigned threads, const VolumeLayout* layout = nullptr,
              std::vector<const Format*> formats = {}, FileEnds* ends = nullptr);
  ~MeasurePool();
  MeasurePool(const MeasurePool&) = delete;
  MeasurePool& operator=(const MeasurePool&) = delete;

  void submit(Candidate* c);
  // Until `c` has been measured; the caller measures queued jobs meanwhile.
  void wait(Candidate* c);
  // Hits before `pos` lie inside a file already found: they are no longer measured.
  void covered_to(uint64_t pos) { covered_.store(pos); }

 private:
  void worker();
  void measure(Candidate& c, FragmentSearch* search);
  std::unique_ptr<FragmentSearch> make_search();

  ByteSource& source_;
  const VolumeLayout* layout_;
  const std::vector<const Format*> formats_;
  FileEnds* ends_;
  const Claims no_claims_;
  std::unique_ptr<FragmentSearch> caller_search_;  // for hits measured in wait()
  std::mutex mutex_;
  std::condition_variable work_, finished_;
  std::deque<Candidate*> jobs_;
  bool quit_ = false;
  std::atomic<uint64_t> covered_{0};
  std::vector<std::thread> threads_;
};

}  // namespace kes
