// The home page: Start leads to the options page for a new scan, Resume reloads the
// files of the previous scan from the cache folder and leads to the recovery page.
#pragma once
#include <windows.h>

#include "base/messages.h"
#include "framework/window.h"
#include "imaging/image.h"
#include "session/worker_thread.h"
#include "ui/skin/bitmap_button.h"
#include "ui/skin/wait_window.h"

class home_window_c : public CWindowImpl<home_window_c, CWindow,
                                         CWinTraits<WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0>>,
                      public wait_window_c<home_window_c> {
 public:
  DECLARE_WND_CLASS(L"HomeWindow")

  bitmap_button_c start_button;
  bitmap_button_c resume_button;
  CImage background;
  CImage illustration;
  WorkerThread* resuming = nullptr;
  HWND owner = nullptr;  // target of the navigation messages

  home_window_c() = default;
  ~home_window_c() override;

  bool is_resuming() const;

  BEGIN_MSG_MAP(home_window_c)
    MESSAGE_HANDLER(WM_CREATE, on_create)
    MESSAGE_HANDLER(WM_SIZE, on_size)
    MESSAGE_HANDLER(WM_PAINT, on_paint)
    MESSAGE_HANDLER(WM_ERASEBKGND, on_erase_background)
    MESSAGE_HANDLER(kResumeFinishedMessage, on_resume_finished)
    COMMAND_ID_HANDLER(1, on_start)
    COMMAND_ID_HANDLER(2, on_resume)
    CHAIN_MSG_MAP(wait_window_c<home_window_c>)
  END_MSG_MAP()

 private:
  LRESULT on_create(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_size(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_paint(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_erase_background(UINT, WPARAM, LPARAM, BOOL&) { return 1; }
  LRESULT on_resume_finished(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_start(WORD, WORD, HWND, BOOL&);
  LRESULT on_resume(WORD, WORD, HWND, BOOL&);
};
