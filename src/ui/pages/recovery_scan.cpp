// The recovery page's scan: starting, pausing and stopping it, and the 200 ms tick that
// follows the launch thread and takes the found files into the tree and the grid.
#include "ui/pages/recovery_window.h"

#include <cstring>

#include "base/ansi_text.h"
#include "i18n/language.h"
#include "session/engine_control.h"
#include "session/engine_launch.h"
#include "session/engine_pipe.h"
#include "session/file_kinds.h"
#include "session/found_file_list.h"
#include "session/user_message.h"

namespace {
// A scan that did not end well is told; the files found so far stay either way.
void tell_scan_outcome(HWND page, int outcome) {
  switch (outcome) {
    case kScanFailed:
      show_user_message(page, 2, lookup_text("engine_failed").c_str());
      break;
    case kScanCacheFull:
      show_user_message(page, 2, lookup_text("engine_cache_full").c_str());
      break;
    case kScanUnreadable:
      show_user_message(page, 1, lookup_text("engine_unreadable").c_str());
      break;
    default:
      break;
  }
}

void tell_unknown_extensions(const std::vector<std::string>& unknown) {
  for (const std::string& ext : unknown) show_user_message(nullptr, 2, ansi_to_wide(ext.c_str()).c_str());
}
}  // namespace

// A new scan starts on an empty page: the launch thread clears the list, so the tree
// and the grid must not keep indices into the old one.
LRESULT recovery_window_c::on_start_scan(UINT, WPARAM, LPARAM lparam, BOOL&) {
  if (!lparam) return 0;
  reset_page();
  std::memcpy(&session, reinterpret_cast<const void*>(lparam), sizeof session);
  begin_scan();
  return 0;
}

// Whatever an earlier scan left in the block (stop flag, numbers, handles) is cleared;
// the handles were closed when that scan ended. Without a pipe the launch thread ends at
// once with an error, which the tick reports.
void recovery_window_c::begin_scan() {
  write_flag(session.stop, 0);
  write_flag(session.pause, 0);
  for (uint32_t& word : session.report) write_word(word, 0);
  session.process = session.thread = nullptr;
  session.process_id = session.thread_id = 0;
  highest_fraction = bar_fraction = 0;
  scan_complete = false;
  close_engine_pipe(pipe);
  pipe = create_engine_pipe();
  session.pipe = &pipe;
  run_state = kRunning;
  if (launch->start() != 0) {
    run_state = kIdle;
    show_state();
    show_user_message(m_hWnd, 2, lookup_text("engine_failed").c_str());
    return;
  }
  SetTimer(kTickTimer, kTickPeriod);
  start_button.ShowWindow(SW_SHOW);
  stop_button.ShowWindow(SW_SHOW);
  show_state();
}

void recovery_window_c::toggle_pause() {
  if (run_state == kRunning) {
    pause_engine(session);
    run_state = kPaused;
  } else if (run_state == kPaused) {
    resume_engine(session);
    run_state = kRunning;
  } else {
    reset_page();
    begin_scan();
    return;
  }
  show_state();
  stop_button.ShowWindow(SW_SHOW);
}

void recovery_window_c::stop_scan() { end_scan(true); }

// The engine may still be on its way (started just as the stop came) or the reader may
// be waiting for a client: keep ending the one and knocking on the other until the
// launch thread is gone. The files found so far stay, taken in once more.
void recovery_window_c::end_scan(bool take_in_rest) {
  const bool scanning = launch && launch->has_thread();
  if (scanning) {
    if (m_hWnd) KillTimer(kTickTimer);
    stop_engine(session);
    while (!launch->wait(50)) {
      if (session.process) TerminateProcess(session.process, 0xFFFFFFFF);
      knock_engine_pipe();
    }
    launch->close_handle();
  }
  release_engine_handles(session);
  close_engine_pipe(pipe);
  run_state = kIdle;
  if (!IsWindow()) return;
  stop_button.ShowWindow(SW_HIDE);
  show_state();
  if (scanning && take_in_rest) take_in_records();
}

int recovery_window_c::finish_ended_scan() {
  const bool stopped = read_flag(session.stop);
  const int outcome = stopped ? kScanEnded : launch->result();
  // Gone through to the end, skipped parts included: the bar may show all of it.
  const bool well = !stopped && (outcome == kScanEnded || outcome == kScanUnreadable);
  launch->close_handle();
  KillTimer(kTickTimer);
  // The reports are over: an engine that lingers has nothing more to give.
  if (session.process && WaitForSingleObject(session.process, 0) == WAIT_TIMEOUT)
    TerminateProcess(session.process, 0xFFFFFFFF);
  release_engine_handles(session);
  close_engine_pipe(pipe);
  scan_complete = well;
  if (well) highest_fraction = 1;
  run_state = kIdle;
  stop_button.ShowWindow(SW_HIDE);
  show_state();
  return outcome;
}

// The guard keeps a box shown inside the tick (its modal loop runs this timer too) from
// starting a second tick; boxes come last, when the list lock is no longer held.
LRESULT recovery_window_c::on_timer(UINT, WPARAM wparam, LPARAM, BOOL& handled) {
  if (wparam != kTickTimer) {
    handled = FALSE;
    return 0;
  }
  if (in_tick) return 0;
  in_tick = true;
  const int outcome = launch->has_thread() && launch->wait(0) ? finish_ended_scan() : kScanEnded;
  take_in_records();  // also what came between the last tick and the end
  tell_scan_outcome(m_hWnd, outcome);
  in_tick = false;
  return 0;
}

void recovery_window_c::take_in_records() {
  const std::vector<std::string> unknown = take_new_records();
  RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  tell_unknown_extensions(unknown);
}

std::vector<std::string> recovery_window_c::take_new_records() {
  std::vector<std::string> unknown;
  ListLock hold;
  const std::vector<FoundFile>& records = g_found_files.records;
  if (tree_cursor > records.size()) tree_cursor = 0;  // the list was cleared under the page
  if (tree_cursor == records.size()) return unknown;
  preview.begin_adding();
  for (; tree_cursor < records.size(); ++tree_cursor) {
    const FoundFile& record = records[tree_cursor];
    const char* end = static_cast<const char*>(std::memchr(record.file_path, '\0', sizeof record.file_path));
    const std::string path(record.file_path, end ? end : record.file_path + sizeof record.file_path);
    const size_t dot = path.rfind('.');
    const std::string ext = dot == std::string::npos ? std::string() : path.substr(dot + 1);
    const int kind = classify_extension_quietly(ext.c_str());
    if (kind == kOther) unknown.push_back(ext);
    add_extension(ext, kind);
    preview.add_file(ext, kind, static_cast<unsigned>(tree_cursor));
  }
  preview.end_adding();
  return unknown;
}

// After resuming: no engine runs, the tick fills the tree from the list. A scan that is
// running keeps its buttons.
LRESULT recovery_window_c::on_list_only(UINT, WPARAM, LPARAM, BOOL&) {
  if (run_state == kIdle) {
    start_button.ShowWindow(SW_HIDE);
    stop_button.ShowWindow(SW_HIDE);
  }
  SetTimer(kTickTimer, kTickPeriod);
  return 0;
}
