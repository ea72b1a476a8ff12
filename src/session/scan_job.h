// The owner of a scan: the scan's block, the engine pipe, the engine process and the launch
// thread. One thread (the user interface's) starts, pauses, resumes and stops the scan and
// polls it; the launch thread reports into it. Everything they share is read and written
// under one lock, so a poll sees the numbers and the state of one moment.
#pragma once
#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "kestrune_contract.h"
#include "session/scan_session.h"
#include "session/worker_thread.h"

// idle → starting (the launch thread clears the list and the old scan folders, starts the
// engine and waits for it) → running (the engine reports) → ended; starting and running
// ↔ paused; any of those → stopping → ended.
enum class ScanState { idle, starting, running, paused, stopping, ended };

// How a scan ended: the launch thread's result.
enum ScanOutcome {
  kScanEnded = 0,       // the whole card was gone through
  kScanFailed = -1,     // no engine, no pipe, a broken report stream, or an engine that failed
  kScanCacheFull = 1,   // a found file could not be written into the cache: its disk is full
  kScanUnreadable = 2,  // gone through to the end, but parts of the card could not be read
  kScanStopped = 3,     // stopped by its owner
};

// One moment of a scan.
struct ScanSnapshot {
  ScanState state = ScanState::idle;
  int outcome = kScanEnded;    // how it ended, once ended
  uint32_t scan = 0;           // counts the scans started, so that an end is taken once
  uint64_t sectors_total = 0;  // of the latest report; 0 while not known
  uint64_t sectors_done = 0;
  uint32_t engine_id = 0;      // the engine's process id, 0 until it is started
};

class ScanJob {
 public:
  static constexpr DWORD kStopGraceMs = 5000;

  ScanJob();
  // Stops a scan under way: no engine and no launch thread outlive their owner.
  ~ScanJob();
  ScanJob(const ScanJob&) = delete;
  ScanJob& operator=(const ScanJob&) = delete;

  // Starts scanning as `request` says; restart() scans as the last request said. False
  // while a scan is under way, and when no launch thread could be made (the scan has ended
  // then, failed).
  bool start(const ScanRequest& request);
  bool restart();
  // Holds the engine and the report reader, and lets them go on (starting or running).
  void pause();
  void resume();
  // Ends a scan under way and returns once it has ended (kScanStopped); the files found so
  // far stay in the list. The engine is asked to stop (it finishes or deletes the file it
  // is writing and reports what it finished) and ended by force only when it has not ended
  // after kStopGraceMs, or when it has not connected yet (it has written nothing then).
  void stop();
  // Stops a scan under way, then idle: progress done 0 (the total stays until a report).
  void reset();
  ScanSnapshot poll() const;

 private:
  static int launch(void* job);
  // engine_launch.cpp: the launch thread's work; a ScanOutcome.
  int engine_launch_thread();
  int start_engine();
  int read_watching_engine();
  int outcome_after_end();
  // engine_reports.cpp: reads the engine's reports until the end message (0) or a broken
  // stream (-1); 1 when the scan was stopped before the engine connected,
  // kEngineEndedUnconnected when the engine ended before it connected.
  static constexpr int kEngineEndedUnconnected = -2;
  int read_engine_reports();
  int accept_engine();
  void hold_while_paused();
  void store_numbers(const kestrune::EngineReport& report);

  bool under_way() const;  // starting, running (paused or not) or stopping; under lock_
  bool stopping() const;
  void release_engine();   // closes the engine's handles; under lock_
  void kill_engine();      // under lock_

  mutable std::mutex lock_;
  std::condition_variable unpaused_;
  ScanSession block_ = {};
  HANDLE pipe_ = nullptr;
  HANDLE stop_event_ = nullptr;  // kestrune::kStopEventNameW
  ScanState phase_ = ScanState::idle;  // never paused: that is block_.pause
  int outcome_ = kScanEnded;
  uint32_t scan_ = 0;
  uint32_t engine_id_ = 0;
  WorkerThread launch_;
};
