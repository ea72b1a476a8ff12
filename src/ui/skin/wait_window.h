// The animated wait indicator, a mixin of a page class T (a framework window): eight
// frames turned every 80 ms by window timer 100 and drawn centred at the end of T's
// paint, with white as the transparent colour. T chains its message map to this one
// after its own handlers: CHAIN_MSG_MAP(wait_window_c<T>).
#pragma once
#include <windows.h>

#include "framework/window.h"
#include "imaging/image.h"
#include "ui/skin/drawing.h"
#include "ui/skin/memory_surface.h"

template <class T>
class wait_window_c {
 public:
  static constexpr UINT_PTR timer_id = 100;
  static constexpr UINT timer_period = 80;
  static constexpr int frame_count = 8;
  static constexpr int first_frame_id = 208;

  CImage frames[frame_count];
  int frame_index = 0;
  bool active = false;
  bool msg_handled = false;

  wait_window_c() {
    for (int i = 0; i < frame_count; ++i) {
      load_skin_bitmap(frames[i], first_frame_id + i);
      if (!frames[i].IsNull()) frames[i].SetTransparentColor(RGB(255, 255, 255));
    }
  }

  // Shows the indicator: active, and the timer running on T's window.
  void show_wait() {
    active = true;
    ::SetTimer(self().m_hWnd, timer_id, timer_period, nullptr);
  }
  void hide_wait() {
    active = false;
    ::KillTimer(self().m_hWnd, timer_id);
  }

  BEGIN_MSG_MAP(wait_window_c)
    MESSAGE_HANDLER(WM_TIMER, on_timer)
  END_MSG_MAP()

  // Every timer that reaches the mixin is handled; timer 100 turns the indicator.
  LRESULT on_timer(UINT, WPARAM wParam, LPARAM, BOOL&) {
    msg_handled = true;
    if (wParam == timer_id) {
      frame_index = (frame_index + 1) % frame_count;
      ::InvalidateRect(self().m_hWnd, nullptr, TRUE);
      ::UpdateWindow(self().m_hWnd);
    }
    return 0;
  }

  // Called by T at the end of its paint with its client rectangle.
  void paint_wait(const RECT& rect, HDC surface) {
    if (!active) return;
    const CImage& frame = frames[frame_index];
    if (frame.IsNull()) return;
    const int w = frames[0].GetWidth();
    const int h = frames[0].GetHeight();
    frame.Draw(surface, (rect.right - w) / 2, (rect.bottom - h) / 2, frame.GetWidth(), frame.GetHeight());
  }
  void paint_wait(const RECT& rect, memory_surface& surface) { paint_wait(rect, surface.surface); }

 private:
  T& self() { return static_cast<T&>(*this); }
};
