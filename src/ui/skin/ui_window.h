// The skinned frame: a mixin that a top-level window or dialog T inherits beside its
// framework base. The system keeps the non-client area (its size, dragging, the system
// menu) but the mixin paints it: a flat caption band `caption_height` tall, a two-colour
// border, the caption buttons and the title. T hands every message to process_message
// first and may replace the painting hooks paint_caption and paint_title.
#pragma once
#include <windows.h>

#include <vector>

#include "ui/skin/caption_button.h"
#include "ui/skin/fonts.h"
#include "ui/skin/memory_surface.h"

namespace frame_colours {
constexpr COLORREF caption = RGB(139, 184, 241);  // caption band and inner border rings
constexpr COLORREF outer_ring = RGB(66, 90, 138);
constexpr COLORREF title = RGB(233, 243, 255);
}  // namespace frame_colours

template <class T>
class ui_window_c {
 public:
  int system_caption_height = 0;
  int frame_width = 0;
  int frame_height = 0;
  int caption_height;
  std::vector<button_c<T>*> buttons;  // owned, in hit-test and drawing order
  bool leave_tracking = false;
  bool msg_handled = false;

  explicit ui_window_c(int caption) : caption_height(caption) {}
  ui_window_c(const ui_window_c&) = delete;
  ui_window_c& operator=(const ui_window_c&) = delete;
  virtual ~ui_window_c() = 0;

