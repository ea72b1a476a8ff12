#include "ui/pages/dialog_parts.h"

#include <algorithm>

#include "ui/skin/drawing.h"
#include "ui/skin/fonts.h"
#include "ui/skin/text_box.h"

namespace dialog_parts {

namespace {
constexpr int icon_left = 15;
constexpr int icon_top = 30;
constexpr int icon_size = 48;
constexpr int line_gap = 6;

HFONT message_font() { return application_font(L"Verdana", 10, false); }
}  // namespace

HIMAGELIST make_button_images(int normal_id, int pushed_id, int hover_id) {
  HIMAGELIST list = nullptr;
  for (int id : {normal_id, pushed_id, hover_id}) {
    HBITMAP picture = static_cast<HBITMAP>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!picture) continue;
    if (!list) {
      BITMAP info = {};
      GetObjectW(picture, sizeof info, &info);
      list = ImageList_Create(info.bmWidth, info.bmHeight, ILC_COLOR32, 3, 1);
    }
    ImageList_Add(list, picture, nullptr);
    DeleteObject(picture);
  }
  return list;
}

void set_up_button(bitmap_button_c& button, HWND dialog, int control_id, HIMAGELIST images, HFONT font) {
  button.SetBitmapButtonExtendedStyle(BMPBTN_HOVER | BMPBTN_AUTOSIZE | BMPBTN_SHAREIMAGELISTS);
  button.SetImageList(images);
  button.SetImages(0, 1, 2);
  button.SubclassWindow(GetDlgItem(dialog, control_id));
  button.text_font = font;
  button.text_color = RGB(255, 255, 255);
}

void move_control(HWND dialog, int control_id, int x, int y) {
  SetWindowPos(GetDlgItem(dialog, control_id), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

MessageLayout lay_out_message(SIZE window, RECT text, int client_width, int text_height, int max_height,
                               bool right_to_left) {
  MessageLayout layout;
  // The text may run down to the band; what it needs beyond that, the box grows by.
  const int room = std::min<int>(text.bottom, band_top) - text.top;
  const int wanted = window.cy + std::max(0, text_height - room);
  layout.height = std::max<int>(window.cy, std::min(wanted, max_height));
  const int grown = layout.height - window.cy;
  layout.text = {text.left, text.top, text.right, text.bottom + grown};
  layout.band_top = band_top + grown;
  layout.button_y = button_row + grown;
  if (right_to_left) {
    layout.icon_x = client_width - icon_left - icon_size;
    layout.text.left = client_width - text.right;
    layout.text.right = client_width - text.left;
    layout.text_format |= DT_RIGHT | DT_RTLREADING;
  }
  return layout;
}

MessageLayout lay_out_message_text(HWND dialog, SIZE window, RECT text_rect, int frame_width, const wchar_t* text) {
  HDC dc = GetDC(dialog);
  HGDIOBJ old_font = SelectObject(dc, message_font());
  const int height = wrapped_text_height(dc, text, text_rect.right - text_rect.left, line_gap);
  SelectObject(dc, old_font);
  ReleaseDC(dialog, dc);
  MONITORINFO monitor = {sizeof monitor};
  GetMonitorInfoW(MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST), &monitor);
  return lay_out_message(window, text_rect, window.cx - 2 * frame_width, height,
                         monitor.rcWork.bottom - monitor.rcWork.top, right_to_left());
}

void erase_message_background(HWND dialog, HDC dc, HBRUSH background_brush, HBRUSH band_brush, int band_y) {
  RECT client;
  GetClientRect(dialog, &client);
  FillRect(dc, &client, background_brush);
  RECT band_rect = {client.left, band_y, client.right, client.bottom};
  FillRect(dc, &band_rect, band_brush);
}

void paint_message_body(HDC dc, const CImage& icon, const wchar_t* text, const MessageLayout& layout) {
  if (!icon.IsNull()) icon.BitBlt(dc, layout.icon_x, icon_top);
  const int old_mode = SetBkMode(dc, TRANSPARENT);
  const COLORREF old_colour = SetTextColor(dc, message_text);
  HGDIOBJ old_font = SelectObject(dc, message_font());
  RECT text_rect = layout.text;
  draw_wrapped_text(dc, text, text_rect, line_gap, layout.text_format);
  SelectObject(dc, old_font);
  SetTextColor(dc, old_colour);
  SetBkMode(dc, old_mode);
}

}  // namespace dialog_parts
