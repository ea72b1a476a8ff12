#include "measure_pool.h"

#include <algorithm>

namespace kes {

MeasurePool::MeasurePool(ByteSource& source, unsigned threads) : source_(source) {
  for (unsigned i = 0; i < std::max(1u, threads); ++i) threads_.emplace_back([this] { worker(); });
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
    measure(*job);
    lock.lock();
    finished_.notify_all();
  }
}

void MeasurePool::worker() {
  for (;;) {
    Candidate* c;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      work_.wait(lock, [&] { return quit_ || !jobs_.empty(); });
      if (jobs_.empty()) return;
      c = jobs_.front();
      jobs_.pop_front();
    }
    measure(*c);
    std::lock_guard<std::mutex> lock(mutex_);
    finished_.notify_all();
  }
}

void MeasurePool::measure(Candidate& c) {
  // A stream's packets or frames line up with sectors all through it: such hits inside a
  // file already found would each walk to its end again.
  if (c.pos < covered_.load()) {
    c.done = true;
    return;
  }
  for (size_t i = 0; i < c.hit_count; ++i) {
    const Format& f = *c.hits[i];
    const uint64_t most = std::min(f.max_length, c.left);
    Carve carve = f.measure(source_, c.pos, most);
    if (carve.verdict == Verdict::corrupt || carve.length == 0) continue;
    carve.length = std::min(carve.length, most);
    c.carve = carve;
    c.format = &f;
    break;
  }
  c.done = true;
}

}  // namespace kes
