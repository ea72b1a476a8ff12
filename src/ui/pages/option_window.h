// The options page: the volume to scan, the kinds of files wanted and the two folders
// (destination and cache). Next validates the choices, stores the folders, fills the
// scan request and asks the main window to show the recovery page and start the scan.
#pragma once
#include <windows.h>

#include "framework/window.h"
#include "imaging/image.h"
#include "session/scan_session.h"
#include "ui/skin/bitmap_button.h"

// The process-wide scan request the page fills (its first 532 bytes) on every Next.
extern ScanSession g_scan_request;

class option_window_c
    : public ATL::CWindowImpl<option_window_c, ATL::CWindow,
                              ATL::CWinTraits<WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0>> {
 public:
  DECLARE_WND_CLASS(L"OptionWindow")

  bool shows_cache = false;
  HWND main_window = nullptr;  // target of the navigation messages

  option_window_c();
  ~option_window_c() override;

  BEGIN_MSG_MAP(option_window_c)
    MESSAGE_HANDLER(WM_CREATE, on_create)
    MESSAGE_HANDLER(WM_SIZE, on_size)
    MESSAGE_HANDLER(WM_PAINT, on_paint)
    MESSAGE_HANDLER(WM_ERASEBKGND, on_erase_background)
    MESSAGE_HANDLER(WM_CTLCOLORSTATIC, on_ctl_color_static)
    MESSAGE_HANDLER(WM_COMMAND, on_command)
  END_MSG_MAP()

 private:
  LRESULT on_create(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_size(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_paint(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_erase_background(UINT, WPARAM, LPARAM, BOOL&) { return 1; }
  LRESULT on_ctl_color_static(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_command(UINT, WPARAM, LPARAM, BOOL&);
};
