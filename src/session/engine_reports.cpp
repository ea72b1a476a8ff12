#include "session/engine_reports.h"

#include <cstring>

#include "base/ansi_text.h"
#include "session/engine_report.h"
#include "session/found_file_list.h"

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
bool engine_has_ended(const ScanSession* block) {
  return block->process && WaitForSingleObject(block->process, 0) == WAIT_OBJECT_0;
}

// 0 once the engine is the connected client, 1 when stopped meanwhile, -1 on failure.
int accept_engine(HANDLE pipe, ScanSession* block) {
  for (;;) {
    bool connected = ConnectNamedPipe(pipe, nullptr) != FALSE;
    DWORD error = connected ? 0 : GetLastError();
    connected = connected || error == ERROR_PIPE_CONNECTED;
    // ERROR_NO_DATA: a client came and already went; like any stranger it
    // doesn't end the scan.
    if (read_flag(block->stop)) return 1;
    if (!connected && error != ERROR_NO_DATA) return -1;
    ULONG client = 0;
    if (connected && GetNamedPipeClientProcessId(pipe, &client) && client != 0 &&
        client == block->process_id)
      return 0;
    DisconnectNamedPipe(pipe);  // not our engine: drop it and anything it wrote
    if (engine_has_ended(block)) return read_flag(block->stop) ? 1 : -1;
  }
}

void store_numbers(ScanSession* block, const EngineReport& report) {
  write_word(block->report[0], report.sectors_total[0]);
  write_word(block->report[1], report.sectors_total[1]);
  write_word(block->report[2], report.sectors_done[0]);
  write_word(block->report[3], report.sectors_done[1]);
}

// Files are taken only from inside the scan folder: the header of anything
// else must never be touched.
void take_reported_file(const EngineReport& report, const std::string& scan_folder) {
  if (!std::memchr(report.file_path, '\0', sizeof report.file_path)) return;
  char resolved[260];
  if (!resolve_inside_folder(report.file_path, scan_folder, resolved)) return;
  DWORD attributes = GetFileAttributesA(resolved);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
  append_found_file(resolved);
}

void hold_while_paused(const ScanSession* block) {
  while (read_flag(block->pause) && !read_flag(block->stop)) Sleep(20);
}
}  // namespace

int read_engine_reports(HANDLE pipe, ScanSession* block) {
  int accepted = accept_engine(pipe, block);
  if (accepted != 0) return accepted > 0 ? 0 : -1;
  std::string scan_folder = scan_folder_path(block->cache_folder);
  EngineReport report;
  while (!read_flag(block->stop)) {
    hold_while_paused(block);
    if (read_flag(block->stop)) break;
    DWORD got = 0;
    // A stop terminates the engine, which breaks the pipe: that end is not an error.
    if (!ReadFile(pipe, &report, sizeof report, &got, nullptr)) return read_flag(block->stop) ? 0 : -1;
    if (got == 0) return 0;
    if (got != sizeof report) return -1;
    store_numbers(block, report);
    if (report.file_path[0]) take_reported_file(report, scan_folder);
  }
  return 0;
}
