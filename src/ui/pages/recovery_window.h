// The recovery page: runs a scan and shows its progress, sorts the found files into a
// tree by kind and extension, hosts the preview grid, shows facts about the focused
// file, and offers pausing, stopping, recovering and leaving.
#pragma once
#include <windows.h>

#include <map>
#include <memory>
#include <string>

#include "framework/window.h"
#include "imaging/image.h"
#include "session/scan_session.h"
#include "session/worker_thread.h"
#include "ui/pages/preview_window.h"
#include "ui/skin/bitmap_button.h"
#include "ui/skin/treeview.h"

class recovery_window_c
    : public ATL::CWindowImpl<recovery_window_c, ATL::CWindow, ATL::CWinTraits<0x56000000, 0>> {
 public:
  DECLARE_WND_CLASS(L"RecoveryWindow")

  enum RunState { kIdle = 0, kRunning = 1, kPaused = 2 };

  preview_window_c preview;
  treeview_c tree;
  ScanSession session = {};
  HANDLE pipe = nullptr;
  WorkerThread* launch = nullptr;
  int run_state = kIdle;

  recovery_window_c();
  ~recovery_window_c() override;

  // The whole Stop sequence: no engine and no launch thread are left afterwards.
  void stop_scan();
  // True while the preview grid's recovering thread runs.
  bool is_recovering() const { return preview.is_recovering(); }

  BEGIN_MSG_MAP(recovery_window_c)
    MESSAGE_HANDLER(WM_CREATE, on_create)
    MESSAGE_HANDLER(WM_SIZE, on_size)
    MESSAGE_HANDLER(WM_SETFOCUS, on_set_focus)
    MESSAGE_HANDLER(WM_PAINT, on_paint)
    MESSAGE_HANDLER(WM_ERASEBKGND, on_erase_background)
    MESSAGE_HANDLER(WM_NOTIFY, on_notify)
    MESSAGE_HANDLER(WM_TIMER, on_timer)
    MESSAGE_HANDLER(WM_CTLCOLORSTATIC, on_ctl_color_static)
    MESSAGE_HANDLER(WM_USER + 6, on_start_scan)
    MESSAGE_HANDLER(WM_USER + 7, on_focused_item)
    MESSAGE_HANDLER(WM_USER + 8, on_view_counts)
    MESSAGE_HANDLER(WM_USER + 11, on_list_only)
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
};
