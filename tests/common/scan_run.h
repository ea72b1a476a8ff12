// Waiting on a scan through its owner, as the recovery page's tick does.
#pragma once
#include <windows.h>

#include <functional>

#include "session/scan_job.h"

// Polls `job` until `done` holds or `deadline_ms` has passed; the last snapshot.
inline ScanSnapshot poll_until(const ScanJob& job, const std::function<bool(const ScanSnapshot&)>& done,
                               DWORD deadline_ms = 120000) {
  ScanSnapshot now = job.poll();
  for (DWORD waited = 0; !done(now) && waited < deadline_ms; waited += 10) {
    Sleep(10);
    now = job.poll();
  }
  return now;
}

inline bool has_ended(const ScanSnapshot& s) { return s.state == ScanState::ended; }

// Starts a scan of `request` and returns its snapshot once it has ended.
inline ScanSnapshot run_scan(ScanJob& job, const ScanRequest& request, DWORD deadline_ms = 120000) {
  if (!job.start(request)) return job.poll();
  return poll_until(job, has_ended, deadline_ms);
}