  // The non-client handling of the frame; true when the message is handled, with its
  // result in `result`.
  bool process_message(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
    // A local flag: painting sends messages (the title is read with WM_GETTEXT) that
    // come back through here before this message is answered.
    bool handled = true;
    result = 0;
    switch (message) {
      case WM_NCCREATE:
        read_metrics(SM_CXFRAME, SM_CYFRAME);
        handled = false;
        break;
      case WM_INITDIALOG:
        read_metrics(SM_CXDLGFRAME, SM_CYDLGFRAME);
        SetWindowPos(hwnd(), nullptr, 0, 0, 0, 0,
                     SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        handled = false;
        break;
      case WM_NCCALCSIZE:
        on_calc_size(wparam, lparam);
        handled = false;
        break;
      case WM_NCPAINT:
        paint_frame();
        break;
      case WM_NCACTIVATE:
        if (IsIconic(hwnd())) {
          handled = false;
        } else {
          paint_frame();
          result = wparam ? FALSE : TRUE;
        }
        break;
      case WM_NCMOUSEMOVE:
        on_mouse_move(lparam);
        handled = false;
        break;
      case WM_NCLBUTTONDOWN:
        handled = on_button_down(lparam);
        break;
      case WM_NCLBUTTONUP:
        handled = on_button_up(lparam);
        break;
      case WM_NCLBUTTONDBLCLK:
        handled = button_at(lparam) != nullptr;
        break;
      case WM_NCMOUSELEAVE:
        on_mouse_leave();
        break;
      default:
        handled = false;
    }
    msg_handled = handled;
    return handled;
  }

  // Paints the whole non-client area in one transfer; the client area is never touched.
  void paint_frame() {
    RECT window_rect, client;
    GetWindowRect(hwnd(), &window_rect);
    client_in_window(client);
    HDC dc = GetWindowDC(hwnd());
    if (!dc) return;
    {
      const RECT area = {0, 0, window_rect.right - window_rect.left, window_rect.bottom - window_rect.top};
      memory_surface surface(dc, area);
      compose_frame(surface, area);
      ExcludeClipRect(dc, client.left, client.top, client.right, client.bottom);
    }
    ReleaseDC(hwnd(), dc);
  }

  // Everything paint_frame draws, onto an open surface covering `window` (0, 0, W, H).
  void compose_frame(memory_surface& surface, const RECT& window) {
    HDC dc = surface.surface;
    const int w = window.right - window.left;
    const int h = window.bottom - window.top;
    fill(dc, {frame_width, frame_height, w, frame_height + caption_height}, frame_colours::caption);
    self().paint_caption(surface, window);
    ring(dc, {0, 0, w, h}, frame_colours::outer_ring);
    for (int i = 1; i < frame_width; ++i) ring(dc, {i, i, w - i, h - i}, frame_colours::caption);
    for (button_c<T>* button : buttons) button->draw(dc, window);
    self().paint_title(surface, window);
  }

  // The window's visible shape is exactly its rectangle.
  void apply_square_region() {
    RECT r;
    GetWindowRect(hwnd(), &r);
    SetWindowRgn(hwnd(), CreateRectRgn(0, 0, r.right - r.left, r.bottom - r.top), TRUE);
  }

  // Default hooks; T hides them with its own.
  void paint_caption(memory_surface&, const RECT&) {}
  void paint_title(memory_surface& surface, const RECT&) {
    wchar_t title[256] = {};
    if (GetWindowTextW(hwnd(), title, 256) <= 0) return;
    HDC dc = surface.surface;
    const int old_mode = SetBkMode(dc, TRANSPARENT);
    const COLORREF old_colour = SetTextColor(dc, frame_colours::title);
    HGDIOBJ old_font = SelectObject(dc, caption_font());
    TextOutW(dc, 10, 10, title, lstrlenW(title));
    SelectObject(dc, old_font);
    SetTextColor(dc, old_colour);
    SetBkMode(dc, old_mode);
  }

 protected:
  T& self() { return static_cast<T&>(*this); }
  HWND hwnd() { return self().m_hWnd; }

 private:
  static HFONT caption_font() { return application_font(L"Verdana", 8, true); }

  void read_metrics(int width_metric, int height_metric) {
    system_caption_height = GetSystemMetrics(SM_CYCAPTION);
    frame_width = GetSystemMetrics(width_metric);
    frame_height = GetSystemMetrics(height_metric);
  }

  // The first calculation of a window comes with a plain rectangle, later ones with the
  // full parameter block; both start with the proposed window rectangle.
  void on_calc_size(WPARAM, LPARAM lparam) {
    RECT* proposed = reinterpret_cast<RECT*>(lparam);
    if (proposed) proposed->top += caption_height - system_caption_height;
  }

  void client_in_window(RECT& client) {
    RECT window_rect;
    GetWindowRect(hwnd(), &window_rect);
    GetClientRect(hwnd(), &client);
    POINT origin = {0, 0};
    ClientToScreen(hwnd(), &origin);
    OffsetRect(&client, origin.x - window_rect.left, origin.y - window_rect.top);
    client.right += 1;
    client.bottom += 1;
  }

  static void fill(HDC dc, RECT r, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
  }
  static void ring(HDC dc, RECT r, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    FrameRect(dc, &r, brush);
    DeleteObject(brush);
  }

  // Mouse positions arrive in screen coordinates; buttons work in window coordinates.
  POINT to_window(LPARAM lparam, RECT& window_rect) {
    GetWindowRect(hwnd(), &window_rect);
    POINT p = {static_cast<short>(LOWORD(lparam)) - window_rect.left,
               static_cast<short>(HIWORD(lparam)) - window_rect.top};
    return p;
  }

  button_c<T>* button_at(LPARAM lparam) {
    RECT window_rect;
    const POINT p = to_window(lparam, window_rect);
    for (button_c<T>* button : buttons)
      if (button->hit_test(p.x, p.y, window_rect)) return button;
    return nullptr;
  }

  void invalidate_frame(bool update_now) {
    // Only the non-client area: a region of the window rectangle less the client area,
    // in client coordinates as RedrawWindow wants it.
    RECT window_rect, client;
    GetWindowRect(hwnd(), &window_rect);
    client_in_window(client);
    client.right -= 1;
    client.bottom -= 1;
    HRGN region = CreateRectRgn(-client.left, -client.top, window_rect.right - window_rect.left - client.left,
                                window_rect.bottom - window_rect.top - client.top);
    HRGN inner = CreateRectRgn(0, 0, client.right - client.left, client.bottom - client.top);
    CombineRgn(region, region, inner, RGN_DIFF);
    RedrawWindow(hwnd(), nullptr, region, RDW_FRAME | RDW_INVALIDATE | (update_now ? RDW_UPDATENOW : 0));
    DeleteObject(inner);
    DeleteObject(region);
  }

  void on_mouse_move(LPARAM lparam) {
    RECT window_rect;
    const POINT p = to_window(lparam, window_rect);
    for (button_c<T>* button : buttons) {
      const bool on = button->hit_test(p.x, p.y, window_rect);
      if (on && button->state == 0) {
        button->state = 1;
        if (!leave_tracking) {
          TRACKMOUSEEVENT track = {sizeof track, TME_LEAVE | TME_NONCLIENT, hwnd(), 100};
          TrackMouseEvent(&track);
          leave_tracking = true;
        }
      } else if (!on && button->state != 0) {
        button->state = 0;
      } else {
        continue;
      }
      invalidate_frame(false);
      return;
    }
  }

  bool on_button_down(LPARAM lparam) {
    RECT window_rect;
    const POINT p = to_window(lparam, window_rect);
    for (button_c<T>* button : buttons) {
      if (button->state == 2 || !button->hit_test(p.x, p.y, window_rect)) continue;
      button->state = 2;
      invalidate_frame(true);
      return true;
    }
    return false;
  }

  bool on_button_up(LPARAM lparam) {
    RECT window_rect;
    const POINT p = to_window(lparam, window_rect);
    for (button_c<T>* button : buttons) {
      if (button->state == 1 || !button->hit_test(p.x, p.y, window_rect)) continue;
      button->state = 1;
      invalidate_frame(true);
      if (button->on_click) (self().*(button->on_click))();
      return true;
    }
    return false;
  }

  void on_mouse_leave() {
    for (button_c<T>* button : buttons) {
      if (button->state == 0) continue;
      button->state = 0;
      invalidate_frame(false);
      break;
    }
    leave_tracking = false;
  }
};

template <class T>
ui_window_c<T>::~ui_window_c() {
  for (button_c<T>* button : buttons) delete button;
  buttons.clear();
}
