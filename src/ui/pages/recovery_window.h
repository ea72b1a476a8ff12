// The recovery page: runs a scan and shows its progress, sorts the found files into a
// tree by kind and extension, hosts the preview grid, shows facts about the focused
// file, and offers pausing, stopping, recovering and leaving.
#pragma once
#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/messages.h"
#include "framework/window.h"
#include "imaging/image.h"
#include "session/scan_job.h"
#include "ui/pages/preview_window.h"
#include "ui/skin/bitmap_button.h"
#include "ui/skin/treeview.h"

class recovery_window_c
    : public ATL::CWindowImpl<recovery_window_c, ATL::CWindow, ATL::CWinTraits<0x56000000, 0>> {
 public:
  DECLARE_WND_CLASS(L"RecoveryWindow")

  enum RunState { kIdle = 0, kRunning = 1, kPaused = 2 };
  enum ControlId {
    kHomeId = 2, kBackId = 3, kCloseId = 4, kRecoverId = 5, kAllId = 6,
    kStartId = 7, kStopId = 8, kFilterId = 9, kTreeId = 10
  };
  static constexpr UINT_PTR kTickTimer = 1;
  static constexpr UINT kTickPeriod = 200;

  preview_window_c preview;
  treeview_c tree;
  ScanJob scan;
  ScanSnapshot shown;       // the scan as the page last took it from the job
  uint32_t ended_scan = 0;  // the last scan whose end the page has taken

  bitmap_button_c home_button, back_button, close_button, recover_button;
  bitmap_button_c start_button, stop_button, filter_button;
  CWindow all_box;  // the plain select-all check box
  HIMAGELIST tree_images = nullptr;
  HTREEITEM roots[3] = {};  // photo, video, audio
  std::map<std::string, HTREEITEM> extensions;  // case-sensitive; items point at the keys

  size_t tree_cursor = 0;        // list records already in the tree and the grid
  float highest_fraction = 0;    // the furthest the scan has been seen
  float bar_fraction = 0;        // what the bar shows
  bool scan_complete = false;    // the last scan ended well: the bar may show 100 %
  int focused_item = -1;         // list index of the grid's focused file
  int view_count = 0;            // files in the grid's view
  int selected_count = 0;        // of those, selected
  bool in_tick = false;          // a box inside the tick runs the timer again

  CImage background, magnifier, file_icon, hand_icon, progress_tile;
  HBRUSH progress_brush = nullptr;
  HBRUSH light_brush = nullptr;
  HBRUSH line_brush = nullptr;
  HBRUSH panel_brush = nullptr;  // behind the check box: the page's own colour there

  recovery_window_c() = default;
  ~recovery_window_c() override;

  // What the page shows of the scan: idle, running (also while it starts) or paused.
  int run_state() const;
  // The whole Stop sequence: no engine and no launch thread are left afterwards.
  // Safe in any state.
  void stop_scan();
  // True while the preview grid's recovering thread runs.
  bool is_recovering() const { return preview.is_recovering(); }
  // Back to an empty page: no scan, no files, the three roots only.
  void reset_page();
  // The percentage the bar shows: 100 only for a scan that ended well.
  int shown_percent() const;

  BEGIN_MSG_MAP(recovery_window_c)
    MESSAGE_HANDLER(WM_CREATE, on_create)
    MESSAGE_HANDLER(WM_SIZE, on_size)
    MESSAGE_HANDLER(WM_SETFOCUS, on_set_focus)
    MESSAGE_HANDLER(WM_PAINT, on_paint)
    MESSAGE_HANDLER(WM_ERASEBKGND, on_erase_background)
    MESSAGE_HANDLER(WM_NOTIFY, on_notify)
    MESSAGE_HANDLER(WM_TIMER, on_timer)
    MESSAGE_HANDLER(WM_CTLCOLORSTATIC, on_ctl_color_static)
    MESSAGE_HANDLER(kStartScanMessage, on_start_scan)
    MESSAGE_HANDLER(kFocusedFileMessage, on_focused_item)
    MESSAGE_HANDLER(kViewCountsMessage, on_view_counts)
    MESSAGE_HANDLER(kListOnlyMessage, on_list_only)
    MESSAGE_HANDLER(WM_COMMAND, on_command)
  END_MSG_MAP()

 private:
  LRESULT on_create(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_size(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_set_focus(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_paint(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_erase_background(UINT, WPARAM, LPARAM, BOOL&) { return 1; }
  LRESULT on_notify(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_timer(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_ctl_color_static(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_start_scan(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_focused_item(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_view_counts(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_list_only(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_command(UINT, WPARAM, LPARAM, BOOL&);

  // recovery_window.cpp: controls and the tree.
  void create_buttons();
  void create_tree();
  void insert_roots();
  void place_controls();
  void label_buttons();
  void show_state();  // button 7's text for run_state()
  void add_extension(const std::string& ext, int kind);
  bool confirm_leaving();

  // recovery_scan.cpp: the scan and the tick.
  void begin_scan(const ScanRequest* request);  // null: the last request again
  void toggle_pause();
  // Takes an ended scan's end (once) and returns the page to idle.
  void take_end(const ScanSnapshot& now);
  // Moves the new list records into the tree and the grid; the extensions that no
  // table knows are handed back, to be told once the list lock is released.
  std::vector<std::string> take_new_records();
  // The new records, a repaint, then the boxes for unknown extensions.
  void take_in_records();

  // recovery_paint.cpp
  void paint_page(HDC dc, const RECT& client);
  void paint_progress(HDC dc, const RECT& client);
  void paint_info(HDC dc, const RECT& client);
};
