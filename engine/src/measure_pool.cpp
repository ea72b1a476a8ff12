#include "measure_pool.h"

#include <algorithm>

namespace kes {

MeasurePool::MeasurePool(ByteSource& source, unsigned threads, const VolumeLayout* layout,
                         std::vector<const Format*> formats, FileEnds* ends)
    : source_(source), layout_(layout), formats_(std::move(formats)), ends_(ends), caller_search_(make_search()) {
  for (unsigned i = 0; i < std::max(1u, threads); ++i) threads_.emplace_back([this] { worker(); });
}

// Each thread searches on its own, sharing what is known of the files met on the way.
std::unique_ptr<FragmentSearch> MeasurePool::make_search() {
  if (!layout_ || !ends_) return nullptr;
  return std::unique_ptr<FragmentSearch>(new FragmentSearch(source_, *layout_, no_claims_, formats_, *ends_));
}

MeasurePool::~MeasurePool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  work_.notify_all();
  for (std::thread& t : threads_) t.join();
}

void MeasurePool::submit(Candidate* c) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    jobs_.push_back(c);
  }
  work_.notify_one();
}

void MeasurePool::wait(Candidate* c) {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!c->done.load()) {
    // A waited-for job still queued is measured here rather than waited for; while a
    // worker measures it, the waiting thread takes on the next queued job.
    auto queued = std::find(jobs_.begin(), jobs_.end(), c);
    Candidate* job = queued != jobs_.end() ? *queued : jobs_.empty() ? nullptr : jobs_.front();
    if (!job) {
      finished_.wait(lock, [&] { return c->done.load() || !jobs_.empty(); });
      continue;
    }
    jobs_.erase(job == c ? queued : jobs_.begin());
    lock.unlock();
    measure(*job, caller_search_.get());
    lock.lock();
    finished_.notify_all();
  }
}

void MeasurePool::worker() {
  std::unique_ptr<FragmentSearch> search = make_search();
  for (;;) {
    Candidate* c;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      work_.wait(lock, [&] { return quit_ || !jobs_.empty(); });
      if (jobs_.empty()) return;
      c = jobs_.front();
      jobs_.pop_front();
    }
    measure(*c, search.get());
    std::lock_guard<std::mutex> lock(mutex_);
    finished_.notify_all();
  }
}

void MeasurePool::measure(Candidate& c, FragmentSearch* search) {
  // A stream's packets or frames line up with sectors all through it: such hits inside a
  // file already found would each walk to its end again.
  if (c.pos < covered_.load()) {
    c.done = true;
    return;
  }
  // A file at a cluster start is measured once, by the scan or by a search that met it.
  auto take = [&] { return measure_hits(c.hits, c.count, source_, c.pos); };
  const Measured m = search && layout_->at_cluster_start(c.pos) ? ends_->measure(c.pos, take) : take();
  c.format = m.format;
  c.carve = m.carve;
  if (search) {
    c.placed = c.carve;
    c.placed_format = c.format ? c.format : search->broken_start(c.hits, c.count, c.pos, c.placed);
    if (c.placed_format) c.pieces = search->place(*c.placed_format, c.pos, c.placed);
    c.placed_ahead = true;
  }
  c.done = true;
}

}  // namespace kes
