#include "session/engine_reports.h"

#include <cstring>

#include "base/ansi_text.h"
#include "base/paths.h"
#include "session/engine_report.h"
#include "session/found_file_list.h"
#include "session/scan_job.h"

namespace {
bool full_path(const char* path, char (&out)[260]) {
  DWORD n = GetFullPathNameA(path, sizeof out, out, nullptr);
  return n > 0 && n < sizeof out;
}

bool starts_with_ignoring_case(const std::wstring& text, const std::wstring& prefix) {
  return text.size() > prefix.size() &&
         CompareStringOrdinal(text.c_str(), int(prefix.size()), prefix.c_str(),
                              int(prefix.size()), TRUE) == CSTR_EQUAL;
}
}  // namespace

bool resolve_inside_folder(const char* path, const std::string& folder, char (&resolved)[260]) {
  char folder_full[260];
  if (!*path || !full_path(folder.c_str(), folder_full) || !full_path(path, resolved)) return false;
  std::string prefix = folder_full;
  if (prefix.back() != '\\') prefix += '\\';
  return starts_with_ignoring_case(ansi_to_wide(resolved), ansi_to_wide(prefix.c_str()));
}

namespace {
bool has_ended(HANDLE process) { return process && WaitForSingleObject(process, 0) == WAIT_OBJECT_0; }

// Files are taken only from inside the scan folder: the header of anything
// else must never be touched.
void take_reported_file(const EngineReport& report, const std::string& scan_folder) {
  if (!std::memchr(report.file_path, '\0', sizeof report.file_path)) return;
  char resolved[260];
  if (!resolve_inside_folder(report.file_path, scan_folder, resolved)) return;
  if (!is_directory(resolved)) append_found_file(resolved);
}
}  // namespace

// 0 once the engine is the connected client (stopping or not: it stops cleanly then), 1
// when stopped before, kEngineEndedUnconnected when the engine ended first, -1 on failure. The engine's process id and handle are the launch
// thread's own, so they are read here without the lock.
int ScanJob::accept_engine() {
  for (;;) {
    bool connected = ConnectNamedPipe(pipe_, nullptr) != FALSE;
    DWORD error = connected ? 0 : GetLastError();
    connected = connected || error == ERROR_PIPE_CONNECTED;
    ULONG client = 0;
    if (connected && GetNamedPipeClientProcessId(pipe_, &client) && client != 0 && client == block_.process_id)
      return 0;
    // ERROR_NO_DATA: a client came and already went; like any stranger it
    // doesn't end the scan.
    if (stopping()) return 1;
    if (!connected && error != ERROR_NO_DATA) return -1;
    DisconnectNamedPipe(pipe_);  // not our engine: drop it and anything it wrote
    if (has_ended(block_.process)) return stopping() ? 1 : kEngineEndedUnconnected;
  }
}

void ScanJob::store_numbers(const EngineReport& report) {
  std::lock_guard<std::mutex> hold(lock_);
  std::memcpy(block_.sectors_total, report.sectors_total, sizeof block_.sectors_total);
  std::memcpy(block_.sectors_done, report.sectors_done, sizeof block_.sectors_done);
}

// Where the reader owns no lock (the list's included), so that a paused scan holds up
// nobody.
void ScanJob::hold_while_paused() {
  std::unique_lock<std::mutex> hold(lock_);
  unpaused_.wait(hold, [this] { return !block_.pause || block_.stop; });
}

// A stopped engine still reports the files it finished, up to its end message.
int ScanJob::read_engine_reports() {
  const int accepted = accept_engine();
  if (accepted != 0) return accepted;
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (phase_ == ScanState::starting) phase_ = ScanState::running;
  }
  const std::string scan_folder = scan_folder_path(block_.request.cache_folder);
  EngineReport report;
  for (;;) {
    hold_while_paused();
    DWORD got = 0;
    if (!ReadFile(pipe_, &report, sizeof report, &got, nullptr)) return -1;
    if (got == 0) return 0;
    if (got != sizeof report) return -1;
    store_numbers(report);
    if (report.file_path[0]) take_reported_file(report, scan_folder);
  }
}
