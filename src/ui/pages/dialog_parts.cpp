#include "ui/pages/dialog_parts.h"

#include "ui/skin/drawing.h"
#include "ui/skin/fonts.h"

namespace dialog_parts {

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

void erase_message_background(HWND dialog, HDC dc, HBRUSH background_brush, HBRUSH band_brush) {
  RECT client;
  GetClientRect(dialog, &client);
  FillRect(dc, &client, background_brush);
  RECT band_rect = {client.left, band_top, client.right, client.bottom};
  FillRect(dc, &band_rect, band_brush);
}

void paint_message_body(HDC dc, const CImage& icon, const wchar_t* text, RECT text_rect) {
  if (!icon.IsNull()) icon.BitBlt(dc, 15, 30);
  const int old_mode = SetBkMode(dc, TRANSPARENT);
  const COLORREF old_colour = SetTextColor(dc, message_text);
  HGDIOBJ old_font = SelectObject(dc, application_font(L"Verdana", 10, false));
  draw_wrapped_text(dc, text, text_rect, 6, DT_VCENTER);
  SelectObject(dc, old_font);
  SetTextColor(dc, old_colour);
  SetBkMode(dc, old_mode);
}

}  // namespace dialog_parts
