// The recovery page's scan: starting, pausing and stopping it, and the 200 ms tick that
// polls it and takes the found files into the tree and the grid.
#include "ui/pages/recovery_window.h"

#include "base/ansi_text.h"
#include "i18n/language.h"
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

int recovery_window_c::run_state() const {
  switch (shown.state) {
    case ScanState::starting:
    case ScanState::running:
      return kRunning;
    case ScanState::paused:
      return kPaused;
    default:
      return kIdle;
  }
}

// A new scan starts on an empty page: the launch thread clears the list, so the tree
// and the grid must not keep indices into the old one.
LRESULT recovery_window_c::on_start_scan(UINT, WPARAM, LPARAM lparam, BOOL&) {
  if (!lparam) return 0;
  reset_page();
  begin_scan(reinterpret_cast<const ScanRequest*>(lparam));
  return 0;
}

// A scan that cannot start has ended at once: the tick tells it.
void recovery_window_c::begin_scan(const ScanRequest* request) {
  highest_fraction = bar_fraction = 0;
  scan_complete = false;
  if (request) {
    scan.start(*request);
  } else {
    scan.restart();
  }
  shown = scan.poll();
  SetTimer(kTickTimer, kTickPeriod);
  start_button.ShowWindow(SW_SHOW);
  stop_button.ShowWindow(SW_SHOW);
  show_state();
}

void recovery_window_c::toggle_pause() {
  const int state = run_state();
  if (state == kIdle) {
    reset_page();
    begin_scan(nullptr);
    return;
  }
  if (state == kRunning) {
    scan.pause();
  } else {
    scan.resume();
  }
  shown = scan.poll();
  show_state();
  stop_button.ShowWindow(SW_SHOW);
}

// The files found so far stay, taken in once more.
void recovery_window_c::stop_scan() {
  const bool scanning = run_state() != kIdle;
  if (m_hWnd) KillTimer(kTickTimer);
  scan.stop();
  shown = scan.poll();
  ended_scan = shown.scan;  // a stop is told by nothing
  if (!IsWindow()) return;
  stop_button.ShowWindow(SW_HIDE);
  show_state();
  if (scanning) take_in_records();
}

void recovery_window_c::take_end(const ScanSnapshot& now) {
  ended_scan = now.scan;
  // Gone through to the end, skipped parts included: the bar may show all of it.
  const bool well = now.outcome == kScanEnded || now.outcome == kScanUnreadable;
  KillTimer(kTickTimer);
  scan_complete = well;
  if (well) highest_fraction = 1;
  stop_button.ShowWindow(SW_HIDE);
  show_state();
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
  shown = scan.poll();
  const bool ended_now = shown.state == ScanState::ended && shown.scan != ended_scan;
  if (ended_now) take_end(shown);
  take_in_records();  // also what came between the last tick and the end
  if (ended_now) tell_scan_outcome(m_hWnd, shown.outcome);
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
    const std::string ext = extension_of(records[tree_cursor].file_path);
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
  if (run_state() == kIdle) {
    start_button.ShowWindow(SW_HIDE);
    stop_button.ShowWindow(SW_HIDE);
  }
  SetTimer(kTickTimer, kTickPeriod);
  return 0;
}
