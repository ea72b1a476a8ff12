// Pieces the skinned dialogs share: the caption close button, the pair of image push
// buttons over one shared image list, and the icon-and-text body of the message boxes.
#pragma once
#include <windows.h>

#include "../res/resource.h"
#include "framework/window.h"
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

// The caption close button, then the shared button pictures in `dialog.button_images` and
// `first_button` (control 1) drawn from them, with `second_button` (control 2) when
// `both`; labels in `font`.
template <class T>
void set_up_buttons(T& dialog, int normal_id, int pushed_id, int hover_id, HFONT font, bool both) {
  add_close_button(dialog);
  dialog.button_images = make_button_images(normal_id, pushed_id, hover_id);
  set_up_button(dialog.first_button, dialog.m_hWnd, 1, dialog.button_images, font);
  if (both) set_up_button(dialog.second_button, dialog.m_hWnd, 2, dialog.button_images, font);
}

// Runs the dialog modally; a dialog that could not be made answers 0, like the close button.
template <class T>
int show_modal(T& dialog, HWND owner) {
  const INT_PTR result = dialog.DoModal(owner);
  return result < 0 ? 0 : static_cast<int>(result);
}

// Moves a control to client coordinates, keeping its size.
void move_control(HWND dialog, int control_id, int x, int y);

// Where a message box puts its icon, text, band and buttons (client coordinates). A text
// that fits keeps the box's own layout; a taller one moves the text's bottom, the band
// and the buttons down by what it lacks, up to the tallest box allowed. Right to left,
// the icon and the text area change sides and the text is right-aligned.
struct MessageLayout {
  int height = 0;    // of the window
  int icon_x = 15;
  RECT text = {};
  UINT text_format = DT_VCENTER;  // for draw_wrapped_text
  int band_top = dialog_parts::band_top;
  int button_y = dialog_parts::button_row;
};

// `window` is the box's own size, `text` its own text area (left to right), `client_width`
// the width inside the frame, `text_height` what the text needs in the area's width.
MessageLayout lay_out_message(SIZE window, RECT text, int client_width, int text_height, int max_height,
                               bool right_to_left);

// The layout of `text` in this box: measured in the message font, at most as tall as the
// work area of the box's monitor.
MessageLayout lay_out_message_text(HWND dialog, SIZE window, RECT text_rect, int frame_width, const wchar_t* text);

// The message boxes' background: the pale panel with the darker band behind the buttons.
void erase_message_background(HWND dialog, HDC dc, HBRUSH background_brush, HBRUSH band_brush, int band_y);

// The icon and the text wrapped beside it, centred when it fits on one line.
void paint_message_body(HDC dc, const CImage& icon, const wchar_t* text, const MessageLayout& layout);

// What the message box and the folder dialog share: the two image buttons over one image
// list, the brushes of the background, the icon and the layout of the text, and the
// erasing and painting of that body. T is the dialog; message_text() gives its text.
template <class T>
class MessageBody {
 public:
  HIMAGELIST button_images = nullptr;
  bitmap_button_c first_button;
  bitmap_button_c second_button;
  HBRUSH background_brush = nullptr;
  HBRUSH band_brush = nullptr;
  CImage icon;
  MessageLayout layout;  // set when the box opens

  ~MessageBody() {
    if (button_images) ImageList_Destroy(button_images);
    if (background_brush) DeleteObject(background_brush);
    if (band_brush) DeleteObject(band_brush);
  }
  void create_brushes() {
    background_brush = CreateSolidBrush(background);
    band_brush = CreateSolidBrush(band);
  }

  BEGIN_MSG_MAP(MessageBody)
    MESSAGE_HANDLER(WM_ERASEBKGND, on_erase_background)
    MESSAGE_HANDLER(WM_PAINT, on_paint)
  END_MSG_MAP()

 private:
  HWND window() const { return static_cast<const T*>(this)->m_hWnd; }
  LRESULT on_erase_background(UINT, WPARAM wparam, LPARAM, BOOL&) {
    erase_message_background(window(), reinterpret_cast<HDC>(wparam), background_brush, band_brush, layout.band_top);
    return TRUE;
  }
  LRESULT on_paint(UINT, WPARAM, LPARAM, BOOL&) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window(), &ps);
    paint_message_body(dc, icon, static_cast<const T*>(this)->message_text(), layout);
    EndPaint(window(), &ps);
    return 0;
  }
};

// Resizes to width x height without repainting, centres, and makes the shape square.
template <class T>
void place_dialog(T& dialog, int width, int height) {
  SetWindowPos(dialog.m_hWnd, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE);
  dialog.CenterWindow();
  dialog.apply_square_region();
}

}  // namespace dialog_parts
