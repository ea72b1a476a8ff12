// The owner's side of a scan: its states, and what the user interface thread asks of it.
#include "session/scan_job.h"

#include "session/engine_pipe.h"

ScanJob::ScanJob() : launch_(launch, this) {}

// An ended scan's thread may still be on its last lines, past the lock.
ScanJob::~ScanJob() {
  stop();
  launch_.wait(INFINITE);
  if (stop_event_) CloseHandle(stop_event_);
}

int ScanJob::launch(void* job) {
  ScanJob& self = *static_cast<ScanJob*>(job);
  const int outcome = self.engine_launch_thread();
  std::lock_guard<std::mutex> hold(self.lock_);
  self.kill_engine();  // no engine outlives its scan: one still there has nothing more to say
  self.release_engine();
  close_engine_pipe(self.pipe_);
  self.outcome_ = self.block_.stop ? kScanStopped : outcome;
  self.phase_ = ScanState::ended;
  return self.outcome_;
}

bool ScanJob::under_way() const {
  return phase_ == ScanState::starting || phase_ == ScanState::running || phase_ == ScanState::stopping;
}

bool ScanJob::stopping() const {
  std::lock_guard<std::mutex> hold(lock_);
  return block_.stop != 0;
}

// A scan restarted with the block of an earlier one starts from a clean block: the
// handles of that one were closed when it ended.
bool ScanJob::start(const ScanRequest& request) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (under_way()) return false;
  }
  launch_.wait(INFINITE);  // an ended scan's thread may still be on its last lines
  launch_.close_handle();
  std::lock_guard<std::mutex> hold(lock_);
  close_engine_pipe(pipe_);
  block_ = ScanSession();
  block_.request = request;
  block_.request.cache_folder[sizeof block_.request.cache_folder - 1] = '\0';
  block_.request.volume[sizeof block_.request.volume - 1] = '\0';
  // Without a pipe the launch thread ends at once, failed; without the event a stop ends
  // the engine by force.
  pipe_ = create_engine_pipe();
  if (!stop_event_) stop_event_ = CreateEventW(nullptr, TRUE, FALSE, kestrune::kStopEventNameW);
  if (stop_event_) ResetEvent(stop_event_);
  block_.pipe = &pipe_;
  engine_id_ = 0;
  ++scan_;
  phase_ = ScanState::starting;
  if (launch_.start() == 0) return true;
  close_engine_pipe(pipe_);
  phase_ = ScanState::ended;
  outcome_ = kScanFailed;
  return false;
}

bool ScanJob::restart() {
  ScanRequest request;
  {
    std::lock_guard<std::mutex> hold(lock_);
    request = block_.request;
  }
  return start(request);
}

void ScanJob::pause() {
  std::lock_guard<std::mutex> hold(lock_);
  if (block_.pause || (phase_ != ScanState::starting && phase_ != ScanState::running)) return;
  block_.pause = 1;
  if (block_.thread) SuspendThread(block_.thread);
}

void ScanJob::resume() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (!block_.pause) return;
    block_.pause = 0;
    if (block_.thread) ResumeThread(block_.thread);
  }
  unpaused_.notify_all();
}

// A reader still waiting for the engine to connect is woken by a knock; an engine that has
// not ended after the grace is ended, and the reader knocked on, until the launch thread
// is gone.
void ScanJob::stop() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (!under_way()) return;
    phase_ = ScanState::stopping;
    block_.stop = 1;
  }
  resume();  // a held engine could not stop
  if (stop_event_) SetEvent(stop_event_);
  knock_engine_pipe();
  if (!launch_.wait(kStopGraceMs)) {
    while (!launch_.wait(50)) {
      {
        std::lock_guard<std::mutex> hold(lock_);
        kill_engine();
      }
      knock_engine_pipe();
    }
  }
  launch_.close_handle();
}

void ScanJob::reset() {
  stop();
  std::lock_guard<std::mutex> hold(lock_);
  phase_ = ScanState::idle;
  block_.sectors_done[0] = block_.sectors_done[1] = 0;
}

ScanSnapshot ScanJob::poll() const {
  std::lock_guard<std::mutex> hold(lock_);
  ScanSnapshot now;
  now.state = block_.pause && (phase_ == ScanState::starting || phase_ == ScanState::running) ? ScanState::paused
                                                                                              : phase_;
  now.outcome = outcome_;
  now.scan = scan_;
  now.sectors_total = kestrune::joined_count(block_.sectors_total);
  now.sectors_done = kestrune::joined_count(block_.sectors_done);
  now.engine_id = engine_id_;
  return now;
}

void ScanJob::kill_engine() {
  if (block_.process) TerminateProcess(block_.process, 0xFFFFFFFF);
}

void ScanJob::release_engine() {
  if (block_.process) CloseHandle(block_.process);
  if (block_.thread) CloseHandle(block_.thread);
  block_.process = block_.thread = nullptr;
  block_.process_id = block_.thread_id = 0;
}
