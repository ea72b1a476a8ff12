// Pieces the skinned dialogs share: the caption close button, the pair of image push
// buttons over one shared image list, and the icon-and-text body of the message boxes.
#pragma once
#include <windows.h>

#include "../res/resource.h"
#include "imaging/image.h"
#include "ui/skin/bitmap_button.h"
#include "ui/skin/caption_button.h"

namespace dialog_parts {

constexpr COLORREF background = RGB(226, 240, 253);
constexpr COLORREF band = RGB(139, 184, 241);
constexpr COLORREF message_text = RGB(91, 135, 201);
constexpr int band_top = 130;       // the band behind the buttons, to the bottom
constexpr int button_row = 136;     // y of the push buttons
constexpr int close_width = 31;
constexpr int close_height = 21;

// The close picture just inside the border in the top-right corner, ending the dialog with 0.
template <class T>
void add_close_button(T& dialog) {
  auto* button = new system_button_c<T>;
  button->create(GetModuleHandleW(nullptr), IDB_DIALOG_CLOSE, IDB_DIALOG_CLOSE + 1, IDB_DIALOG_CLOSE + 2,
                 dialog.frame_width, dialog.frame_height, dialog.frame_width + close_width,
                 dialog.frame_height + close_height, L"");
  button->on_click = &T::close_clicked;
  dialog.buttons.push_back(button);
}

// One list for both buttons: normal, pushed, hover at indices 0, 1, 2, sized like the
// normal picture. The dialog destroys it.
HIMAGELIST make_button_images(int normal_id, int pushed_id, int hover_id);

// Turns a template button into an image button drawn from the shared list, with a white
// label in `font`.
void set_up_button(bitmap_button_c& button, HWND dialog, int control_id, HIMAGELIST images, HFONT font);

// Moves a control to client coordinates, keeping its size.
void move_control(HWND dialog, int control_id, int x, int y);

// The message boxes' background: the pale panel with the darker band behind the buttons.
void erase_message_background(HWND dialog, HDC dc, HBRUSH background_brush, HBRUSH band_brush);

// The icon at (15, 30) and the text wrapped beside it, centred when it fits on one line.
void paint_message_body(HDC dc, const CImage& icon, const wchar_t* text, RECT text_rect);

// Resizes to width x height without repainting, centres, and makes the shape square.
template <class T>
void place_dialog(T& dialog, int width, int height) {
  SetWindowPos(dialog.m_hWnd, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE);
  dialog.CenterWindow();
  dialog.apply_square_region();
}

}  // namespace dialog_parts
